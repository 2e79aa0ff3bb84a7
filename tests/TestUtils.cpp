#include "Core/CommandLine.h"
#include "Core/Platform.h"
#include "Core/Utils.h"
#include "TestSupport.h"

using namespace TestSupport;

Q_DECLARE_METATYPE( CommandLine::Action )

namespace
{
QStringList logNames( int count, const QDateTime &first )
{
  QStringList names;
  for ( int i = 0; i < count; ++i )
    names << first.addDays( 17 * i ).addSecs( 61 * i ).toString( "dd-MM-yyyy_hh-mm-ss" ) + ".log";
  return names;
}
} // namespace

class TestUtils : public QObject
{
    Q_OBJECT

  private slots:
    void init()
    {
      QgsSettings().clear();
      QDir( "logs" ).removeRecursively();
      QDir().mkdir( "logs" );
    }

    void pathsAreJudged_data()
    {
      QTest::addColumn<QString>( "asked" ); // a writable output path, or a working folder kept as the data folder
      QTest::addColumn<QString>( "path" );
      QTest::addColumn<bool>( "answer" );
      const QString work = QDir::currentPath();
      writeBytes( work + QStringLiteral( "/plain-file" ), "not a folder" );
      // clang-format off
      QTest::newRow( "empty" ) << "writable" << QString() << false;
      QTest::newRow( "only spaces" ) << "writable" << QStringLiteral( "   " ) << false;
      QTest::newRow( "new file in writable folder" ) << "writable" << work + QStringLiteral( "/new.tif" ) << true;
      QTest::newRow( "relative new file" ) << "writable" << QStringLiteral( "new.tif" ) << true;
      QTest::newRow( "file in missing folder" ) << "writable" << work + QStringLiteral( "/missing/new.tif" ) << false;
      QTest::newRow( "under a regular file" ) << "writable" << work + QStringLiteral( "/plain-file/new.tif" ) << false;
      QTest::newRow( "writable working folder" ) << "data folder" << work << true;
      QTest::newRow( "home, as from a menu" ) << "data folder" << QDir::homePath() << false;
      QTest::newRow( "home with a trailing slash" ) << "data folder" << QDir::homePath() + "/" << false;
      QTest::newRow( "root" ) << "data folder" << QStringLiteral( "/" ) << false;
      QTest::newRow( "unusable" ) << "data folder" << work + QStringLiteral( "/plain-file/folder" ) << false;
      // clang-format on
    }
    void pathsAreJudged()
    {
      QFETCH( QString, asked );
      QFETCH( QString, path );
      QFETCH( bool, answer );
      const QString perUser =
          qEnvironmentVariable( "XDG_DATA_HOME", QDir::homePath() + "/.local/share" ) + "/Norvale/Rastova";
      if ( asked == "writable" )
        QCOMPARE( Utils::isWritablePath( path ), answer );
      else
        QCOMPARE( Platform::dataFolder( path ), answer ? path : perUser );
    }

    void isNewerVersion_data()
    {
      QTest::addColumn<QString>( "current" );
      QTest::addColumn<QString>( "candidate" );
      QTest::addColumn<bool>( "newer" );
      // clang-format off
      QTest::newRow( "later patch" ) << "2.1.1.423" << "2.1.2.1" << true;
      QTest::newRow( "same" ) << "2.1.1.423" << "2.1.1.423" << false;
      QTest::newRow( "extra component" ) << "2.1.1.423" << "2.1.1.423.1" << true;
      QTest::newRow( "shorter equal prefix" ) << "2.1.1.423" << "2.1.1" << false;
      QTest::newRow( "lower minor, higher build" ) << "2.1.1.423" << "2.1.0.500" << false;
      QTest::newRow( "numeric, not text order" ) << "2.1.9.1" << "2.1.10.1" << true;
      QTest::newRow( "garbage counts as zero" ) << "2.1.1.423" << "2.x.5" << false;
      // clang-format on
    }
    void isNewerVersion()
    {
      QFETCH( QString, current );
      QFETCH( QString, candidate );
      QFETCH( bool, newer );
      QCOMPARE( Utils::isNewerVersion( current, candidate ), newer );
    }

    void settingsOfTheWrongTypeGiveDefaults_data()
    {
      QTest::addColumn<QVariant>( "value" );
      QTest::newRow( "text" ) << QVariant( "không phải số" );
      QTest::newRow( "negative" ) << QVariant( -7 );
      QTest::newRow( "huge" ) << QVariant( 1e12 );
    }
    void settingsOfTheWrongTypeGiveDefaults()
    {
      QFETCH( QVariant, value );
      for ( const Utils::SettingKey &key :
            { Utils::Keys::messageTimeout, Utils::Keys::dialogTimeout, Utils::Keys::compositeLimit } )
        Utils::writeSetting( key, value );
      QCOMPARE( ( QList<int>{ Utils::messageTimeout(), Utils::dialogTimeout(),
                              Utils::readSetting( Utils::Keys::compositeLimit, 3 ).toInt() } ),
                ( QList<int>{ 5, 1, 3 } ) );
    }

    void environmentFileIsAppliedLineByLine()
    {
      const QByteArray path = qgetenv( "PATH" );
      // A name cut short at its NUL would set PATH.
      writeBytes( "Rastova.env", "RASTOVA_A=1\nRASTOVA_B=x=y\n RASTOVA_C = spaced \nRASTOVA_NOEQUALS\n\n   \n"
                                 "#RASTOVA_D=commented\nRASTOVA_E=first\nRASTOVA_E=second\n"
                                 "RASTOVA_F=\"quoted\"\r\nRASTOVA_G=Hà Nội\n" +
                                     QByteArray( "PATH\0junk=/evil\n", 16 ) );
      qunsetenv( "RASTOVA_B" );
      Utils::loadEnvironment();
      QCOMPARE( ( QList<QByteArray>{ qgetenv( "RASTOVA_A" ), qgetenv( " RASTOVA_C " ), qgetenv( "#RASTOVA_D" ),
                                     qgetenv( "RASTOVA_E" ), qgetenv( "RASTOVA_F" ), qgetenv( "RASTOVA_G" ) } ),
                ( QList<QByteArray>{ "1", " spaced ", "commented", "second", "\"quoted\"", "Hà Nội" } ) );
      QVERIFY( !qEnvironmentVariableIsSet( "RASTOVA_B" ) && !qEnvironmentVariableIsSet( "RASTOVA_NOEQUALS" ) );
      QCOMPARE( qgetenv( "PATH" ), path );
      // Far more than a few lines of settings: none of it is applied.
      writeBytes( QStringLiteral( "Rastova.env" ), QByteArray( 2 << 20, '\n' ) + "RASTOVA_H=1\n" );
      Utils::loadEnvironment();
      QVERIFY( !qEnvironmentVariableIsSet( "RASTOVA_H" ) );
      QFile::remove( QStringLiteral( "Rastova.env" ) );
    }

    void commandLine_data()
    {
      QTest::addColumn<QStringList>( "arguments" );
      QTest::addColumn<CommandLine::Action>( "action" );
      QTest::addColumn<QStringList>( "fileNames" );
      using A = CommandLine::Action;
      // clang-format off
      QTest::newRow( "files in order" ) << QStringList{ "b.tif", "/data/a.gpkg" } << A::Run << QStringList{ "b.tif", "/data/a.gpkg" };
      QTest::newRow( "version among files" ) << QStringList{ "a.tif", "--version" } << A::ShowVersion << QStringList{ "a.tif" };
      QTest::newRow( "help outweighs version" ) << QStringList{ "-v", "-h" } << A::ShowHelp << QStringList();
      QTest::newRow( "unknown outweighs help" ) << QStringList{ "--help", "--bogus" } << A::Refuse << QStringList();
      QTest::newRow( "unknown short option" ) << QStringList{ "-x" } << A::Refuse << QStringList();
      QTest::newRow( "lone dash is a file" ) << QStringList{ "-" } << A::Run << QStringList{ "-" };
      QTest::newRow( "after -- all are files" ) << QStringList{ "--", "-x.tif", "--help" } << A::Run << QStringList{ "-x.tif", "--help" };
      // clang-format on
    }
    void commandLine()
    {
      QFETCH( QStringList, arguments );
      QFETCH( CommandLine::Action, action );
      QFETCH( QStringList, fileNames );
      const CommandLine commandLine( arguments );
      QCOMPARE( commandLine.action(), action );
      QCOMPARE( commandLine.fileNames(), fileNames );
    }

    void startedInHomeTheProgramMovesToItsDataFolderAndKeepsRelativeFiles()
    {
      const QString work = QDir::currentPath();
      QDir::setCurrent( QDir::homePath() );
      writeBytes( QStringLiteral( "scene.tif" ), "raster" );
      QStringList fileNames{ "scene.tif", "missing.tif", "/data/a.tif" };
      Platform::enterDataFolder( fileNames );
      const QString entered = QDir::currentPath();
      QDir::setCurrent( work );
      QCOMPARE( entered, Platform::dataFolder( QDir::homePath() ) );
      QCOMPARE( fileNames, ( QStringList{ QDir::homePath() + "/scene.tif", "missing.tif", "/data/a.tif" } ) );
    }

    void cleanLogsKeepsTheNewestNine_data()
    {
      QTest::addColumn<QStringList>( "present" );
      QTest::addColumn<QStringList>( "removed" );
      // Day-first names: by name, 01-... sorts first although it is the newest.
      const QStringList eleven = logNames( 11, QDateTime( QDate( 2026, 3, 20 ), QTime( 6, 7, 8 ) ) );
      QTest::newRow( "eleven" ) << eleven << QStringList( eleven.mid( 0, 2 ) );
      const QStringList nine = logNames( 9, QDateTime( QDate( 2026, 1, 1 ), QTime( 0, 0, 0 ) ) );
      QTest::newRow( "nine" ) << nine << QStringList();
      const QStringList undated = logNames( 10, QDateTime( QDate( 2025, 12, 31 ), QTime( 23, 59, 59 ) ) );
      QTest::newRow( "undated names are oldest" )
          << QStringList( undated + QStringList{ "zz.log", "run.log" } )
          << QStringList( QStringList{ "zz.log", "run.log" } + undated.mid( 0, 1 ) );
      const QStringList many = logNames( 25, QDateTime( QDate( 2024, 2, 29 ), QTime( 12, 0, 0 ) ) );
      QTest::newRow( "a crowded folder comes back down" ) << many << QStringList( many.mid( 0, 16 ) );
    }
    void cleanLogsKeepsTheNewestNine()
    {
      QFETCH( QStringList, present );
      QFETCH( QStringList, removed );
      for ( const QString &name : present )
        writeBytes( "logs/" + name, "line\n" );
      writeBytes( "logs/notes.txt", "keep" );
      QDir().mkpath( "logs/archive.log" );

      Utils::cleanLogs();

      for ( const QString &name : present )
        QVERIFY2( QFile::exists( "logs/" + name ) != removed.contains( name ), qPrintable( name ) );
      QVERIFY( QFile::exists( "logs/notes.txt" ) );
      QVERIFY( QFileInfo( "logs/archive.log" ).isDir() );
      QVERIFY( QRegularExpression( "^logs/\\d\\d-\\d\\d-\\d{4}_\\d\\d-\\d\\d-\\d\\d\\.log$" )
                   .match( Utils::logFileName() )
                   .hasMatch() );
    }

    void messagesAreAppendedOneLineEach()
    {
      Utils::cleanLogs();
      const QtMessageHandler previous = qInstallMessageHandler( Utils::messageHandler );
      qDebug( "x" );
      qInfo( "thông tin" );
      qWarning( "careful" );
      qCritical( "broken" );
      qInstallMessageHandler( previous );

      // One stamped line each, in order, and nothing after the last.
      const QStringList lines = readLog().split( '\n' );
      const QRegularExpression line( "^(\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d) \\| (\\w+): +(.*)$" );
      QStringList texts;
      for ( const QString &text : lines.mid( 0, 4 ) )
        texts << line.match( text ).captured( 2 ) + " " + line.match( text ).captured( 3 );
      QCOMPARE( texts, ( QStringList{ "Debug x", "Info thông tin", "Warning careful", "Critical broken" } ) );
      QCOMPARE( lines.mid( 4 ), QStringList{ QString() } );
      const QDateTime written = QDateTime::fromString( line.match( lines[0] ).captured( 1 ), "dd-MM-yyyy hh:mm:ss" );
      QVERIFY( qAbs( written.secsTo( QDateTime::currentDateTime() ) ) < 60 );
    }

    void missingLogFolderDropsMessages()
    {
      QDir( "logs" ).removeRecursively();
      Utils::cleanLogs();
      const QtMessageHandler previous = qInstallMessageHandler( Utils::messageHandler );
      qWarning( "nowhere to go" );
      qInstallMessageHandler( previous );
      QVERIFY( !QFile::exists( Utils::logFileName() ) );
      QVERIFY( !QDir( "logs" ).exists() );
    }
};

RASTOVA_TEST( TestUtils )
#include "TestUtils.moc"
