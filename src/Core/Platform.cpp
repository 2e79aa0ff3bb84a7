#include "Core/Platform.h"

#include "Core/Constants.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif

namespace Platform
{

QString defaultStartFolder()
{
#ifdef Q_OS_WIN
  return QStringLiteral( "C:/" );
#else
  return QDir::homePath();
#endif
}

#ifdef Q_OS_WIN

void revealInFileBrowser( const QString &path )
{
  const QFileInfo info( path );
  QStringList arguments;
  if ( !info.isDir() )
    arguments << QStringLiteral( "/select," );
  arguments << QDir::toNativeSeparators( info.canonicalFilePath() );
  QProcess::startDetached( QStringLiteral( "explorer.exe" ), arguments );
}

void startUpdater()
{
  QString updater = QStringLiteral( "Freshkit.exe" );
  if ( !QFileInfo::exists( updater ) )
    updater = QCoreApplication::applicationDirPath() + QStringLiteral( "/Freshkit.exe" );
  QDesktopServices::openUrl( QUrl::fromLocalFile( updater ) );
}

#else

namespace
{
const QString fileManagerService = QStringLiteral( "org.freedesktop.FileManager1" );

bool fileManagerAvailable( const QDBusConnection &bus )
{
  if ( !bus.isConnected() )
    return false;
  QDBusConnectionInterface *busInterface = bus.interface();
  if ( busInterface->isServiceRegistered( fileManagerService ) )
    return true;
  // Most file managers are started on demand by the bus, so they are only activatable.
  const QDBusMessage query = QDBusMessage::createMethodCall(
      QStringLiteral( "org.freedesktop.DBus" ), QStringLiteral( "/org/freedesktop/DBus" ),
      QStringLiteral( "org.freedesktop.DBus" ), QStringLiteral( "ListActivatableNames" ) );
  const QDBusMessage reply = bus.call( query, QDBus::Block, 2000 );
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().constFirst().toStringList().contains( fileManagerService );
}
} // namespace

void revealInFileBrowser( const QString &path )
{
  const QFileInfo info( path );
  const QString canonical = info.canonicalFilePath();
  if ( canonical.isEmpty() )
    return;

  QDBusConnection bus = QDBusConnection::sessionBus();
  if ( !info.isDir() && fileManagerAvailable( bus ) )
  {
    QDBusMessage showItems =
        QDBusMessage::createMethodCall( fileManagerService, QStringLiteral( "/org/freedesktop/FileManager1" ),
                                        fileManagerService, QStringLiteral( "ShowItems" ) );
    showItems << QStringList{ QUrl::fromLocalFile( canonical ).toString() } << QString();
    if ( bus.send( showItems ) )
      return;
  }
  const QString folder = info.isDir() ? canonical : info.absolutePath();
  QDesktopServices::openUrl( QUrl::fromLocalFile( folder ) );
}

void startUpdater()
{
  QString updater = QDir::current().absoluteFilePath( QStringLiteral( "Freshkit" ) );
  if ( !QFileInfo( updater ).isExecutable() )
    updater = QCoreApplication::applicationDirPath() + QStringLiteral( "/" RASTOVA_UPDATER_FROM_BINARY );
  QProcess::startDetached( updater, {}, QDir::currentPath() );
}

#endif

QString dataFolder( const QString &workingFolder )
{
  const QFileInfo working( workingFolder );
  const QString folder = working.canonicalFilePath();
  if ( working.isDir() && working.isWritable() && folder != QFileInfo( QDir::homePath() ).canonicalFilePath() &&
       !QDir( folder ).isRoot() )
    return workingFolder;
  return QStandardPaths::writableLocation( QStandardPaths::AppDataLocation );
}

void enterDataFolder( QStringList &fileNames )
{
  const QString folder = dataFolder( QDir::currentPath() );
  // Unlike a working folder, which logs only when given a logs/ folder, the data folder always logs.
  if ( folder == QDir::currentPath() || !QDir( folder ).mkpath( Constants::logFolder ) )
    return;
  for ( QString &fileName : fileNames )
  {
    const QFileInfo file( fileName );
    if ( file.isRelative() && file.exists() )
      fileName = file.absoluteFilePath();
  }
  QDir::setCurrent( folder );
}

void lowerThisThreadsPriority()
{
#ifdef Q_OS_WIN
  SetThreadPriority( GetCurrentThread(), THREAD_PRIORITY_LOWEST );
#else
  setpriority( PRIO_PROCESS, static_cast<id_t>( gettid() ), 19 );
#endif
}

} // namespace Platform
