#include "TestSupport.h"

#include <QNetworkAccessManager>
#include <QTcpServer>

using namespace TestSupport;

// The window asks for the manifest once its event loop turns, so a test names the address before that.
class TestUpdate : public WindowTest
{
    Q_OBJECT

  private slots:
    void manifests_data()
    {
      QTest::addColumn<int>( "status" ); // served over HTTP with this status; 0: as a data URL
      QTest::addColumn<QByteArray>( "body" );
      QTest::addColumn<QString>( "notice" );
      const QString newer = QStringLiteral( "Rastova đã có phiên bản mới %1 (%2), hãy sử dụng chức năng cập nhật." );
      const QByteArray current = R"("2.1.1.423": {"release-date": "29/05/2020"})";
      // clang-format off
      QTest::newRow( "same version" ) << 0 << "{" + current + "}" << QString();
      QTest::newRow( "newer" ) << 0 << "{" + current + R"(, "2.1.2.0": {"release-date": "01/06/2021"}})" << newer.arg( "2.1.2.0", "01/06/2021" );
      QTest::newRow( "highest, not last in text order, no release date" ) << 0 << QByteArray( R"({"2.1.10.1": {"size": 12}, "2.1.9.1": {"release-date": "09/09/2021"}})" ) << newer.arg( "2.1.10.1", "" );
      // A manifest is small: one far larger is dropped unread, even when it names a newer version.
      QTest::newRow( "beyond 1 MiB" ) << 0 << R"({"9.0.0.0": {})" + QByteArray( 2 << 20, ' ' ) + "}" << QString();
      QTest::newRow( "not UTF-8" ) << 0 << QByteArray( "{\"9.9.9\":{\"release-date\":\"\xff\xfe\xc0\"}}" ) << QString();
      QTest::newRow( "values of every wrong type" ) << 0 << QByteArray( R"({"99":[1],"98":null,"1e999":{}})" ) << newer.arg( "99", "" );
      // Shown as text: drawn as markup, the picture would read a device without end.
      const QString markup = "<img src='/dev/zero'>";
      QTest::newRow( "markup naming a device" ) << 0 << QStringLiteral( R"({"99.0%1": {"release-date": "%1"}})" ).arg( markup ).toUtf8() << newer.arg( "99.0" + markup, markup );
      QTest::newRow( "an error page naming a newer version" ) << 500 << QByteArray( R"({"9.0.0.0": {"release-date": "01/01/2030"}})" ) << QString();
      // clang-format on
    }
    void manifests()
    {
      QFETCH( int, status );
      QFETCH( QByteArray, body );
      QFETCH( QString, notice );
      QTcpServer server;
      QVERIFY( server.listen( QHostAddress::LocalHost ) );
      connect( &server, &QTcpServer::newConnection, &server,
               [&server, &body, status]
               {
                 server.nextPendingConnection()->write(
                     "HTTP/1.1 " + QByteArray::number( status ) +
                     " Status\r\nContent-Length: " + QByteArray::number( body.size() ) + "\r\n\r\n" + body );
               } );
      qputenv( "RASTOVA_UPDATE_URL", status
                                         ? "http://127.0.0.1:" + QByteArray::number( server.serverPort() ) + "/u.json"
                                         : "data:application/json;base64," + body.toBase64() );
      auto shown = answerMessage( "Đồng ý", 4000 );
      QSignalSpy replies( mWindow->findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished );
      QVERIFY( replies.wait() );
      QTRY_COMPARE( *shown, notice.isEmpty() ? QStringList() : QStringList{ notice } );
    }

    void nothingNewerKeepsTheWindow()
    {
      const QByteArray manifest = R"({"2.1.1.423": {"release-date": "29/05/2020"}})";
      qputenv( "RASTOVA_UPDATE_URL", "data:application/json;base64," + manifest.toBase64() );
      QDir().mkpath( "logs" );
      QSignalSpy replies( mWindow->findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished );
      QVERIFY( replies.wait() );
      mWindow->show();
      auto shown = answerMessage( "Đồng ý", 3000 );
      mWindow->findChild<QAction *>( "mActionUpdate" )->trigger();
      QCOMPARE( *shown, QStringList{ "Rastova 2.1.1.423 đã là phiên bản mới nhất." } );
      QVERIFY( mWindow->isVisible() );
      QVERIFY( !QFile::exists( "logs/param.json" ) );
    }

    void aSilentServerNeitherBlocksTheWindowNorTheUpdate()
    {
      QTcpServer silent; // takes the request and never answers
      QVERIFY( silent.listen( QHostAddress::LocalHost ) );
      qputenv( "RASTOVA_UPDATE_URL", "http://127.0.0.1:" + QByteArray::number( silent.serverPort() ) + "/update.json" );
      QElapsedTimer clock;
      clock.start();
      mWindow->show();
      QVERIFY( QTest::qWaitForWindowExposed( mWindow.get() ) );
      QTest::qWait( 300 );
      QVERIFY2( clock.elapsed() < 3000, "the window waited for the manifest" );

      // Without an answer the updater is offered, and started only when the user accepts.
      QDir().mkpath( "logs" );
      QVERIFY( QFile::copy( RASTOVA_FRESHKIT, "Freshkit" ) );
      for ( const bool accepted : { false, true } )
      {
        auto answered = answerMessage( accepted ? "Có" : "Không", 3000 );
        mWindow->findChild<QAction *>( "mActionUpdate" )->trigger();
        QCOMPARE( answered->size(), 1 );
        QCOMPARE( mWindow->isVisible(), !accepted ); // closed without the exit question
        QCOMPARE( QgsSettings().contains( "MainWindow/Geometry" ), accepted );
        QCOMPARE( QFile::exists( "logs/param.json" ), accepted );
      }
      QFile parameters( "logs/param.json" );
      QVERIFY( parameters.open( QIODevice::ReadOnly ) );
      const QJsonObject expected{
          { "current-version", "2.1.1.423" }, { "release-date", "29/05/2020" }, { "software-name", "Rastova" } };
      QCOMPARE( QJsonDocument::fromJson( parameters.readAll() ).object(), expected );
      QTRY_VERIFY_WITH_TIMEOUT( folderContents( "logs" )
                                    .value( "Freshkit.log" )
                                    .contains( "Rastova 2.1.1.423 — no update source is configured" ),
                                5000 );
    }
};

RASTOVA_TEST( TestUpdate )
#include "TestUpdate.moc"
