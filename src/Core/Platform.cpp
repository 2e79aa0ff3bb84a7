#include "Core/Platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

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
  QDesktopServices::openUrl( QUrl::fromLocalFile( QStringLiteral( "Freshkit.exe" ) ) );
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
  QProcess::startDetached( QStringLiteral( "./Freshkit" ), {}, QDir::currentPath() );
}

#endif

} // namespace Platform
