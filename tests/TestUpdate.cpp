#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/MenuBar.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>

#include <qgsproject.h>
#include <qgssettings.h>

#include <memory>

//! Answers every request on 127.0.0.1 with one canned response, or never.
class ManifestServer : public QObject
{
    Q_OBJECT

  public:
    enum Behaviour
    {
      Answer,
      Silent,
      Huge,
    };

    ManifestServer( Behaviour behaviour, int status = 200, const QByteArray &body = QByteArray() )
        : mBehaviour( behaviour )
        , mStatus( status )
        , mBody( body )
    {
      mServer.listen( QHostAddress::LocalHost );
      connect( &mServer, &QTcpServer::newConnection, this,
               [this]
               {
                 QTcpSocket *socket = mServer.nextPendingConnection();
                 connect( socket, &QTcpSocket::readyRead, this, [this, socket] { respond( socket ); } );
               } );
    }

    QString url() const
    {
      return QStringLiteral( "http://127.0.0.1:%1/FreshkitStorage/master/Rastova/update.json" )
          .arg( mServer.serverPort() );
    }
    bool answered() const { return mAnswered; }

  private:
    void respond( QTcpSocket *socket )
    {
      if ( !socket->readAll().contains( "\r\n\r\n" ) || mBehaviour == Silent )
        return;
      const QByteArray body = mBehaviour == Huge ? QByteArray( 8 * 1024 * 1024, '{' ) : mBody;
      socket->write( "HTTP/1.1 " + QByteArray::number( mStatus ) +
                     " X\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number( body.size() ) +
                     "\r\nConnection: close\r\n\r\n" );
      socket->write( body );
      socket->flush();
      mAnswered = true;
    }

    QTcpServer mServer;
    Behaviour mBehaviour;
    int mStatus;
    QByteArray mBody;
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
      QTest::addColumn<int>( "behaviour" );
      QTest::addColumn<int>( "status" );
      QTest::addColumn<QByteArray>( "body" );
      QTest::addColumn<QString>( "notice" );
      const QString newer = QStringLiteral( "Rastova đã có phiên bản mới %1 (%2), hãy sử dụng chức năng cập nhật." );
      QTest::newRow( "same version" ) << int( ManifestServer::Answer ) << 200
                                      << QByteArray( R"({"2.1.1.423": {"release-date": "29/05/2020"}})" ) << QString();
      QTest::newRow( "newer" )
          << int( ManifestServer::Answer ) << 200
          << QByteArray( R"({"2.1.1.423": {"release-date": "29/05/2020"}, "2.1.2.0": {"release-date": "01/06/2021"}})" )
          << newer.arg( "2.1.2.0", "01/06/2021" );
      QTest::newRow( "no release date" ) << int( ManifestServer::Answer ) << 200
                                         << QByteArray( R"({"2.1.2.0": {"size": 12}})" ) << newer.arg( "2.1.2.0", "" );
      QTest::newRow( "highest, not last in text order" )
          << int( ManifestServer::Answer ) << 200
          << QByteArray( R"({"2.1.10.1": {"release-date": "10/10/2021"}, "2.1.9.1": {"release-date": "09/09/2021"}})" )
          << newer.arg( "2.1.10.1", "10/10/2021" );
      QTest::newRow( "empty object" ) << int( ManifestServer::Answer ) << 200 << QByteArray( "{}" ) << QString();
      QTest::newRow( "array" ) << int( ManifestServer::Answer ) << 200 << QByteArray( R"(["2.9.9.9"])" ) << QString();
      QTest::newRow( "not JSON" ) << int( ManifestServer::Answer ) << 200 << QByteArray( "<html>moved</html>" )
                                  << QString();
      QTest::newRow( "server error" ) << int( ManifestServer::Answer ) << 500
                                      << QByteArray( R"({"9.0.0.0": {"release-date": "x"}})" ) << QString();
      QTest::newRow( "huge body" ) << int( ManifestServer::Huge ) << 200 << QByteArray() << QString();
    }
    void manifests()
    {
      QFETCH( int, behaviour );
      QFETCH( int, status );
      QFETCH( QByteArray, body );
      QFETCH( QString, notice );
      ManifestServer server( ManifestServer::Behaviour( behaviour ), status, body );
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
      ManifestServer silent( ManifestServer::Silent );
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

    void refusingTheUpdateChangesNothing()
    {
      QDir().mkpath( "logs" );
      QFile::remove( "logs/param.json" );
      MainWindow window;
      window.show();
      auto answered = TestSupport::answerMessage( "Không", 3000 );
      window.checkForUpdate();
      QCOMPARE( *answered, QStringList{ "Phần mềm sẽ thoát để thực hiện cập nhật. Bạn có muốn thoát không?" } );
      QVERIFY( window.isVisible() );
      QVERIFY( !QFile::exists( "logs/param.json" ) );
    }

    void acceptingTheUpdateHandsOverAndQuits()
    {
      QDir().mkpath( "logs" );
      QFile::remove( "logs/Freshkit.log" );
      QFile::remove( "Freshkit" );
      QVERIFY( QFile::copy( RASTOVA_FRESHKIT, "Freshkit" ) );
      MainWindow window;
      window.show();
      auto answered = TestSupport::answerMessage( "Có", 3000 );
      window.findChild<MenuBar *>()->menu( 5 )->actions().at( 1 )->trigger();
      QCOMPARE( answered->size(), 1 );
      QVERIFY( !window.isVisible() ); // closed without the exit question
      QVERIFY( QgsSettings().contains( "MainWindow/Geometry" ) );

      QFile parameters( "logs/param.json" );
      QVERIFY( parameters.open( QIODevice::ReadOnly ) );
      const QByteArray text = parameters.readAll();
      const QJsonObject expected{
          { "current-version", "2.1.1.423" }, { "release-date", "29/05/2020" }, { "software-name", "Rastova" } };
      QCOMPARE( QJsonDocument::fromJson( text ).object(), expected );
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
