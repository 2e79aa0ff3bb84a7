#include "TestHarness.h"

#include "Core/Constants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <qgsapplication.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace TestSupport
{

namespace
{
std::unique_ptr<QTemporaryDir> prepareSandbox()
{
  // QTemporaryDir honours TMPDIR, so it is made before TMPDIR points inside it.
  auto sandbox = std::make_unique<QTemporaryDir>();
  const QString root = sandbox->path();
  for ( const char *folder : { "home", "config", "tmp", "runtime", "work" } )
    QDir( root ).mkpath( QString::fromLatin1( folder ) );
  QFile::setPermissions( root + QStringLiteral( "/runtime" ),
                         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner );
  qputenv( "HOME", QFile::encodeName( root + QStringLiteral( "/home" ) ) );
  qputenv( "XDG_CONFIG_HOME", QFile::encodeName( root + QStringLiteral( "/config" ) ) );
  qputenv( "XDG_RUNTIME_DIR", QFile::encodeName( root + QStringLiteral( "/runtime" ) ) );
  qputenv( "TMPDIR", QFile::encodeName( root + QStringLiteral( "/tmp" ) ) );
  // Every window asks for the update manifest; tests never reach beyond this machine.
  qputenv( "RASTOVA_UPDATE_URL", "http://127.0.0.1:9/update.json" );
  if ( qEnvironmentVariableIsEmpty( "QT_QPA_PLATFORM" ) )
    qputenv( "QT_QPA_PLATFORM", "offscreen" );
  QDir::setCurrent( root + QStringLiteral( "/work" ) );
  return sandbox;
}

std::vector<std::pair<QString, std::function<QObject *()>>> &registeredTests()
{
  static std::vector<std::pair<QString, std::function<QObject *()>>> tests;
  return tests;
}
} // namespace

bool registerTest( const char *name, std::function<QObject *()> make )
{
  registeredTests().emplace_back( QString::fromLatin1( name ), std::move( make ) );
  return true;
}

int runTests( int argc, char *argv[], bool gui, const std::function<void()> &setUp )
{
  const std::unique_ptr<QTemporaryDir> sandbox = prepareSandbox();
  QCoreApplication::setOrganizationName( Constants::organizationName );
  QCoreApplication::setApplicationName( Constants::applicationName );
  QgsApplication application( argc, argv, gui );
  if ( setUp )
    setUp();
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();

  // "Program TestClass -functions" runs one class with QtTest's own arguments.
  const QString chosen = argc > 1 ? QString::fromLocal8Bit( argv[1] ) : QString();
  const bool oneClass = std::any_of( registeredTests().cbegin(), registeredTests().cend(),
                                     [&chosen]( const auto &test ) { return test.first == chosen; } );
  std::vector<char *> arguments( argv, argv + argc );
  if ( oneClass )
    arguments.erase( arguments.begin() + 1 );
  int failures = 0;
  for ( const auto &[name, make] : registeredTests() )
  {
    if ( oneClass && name != chosen )
      continue;
    const std::unique_ptr<QObject> test( make() );
    failures += QTest::qExec( test.get(), static_cast<int>( arguments.size() ), arguments.data() );
  }
  QgsApplication::exitQgis();
  return failures;
}

} // namespace TestSupport
