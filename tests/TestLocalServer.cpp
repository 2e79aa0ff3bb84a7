#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "TestSupport.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace
{
std::unique_ptr<QLocalSocket> connectClient( const QString &name = QStringLiteral( "Rastova" ) )
{
  auto socket = std::make_unique<QLocalSocket>();
  socket->connectToServer( name );
  if ( !socket->waitForConnected( 2000 ) )
    return nullptr;
  return socket;
}

void send( QLocalSocket *socket, const QByteArray &bytes )
{
  socket->write( bytes );
  socket->flush();
}
} // namespace

class TestLocalServer : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<LocalServer> mServer;
    std::unique_ptr<QSignalSpy> mSpy;

  private slots:
    void initTestCase()
    {
      QDir().mkdir( "logs" );
      Utils::cleanLogs();
      qInstallMessageHandler( Utils::messageHandler );
    }

    void init()
    {
      QFile::remove( Utils::logFileName() );
      mServer = std::make_unique<LocalServer>();
      QVERIFY( mServer->start() );
      mSpy = std::make_unique<QSignalSpy>( mServer.get(), &LocalServer::messageFromServer );
    }

    void cleanup()
    {
      mSpy.reset();
      mServer.reset();
    }

    void secondCopyFindsTheFirstAndAStaleNameIsReplaced()
    {
      LocalServer second;
      QVERIFY( second.isRunning() );
      mServer.reset();
      QVERIFY( !second.isRunning() );

      // A copy that crashed leaves its socket file behind.
      const QString stale = QDir::tempPath() + "/Rastova";
      TestSupport::writeBytes( stale, "left over" );
      QVERIFY( second.start() );
      QVERIFY( LocalServer().isRunning() );
    }

    void onlyTheSameUserMayConnect()
    {
      const QFile::Permissions permissions = QFileInfo( QDir::tempPath() + "/Rastova" ).permissions();
      QVERIFY( permissions.testFlag( QFile::ReadOwner ) && permissions.testFlag( QFile::WriteOwner ) );
      QVERIFY( !( permissions & ( QFile::WriteGroup | QFile::WriteOther | QFile::ReadGroup | QFile::ReadOther ) ) );
    }

    void acceptedMessagesEmitTheirPayload_data()
    {
      QTest::addColumn<QString>( "message" );
      QTest::addColumn<QStringList>( "emitted" );
      QTest::newRow( "path" ) << "@Rastova /data/scene.tif" << QStringList{ "/data/scene.tif" };
      QTest::newRow( "spaces stay in the payload" )
          << "@Rastova /data/Ảnh vệ tinh/a b.tif" << QStringList{ "/data/Ảnh vệ tinh/a b.tif" };
      QTest::newRow( "other key" ) << "@Freshkit /data/scene.tif" << QStringList();
      QTest::newRow( "no prefix" ) << "Rastova /data/scene.tif" << QStringList();
      QTest::newRow( "empty" ) << QString() << QStringList();
      QTest::newRow( "no space: whole text" ) << "@Rastova" << QStringList{ "@Rastova" };
      QTest::newRow( "key is case-sensitive" ) << "@rastova /a.tif" << QStringList();
    }
    void acceptedMessagesEmitTheirPayload()
    {
      QFETCH( QString, message );
      QFETCH( QStringList, emitted );
      auto client = connectClient();
      QVERIFY( client );
      send( client.get(), TestSupport::localMessage( message ) );
      QTRY_VERIFY( TestSupport::readLog().contains( "Server after commit: " ) );
      QStringList received;
      for ( const QList<QVariant> &arguments : *mSpy )
        received << arguments.at( 0 ).toString();
      QCOMPARE( received, emitted );
    }

    void aMessageInTwoChunksIsEmittedOnce()
    {
      auto client = connectClient();
      QVERIFY( client );
      const QByteArray bytes = TestSupport::localMessage( "@Rastova /data/split.tif" );
      send( client.get(), bytes.left( 7 ) );
      QTRY_COMPARE( TestSupport::readLog().count( "Server before commit: " ), 1 );
      QCOMPARE( mSpy->count(), 0 );
      send( client.get(), bytes.mid( 7 ) );
      QTRY_COMPARE( mSpy->count(), 1 );
      QCOMPARE( mSpy->at( 0 ).at( 0 ).toString(), QStringLiteral( "/data/split.tif" ) );
      QCOMPARE( TestSupport::readLog().count( "Server before commit: " ), 2 );
      QVERIFY( TestSupport::readLog().contains( "Server after commit: \"@Rastova /data/split.tif\"" ) );
    }

    void messagesWrittenTogetherAreAllHandled()
    {
      auto client = connectClient();
      QVERIFY( client );
      send( client.get(),
            TestSupport::localMessage( "@Rastova /a.tif" ) + TestSupport::localMessage( "@Rastova /b.tif" ) );
      QTRY_COMPARE( mSpy->count(), 2 );
      QCOMPARE( mSpy->at( 1 ).at( 0 ).toString(), QStringLiteral( "/b.tif" ) );
    }

    void garbageIsDroppedWithoutHarm()
    {
      auto odd = connectClient();
      QVERIFY( odd );
      // An odd byte count cannot be UTF-16.
      send( odd.get(), QByteArray::fromHex( "00000003" ) + "abc" );
      QTRY_COMPARE( odd->state(), QLocalSocket::UnconnectedState );

      auto noise = connectClient();
      QVERIFY( noise );
      send( noise.get(), QByteArray( "\x00\x00\x00\x04\xd8\x00\xd8\x00GET / HTTP/1.1\r\n\r\n", 26 ) );
      QTest::qWait( 100 );
      QCOMPARE( mSpy->count(), 0 );
    }
};

RASTOVA_TEST( TestLocalServer )
#include "TestLocalServer.moc"
