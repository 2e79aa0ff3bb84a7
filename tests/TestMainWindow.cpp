#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "Gui/GuideDialog.h"
#include "TestSupport.h"

#include <qgslayertree.h>

using namespace TestSupport;

class TestMainWindow : public WindowTest
{
    Q_OBJECT

  private slots:
    void guideOpensWithEveryLinkResolved()
    {
      mWindow->findChild<QAction *>( "mActionGuide" )->trigger();
      auto *guide = mWindow->findChild<GuideDialog *>();
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
      for ( QTreeWidgetItemIterator item( guide->findChild<QTreeWidget *>() ); *item; ++item )
        links << '#' + ( *item )->data( 0, Qt::UserRole ).toString();
      QVERIFY( links.size() > 20 && images.size() > 5 );
      for ( const QString &link : qAsConst( links ) )
        QVERIFY2( link.startsWith( '#' ) && anchors.contains( link.mid( 1 ) ), qPrintable( link ) );
      for ( const QString &image : qAsConst( images ) )
        QVERIFY2( !QImage( ":/Resources/Guide/" + image ).isNull(), qPrintable( image ) );

      // Enter in the search field goes on to the next match and never closes the guide.
      auto *search = guide->findChild<QLineEdit *>( "mSearchEdit" );
      search->setFocus();
      QTest::keyClicks( search, "raster" );
      QList<int> found;
      for ( int press = 0; press < 3; ++press )
      {
        found << guide->findChild<QTextBrowser *>()->textCursor().selectionStart();
        QTest::keyClick( search, press == 1 ? Qt::Key_Enter : Qt::Key_Return );
        QVERIFY( guide->isVisible() );
      }
      QVERIFY( found[0] < found[1] && found[1] < found[2] );
    }

    void nextWindowTakesTheSavedLayoutAndColour()
    {
      mWindow->show();
      mWindow->resize( 900, 700 );
      mWindow->findChild<QDockWidget *>( "mOverviewDockWidget" )->hide();
      answerMessage( "Không" );
      mWindow->close();
      QVERIFY( mWindow->isVisible() );
      QVERIFY( !QgsSettings().contains( "MainWindow/Geometry" ) );
      answerMessage( "Có" );
      mWindow->close();
      QVERIFY( !mWindow->isVisible() );
      mWindow.reset();
      for ( const Utils::SettingKey &key :
            { Utils::Keys::canvasRed, Utils::Keys::canvasGreen, Utils::Keys::canvasBlue } )
        Utils::writeSetting( key, 0 );
      mWindow = std::make_unique<MainWindow>();
      mWindow->show();
      QCOMPARE( MainWindow::mapCanvas()->canvasColor(), QColor( Qt::black ) );
      QCOMPARE( mWindow->size(), QSize( 900, 700 ) );
      QVERIFY( mWindow->findChild<QDockWidget *>( "mOverviewDockWidget" )->isHidden() );
    }

    void filesSentByLocalClientsOpenAndShowInTheOverview()
    {
      mWindow->show();
      QVERIFY( QTest::qWaitForWindowExposed( mWindow.get() ) );
      // The server's side of a message has tests of its own; this is the window's.
      LocalServer server;
      mWindow->setLocalServer( &server );
      const QString path = absolute( writeRaster( "sent by client.tif" ) );
      emit server.messageFromServer( path );
      QCOMPARE( QgsProject::instance()->count(), 1 );
      QgsLayerTreeLayer *opened = QgsProject::instance()->layerTreeRoot()->findLayers().value( 0 );
      QCOMPARE( opened->layer()->source(), path );
      QCOMPARE( opened->customProperty( "overview" ).toInt(), 1 );

      // The first layer already changed the project's CRS, from the start-up one to its own.
      auto *overview = mWindow->findChild<QDockWidget *>( "mOverviewDockWidget" )->widget();
      auto *viewRectangle = overview->findChild<QWidget *>();
      const auto rectangleInside = [&]
      { return viewRectangle->isVisible() && overview->rect().intersects( viewRectangle->geometry() ); };
      QTRY_VERIFY( rectangleInside() );
      const QImage before = overview->grab().toImage();
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:3857" ) );
      QTRY_VERIFY( rectangleInside() );
      // Web Mercator shears a UTM rectangle: what the overview draws changes with the CRS.
      QTRY_VERIFY( overview->grab().toImage() != before );
    }
};

RASTOVA_TEST( TestMainWindow )
#include "TestMainWindow.moc"
