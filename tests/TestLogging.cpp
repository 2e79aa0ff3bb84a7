#include "Core/Utils.h"
#include "TestSupport.h"

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

class TestLogging : public QObject
{
    Q_OBJECT

  private slots:
    void init()
    {
      QDir( "logs" ).removeRecursively();
      QDir().mkdir( "logs" );
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
        TestSupport::writeBytes( "logs/" + name, "line\n" );
      TestSupport::writeBytes( "logs/notes.txt", "keep" );
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

      const QStringList lines = TestSupport::readLog().split( '\n' );
      QCOMPARE( lines.size(), 5 );
      QCOMPARE( lines.last(), QString() );
      const QRegularExpression stamp( "^\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d \\| " );
      const QStringList tails = { "Debug:    x", "Info:     thông tin", "Warning:  careful", "Critical: broken" };
      for ( int i = 0; i < tails.size(); ++i )
      {
        QVERIFY2( stamp.match( lines[i] ).hasMatch(), qPrintable( lines[i] ) );
        QCOMPARE( lines[i].mid( 22 ), tails[i] );
      }
      const QDateTime written = QDateTime::fromString( lines[0].left( 19 ), "dd-MM-yyyy hh:mm:ss" );
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

RASTOVA_TEST( TestLogging )
#include "TestLogging.moc"
