#include "Core/CommandLine.h"
#include "Core/Constants.h"
#include "Core/LocalServer.h"
#include "Core/Platform.h"
#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"

#include <QDebug>
#include <QPixmap>
#include <QSplashScreen>

#include <qgsapplication.h>

#include <memory>

int main( int argc, char *argv[] )
{
  QCoreApplication::setOrganizationName( Constants::organizationName );
  QCoreApplication::setOrganizationDomain( Constants::organizationDomain );
  QCoreApplication::setApplicationName( Constants::applicationName );

  // Read the arguments before Qt takes its own options out. Help and version
  // need no display, log or running copy, so they are answered first.
  QStringList arguments;
  for ( int i = 1; i < argc; ++i )
    arguments << QString::fromUtf8( argv[i] );
  const CommandLine commandLine( arguments );
  if ( commandLine.action() != CommandLine::Action::Run )
    return commandLine.print( QString::fromUtf8( argv[0] ) );
  QStringList fileNames = commandLine.fileNames();
  Platform::enterDataFolder( fileNames );

  Utils::cleanLogs();
  qInstallMessageHandler( Utils::messageHandler );

  auto application = std::make_unique<QgsApplication>( argc, argv, true, QString(), Constants::qgisPlatformName );
  QGuiApplication::setDesktopFileName( Constants::applicationId );
  QApplication::setWindowIcon( Utils::icon( QStringLiteral( "Rastova.svg" ) ) );
  Utils::useUnambiguousNumbers();

  auto server = std::make_unique<LocalServer>();
  server->setServerName( Constants::applicationName );
  if ( server->isRunning() )
  {
    MessageBox::information( Constants::applicationName, QStringLiteral( "Phần mềm đang hoạt động" ),
                             Utils::iconPath( QStringLiteral( "Rastova.svg" ) ) );
    server.reset();
    application.reset();
    return 0;
  }
  server->start();

  auto splashPixmap = std::make_unique<QPixmap>( Utils::iconPath( QStringLiteral( "Rastova.png" ) ) );
  auto splash = std::make_unique<QSplashScreen>( *splashPixmap );
  splash->show();

  Utils::loadEnvironment();
  Utils::limitGdal();
  QgsApplication::setPrefixPath( qEnvironmentVariable( "QGIS_PREFIX_PATH", QStringLiteral( RASTOVA_QGIS_PREFIX ) ),
                                 true );
  // Before any window, so the QGIS widgets the program embeds speak Vietnamese too.
  if ( !Utils::installQgisTranslation() )
    qWarning() << "QGIS's Vietnamese translation was not found in" << QgsApplication::i18nPath();
  QgsApplication::initQgis();

  auto window = std::make_unique<MainWindow>();
  window->setLocalServer( server.get() );
  window->showMaximized();
  splash->finish( window.get() );
  for ( const QString &fileName : qAsConst( fileNames ) )
    window->openFile( fileName );

  const int result = QgsApplication::exec();

  QgsApplication::exitQgis();
  window.reset();
  splash.reset();
  splashPixmap.reset();
  server.reset();
  application.reset();
  return result;
}
