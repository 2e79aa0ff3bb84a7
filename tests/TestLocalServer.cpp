#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "TestSupport.h"

#include <QLocalServer>
#include <QLocalSocket>

using namespace TestSupport;

namespace
{
std::unique_ptr<QLocalSocket> connectClient()
{
  auto socket = std::make_unique<QLocalSocket>();
  socket->connectToServer( QStringLiteral( "Rastova" ) );
  return socket->waitForConnected( 2000 ) ? std::move( socket ) : nullptr;
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
      writeBytes( stale, "left over" );
      QVERIFY( second.start() );
      QVERIFY( LocalServer().isRunning() );
      const QFile::Permissions permissions = QFileInfo( stale ).permissions();
      QVERIFY( !( permissions & ( QFile::WriteGroup | QFile::WriteOther | QFile::ReadGroup | QFile::ReadOther ) ) );
    }

    void acceptedMessagesEmitTheirPayload_data()
    {
      QTest::addColumn<QStringList>( "messages" );
      QTest::addColumn<int>( "split" ); // bytes written first, the rest once the server has read them
      QTest::addColumn<QStringList>( "emitted" );
      // clang-format off
      QTest::newRow( "path" ) << QStringList{ "@Rastova /data/scene.tif" } << 0 << QStringList{ "/data/scene.tif" };
      QTest::newRow( "spaces stay in the payload" ) << QStringList{ "@Rastova /data/Ảnh vệ tinh/a b.tif" } << 0 << QStringList{ "/data/Ảnh vệ tinh/a b.tif" };
      QTest::newRow( "other key" ) << QStringList{ "@Freshkit /data/scene.tif" } << 0 << QStringList();
      QTest::newRow( "no prefix" ) << QStringList{ "Rastova /data/scene.tif" } << 0 << QStringList();
      QTest::newRow( "empty" ) << QStringList{ QString() } << 0 << QStringList();
      QTest::newRow( "no space: whole text" ) << QStringList{ "@Rastova" } << 0 << QStringList{ "@Rastova" };
      QTest::newRow( "key is case-sensitive" ) << QStringList{ "@rastova /a.tif" } << 0 << QStringList();
      QTest::newRow( "two written together" ) << QStringList{ "@Rastova /a.tif", "@Rastova /b.tif" } << 0 << QStringList{ "/a.tif", "/b.tif" };
      QTest::newRow( "one in two chunks" ) << QStringList{ "@Rastova /data/split.tif" } << 7 << QStringList{ "/data/split.tif" };
      // clang-format on
    }
    void acceptedMessagesEmitTheirPayload()
    {
      QFETCH( QStringList, messages );
      QFETCH( int, split );
      QFETCH( QStringList, emitted );
      auto client = connectClient();
      QVERIFY( client );
      QByteArray bytes;
      for ( const QString &message : messages )
        bytes += localMessage( message );
      if ( split > 0 )
      {
        send( client.get(), bytes.left( split ) );
        QTRY_VERIFY( readLog().contains( "Server before commit: " ) );
        QCOMPARE( mSpy->count(), 0 );
      }
      send( client.get(), bytes.mid( split ) );
      QTRY_COMPARE( readLog().count( "Server after commit: " ), messages.size() );
      QStringList received;
      for ( const QList<QVariant> &arguments : *mSpy )
        received << arguments.at( 0 ).toString();
      QCOMPARE( received, emitted );
    }

    void noiseFloodsAndStalledClientsAreLetGo()
    {
      const int descriptors = openDescriptors();
      // An odd byte count cannot be UTF-16; a huge declared length is refused unread.
      for ( const QByteArray &bytes : { QByteArray::fromHex( "00000003" ) + "abc", QByteArray::fromHex( "7fffffff" ) } )
      {
        auto client = connectClient();
        QVERIFY( client );
        send( client.get(), bytes );
        QTRY_COMPARE( client->state(), QLocalSocket::UnconnectedState );
      }
      QRandomGenerator random( 4 );
      const QByteArray valid = localMessage( "@Rastova /nothing/here.tif" );
      for ( int frame = 0; frame < 100; ++frame )
      {
        QLocalSocket client;
        client.connectToServer( "Rastova" );
        QVERIFY( client.waitForConnected( 2000 ) );
        QByteArray bytes( random.bounded( 4, 512 ), 0 );
        for ( char &byte : bytes )
          byte = static_cast<char>( random.bounded( 256 ) );
        if ( frame % 2 ) // a frame cut short
          bytes = valid.left( random.bounded( valid.size() ) );
        client.write( bytes );
        client.waitForBytesWritten( 1000 );
        QCoreApplication::processEvents();
      }
      // A crowd of clients that stop inside a frame and never go.
      std::vector<std::unique_ptr<QLocalSocket>> crowd;
      for ( int i = 0; i < 100; ++i )
      {
        crowd.push_back( std::make_unique<QLocalSocket>() );
        crowd.back()->connectToServer( "Rastova" );
        send( crowd.back().get(), localMessage( "@Rastova /a.tif" ).left( 9 ) );
        QCoreApplication::processEvents();
      }
      QTRY_VERIFY_WITH_TIMEOUT( std::all_of( crowd.cbegin(), crowd.cend(),
                                             []( const auto &client )
                                             { return client->state() == QLocalSocket::UnconnectedState; } ),
                                LocalServer::clientTimeoutMs + 5000 );
      crowd.clear();
      QTRY_VERIFY( openDescriptors() <= descriptors );
      QCOMPARE( mSpy->count(), 0 );

      auto client = connectClient();
      QVERIFY( client );
      send( client.get(), localMessage( "@Rastova /still/served.tif" ) );
      QTRY_COMPARE( mSpy->count(), 1 );
    }
};

RASTOVA_TEST( TestLocalServer )
#include "TestLocalServer.moc"
