#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "Gui/GuideDialog.h"
#include "Gui/MainWindow.h"
#include "TestSupport.h"

#include <QLocalSocket>

#include <qgslayertree.h>
#include <qgslayertreeview.h>

namespace
{
void closeAnswering( MainWindow &window, const QString &answer )
{
  TestSupport::whenModal( [answer]( QWidget *dialog ) { TestSupport::clickButton( dialog, answer ); } );
  window.close();
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

  private slots:
    void init()
    {
      TestSupport::clearSettings();
      QgsProject::instance()->clear();
    }

    void guideOpensWithEveryLinkResolved()
    {
      MainWindow window;
      window.findChild<QAction *>( "mActionGuide" )->trigger();
      auto *guide = window.findChild<GuideDialog *>();
      QVERIFY( guide && guide->isVisible() );
      QTextDocument *page = guide->findChild<QTextBrowser *>()->document();
      QStringList anchors, links, images;
      for ( QTextBlock block = page->begin(); block.isValid(); block = block.next() )
        for ( auto it = block.begin(); !it.atEnd(); ++it )
        {
          const QTextCharFormat format = it.fragment().charFormat();
          anchors += format.anchorNames();
          if ( format.isAnchor() && !format.anchorHref().isEmpty() )
            links << format.anchorHref();
          if ( format.isImageFormat() )
            images << format.toImageFormat().name();
        }
      QTreeWidgetItemIterator item( guide->findChild<QTreeWidget *>() );
      for ( ; *item; ++item )
        links << '#' + ( *item )->data( 0, Qt::UserRole ).toString();
      QVERIFY( links.size() > 20 && images.size() > 5 );
      for ( const QString &link : qAsConst( links ) )
        QVERIFY2( link.startsWith( '#' ) && anchors.contains( link.mid( 1 ) ), qPrintable( link ) );
      for ( const QString &image : qAsConst( images ) )
        QVERIFY2( !QImage( ":/Resources/Guide/" + image ).isNull(), qPrintable( image ) );

      // A search wraps round to the top, and says when nothing matches.
      auto *search = guide->findChild<QLineEdit *>( "mSearchEdit" );
      auto *notice = guide->findChild<QLabel *>( "mSearchNotice" );
      for ( const char *word : { "Ctrl+Shift+O", "Ctrl+Shift+O", "Ctrl+Shift+O", "không-có-ở-đâu" } )
      {
        search->setText( QString::fromUtf8( word ) );
        QTest::keyClick( search, Qt::Key_Return );
      }
      QVERIFY( !notice->text().isEmpty() );
      search->setText( "Ctrl+Shift+O" );
      QTest::keyClick( search, Qt::Key_Return );
      QVERIFY( notice->text().isEmpty() );
      QCOMPARE( guide->findChild<QTextBrowser *>()->textCursor().selectedText(), QStringLiteral( "Ctrl+Shift+O" ) );
    }

    void addLayerTakesOnlyValidLayers()
    {
      MainWindow window;
      QVERIFY( !MainWindow::addLayer( nullptr ) );
      auto invalid = std::make_unique<QgsRasterLayer>( "/no/such/file.tif", "missing", "gdal" );
      QVERIFY( !MainWindow::addLayer( invalid.get() ) );
      QCOMPARE( QgsProject::instance()->count(), 0 );

      auto *layer = new QgsRasterLayer( TestSupport::writeRaster( "add.tif" ), "add", "gdal" );
      QVERIFY( MainWindow::addLayer( layer ) );
      QCOMPARE( QgsProject::instance()->mapLayers().values(), QList<QgsMapLayer *>{ layer } );
      QCOMPARE( MainWindow::layerTreeView()->currentLayer(), layer );
      QgsLayerTreeLayer *node = QgsProject::instance()->layerTreeRoot()->findLayer( layer );
      QCOMPARE( node->customProperty( "overview" ).toInt(), 1 );
      QTRY_VERIFY( MainWindow::mapCanvas()->layers().contains( layer ) );
    }

    void nextWindowTakesTheSavedLayoutAndColour()
    {
      {
        MainWindow window;
        window.show();
        window.resize( 900, 700 );
        auto *layers = window.findChild<QDockWidget *>( "mLayerPanelDockWidget" );
        window.addDockWidget( Qt::RightDockWidgetArea, layers );
        window.addToolBar( Qt::BottomToolBarArea, window.findChild<QToolBar *>( "mHelpToolBar" ) );
        window.findChild<QDockWidget *>( "mOverviewDockWidget" )->hide();
        closeAnswering( window, "Không" );
        QVERIFY( window.isVisible() );
        QVERIFY( !QgsSettings().contains( "MainWindow/Geometry" ) );
        closeAnswering( window, "Có" );
        QVERIFY( !window.isVisible() );
      }
      for ( const Utils::SettingKey &key :
            { Utils::Keys::canvasRed, Utils::Keys::canvasGreen, Utils::Keys::canvasBlue } )
        Utils::writeSetting( key, 0 );
      MainWindow window;
      window.show();
      QCOMPARE( MainWindow::mapCanvas()->canvasColor(), QColor( Qt::black ) );
      QCOMPARE( window.size(), QSize( 900, 700 ) );
      QCOMPARE( window.dockWidgetArea( window.findChild<QDockWidget *>( "mLayerPanelDockWidget" ) ),
                Qt::RightDockWidgetArea );
      QCOMPARE( window.toolBarArea( window.findChild<QToolBar *>( "mHelpToolBar" ) ), Qt::BottomToolBarArea );
      QVERIFY( window.findChild<QDockWidget *>( "mOverviewDockWidget" )->isHidden() );
    }

    void busyIndicatorWaitsForQuickRenders()
    {
      MainWindow window;
      auto *progress = window.findChild<QProgressBar *>( "mProgressBar" );
      window.canvasRefreshStarted();
      QVERIFY( progress->isVisible() || !progress->isHidden() );
      QCOMPARE( progress->maximum(), 0 );
      QTest::qWait( 20 );
      window.canvasRefreshFinished();
      QVERIFY( progress->isHidden() );

      // The last render was quick, so the next one only shows it after half a second.
      window.canvasRefreshStarted();
      QVERIFY( progress->isHidden() );
      QTRY_VERIFY_WITH_TIMEOUT( !progress->isHidden(), 2000 );
      QTest::qWait( 100 );
      window.canvasRefreshFinished();
      QVERIFY( progress->isHidden() );

      // That render took longer than half a second: the next shows it at once.
      window.canvasRefreshStarted();
      QVERIFY( !progress->isHidden() );
      window.canvasRefreshFinished();
    }

    void localClientsOpenFilesInTheWindow()
    {
      MainWindow window;
      LocalServer server;
      QVERIFY( server.start() );
      window.setLocalServer( &server );
      const QString path = TestSupport::absolute( TestSupport::writeRaster( "sent by client.tif" ) );

      QLocalSocket client;
      client.connectToServer( "Rastova" );
      QVERIFY( client.waitForConnected( 2000 ) );
      client.write( TestSupport::localMessage( "@Rastova " + path ) );
      client.flush();
      QTRY_COMPARE( QgsProject::instance()->count(), 1 );
      QCOMPARE( QgsProject::instance()->mapLayers().first()->source(), path );
    }
};

RASTOVA_TEST( TestMainWindow )
#include "TestMainWindow.moc"
