#include "Gui/MainWindow.h"
#include "Gui/MenuBar.h"
#include "TestSupport.h"

#include <QTcpServer>
#include <QTcpSocket>

//! Answers every request on 127.0.0.1 with one canned response; with status 0, never.
class ManifestServer
{
  public:
    explicit ManifestServer( int status, const QByteArray &body = QByteArray() )
    {
      mServer.listen( QHostAddress::LocalHost );
      QObject::connect( &mServer, &QTcpServer::newConnection, &mServer,
                        [this, status, body]
                        {
                          QTcpSocket *socket = mServer.nextPendingConnection();
                          QObject::connect( socket, &QTcpSocket::readyRead, socket,
                                            [this, socket, status, body]
                                            {
                                              if ( !socket->readAll().contains( "\r\n\r\n" ) || status == 0 )
                                                return;
                                              socket->write(
                                                  "HTTP/1.1 " + QByteArray::number( status ) +
                                                  " X\r\nContent-Length: " + QByteArray::number( body.size() ) +
                                                  "\r\nConnection: close\r\n\r\n" + body );
                                              socket->flush();
                                              mAnswered = true;
                                            } );
                        } );
    }

    QString url() const
    {
      return QStringLiteral( "http://127.0.0.1:%1/FreshkitStorage/master/Rastova/update.json" )
          .arg( mServer.serverPort() );
    }
    bool answered() const { return mAnswered; }

  private:
    QTcpServer mServer;
    bool mAnswered = false;
};

class TestUpdate : public QObject
{
    Q_OBJECT

  private slots:
    void init()
    {
      TestSupport::clearSettings();
      QgsProject::instance()->clear();
    }
    void cleanup() { TestSupport::forgetModalAnswers(); }

    void manifests_data()
    {
      QTest::addColumn<int>( "status" );
      QTest::addColumn<QByteArray>( "body" );
      QTest::addColumn<QString>( "notice" );
      const QString newer = QStringLiteral( "Rastova đã có phiên bản mới %1 (%2), hãy sử dụng chức năng cập nhật." );
      const QByteArray current = R"("2.1.1.423": {"release-date": "29/05/2020"})";
      QTest::newRow( "same version" ) << 200 << "{" + current + "}" << QString();
      QTest::newRow( "newer" ) << 200 << "{" + current + R"(, "2.1.2.0": {"release-date": "01/06/2021"}})"
                               << newer.arg( "2.1.2.0", "01/06/2021" );
      QTest::newRow( "no release date" ) << 200 << QByteArray( R"({"2.1.2.0": {"size": 12}})" )
                                         << newer.arg( "2.1.2.0", "" );
      QTest::newRow( "highest, not last in text order" )
          << 200 << QByteArray( R"({"2.1.10.1": {"release-date": "10/10/2021"}, "2.1.9.1": {}})" )
          << newer.arg( "2.1.10.1", "10/10/2021" );
      QTest::newRow( "empty object" ) << 200 << QByteArray( "{}" ) << QString();
      QTest::newRow( "array" ) << 200 << QByteArray( R"(["2.9.9.9"])" ) << QString();
      QTest::newRow( "not JSON" ) << 200 << QByteArray( "<html>moved</html>" ) << QString();
      QTest::newRow( "server error" ) << 500 << QByteArray( R"({"9.0.0.0": {"release-date": "x"}})" ) << QString();
      QTest::newRow( "huge body" ) << 200 << QByteArray( 8 * 1024 * 1024, '{' ) << QString();
    }
    void manifests()
    {
      QFETCH( int, status );
      QFETCH( QByteArray, body );
      QFETCH( QString, notice );
      ManifestServer server( status, body );
      qputenv( "RASTOVA_UPDATE_URL", server.url().toUtf8() );
      auto notices = TestSupport::answerMessage( "Đồng ý", 4000 );
      MainWindow window;
      window.show();
      QTRY_VERIFY( server.answered() );
      if ( notice.isEmpty() )
        QTest::qWait( 500 );
      else
        QTRY_COMPARE( notices->size(), 1 );
      QCOMPARE( *notices, notice.isEmpty() ? QStringList() : QStringList{ notice } );
      QVERIFY( window.isVisible() );
    }

    void unreachableOrSilentServersNeverBlockTheWindow()
    {
      ManifestServer silent( 0 );
      for ( const QString &url : { silent.url(), QStringLiteral( "http://127.0.0.1:9/update.json" ) } )
      {
        qputenv( "RASTOVA_UPDATE_URL", url.toUtf8() );
        MainWindow window;
        window.show();
        QVERIFY( QTest::qWaitForWindowExposed( &window ) );
        QTest::qWait( 300 );
        auto shown = TestSupport::answerMessage( "Đồng ý", 3000 );
        window.findChild<MenuBar *>()->menu( 5 )->actions().last()->trigger(); // answers while the request hangs
        QCOMPARE( shown->size(), 1 );
        QVERIFY( shown->first().startsWith( "Phần mềm phân tích" ) );
        QTest::qWait( 1000 );
        QVERIFY( !QApplication::activeModalWidget() );
      }
    }

    void updateHandsOverOnlyWhenAccepted_data()
    {
      QTest::addColumn<bool>( "accepted" );
      QTest::newRow( "refused" ) << false;
      QTest::newRow( "accepted" ) << true;
    }
    void updateHandsOverOnlyWhenAccepted()
    {
      QFETCH( bool, accepted );
      QDir().mkpath( "logs" );
      for ( const char *stale : { "logs/param.json", "logs/Freshkit.log", "Freshkit" } )
        QFile::remove( stale );
      QVERIFY( QFile::copy( RASTOVA_FRESHKIT, "Freshkit" ) );
      MainWindow window;
      window.show();
      auto answered = TestSupport::answerMessage( accepted ? "Có" : "Không", 3000 );
      window.findChild<MenuBar *>()->menu( 5 )->actions().at( 1 )->trigger();
      QCOMPARE( answered->size(), 1 );
      QCOMPARE( window.isVisible(), !accepted ); // closed without the exit question
      QCOMPARE( QgsSettings().contains( "MainWindow/Geometry" ), accepted );
      QFile parameters( "logs/param.json" );
      QCOMPARE( parameters.open( QIODevice::ReadOnly ), accepted );
      if ( !accepted )
        return;
      const QJsonObject expected{
          { "current-version", "2.1.1.423" }, { "release-date", "29/05/2020" }, { "software-name", "Rastova" } };
      QCOMPARE( QJsonDocument::fromJson( parameters.readAll() ).object(), expected );
      const auto report = []
      {
        QFile file( "logs/Freshkit.log" );
        return file.open( QIODevice::ReadOnly ) ? file.readAll() : QByteArray();
      };
      QTRY_VERIFY_WITH_TIMEOUT( !report().isEmpty(), 5000 );
      QVERIFY( report().contains( "Rastova 2.1.1.423 — no update source is configured" ) );
    }
};

RASTOVA_TEST( TestUpdate )
#include "TestUpdate.moc"
