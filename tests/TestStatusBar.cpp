#include "Gui/MainWindow.h"
#include "Gui/StatusBarCoordinatesWidget.h"
#include "Gui/StatusBarScaleWidget.h"
#include "TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsprojectviewsettings.h>
#include <qgsrasterlayer.h>
#include <qgsscalecombobox.h>

#include <memory>

class TestStatusBar : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<MainWindow> mWindow;
    QgsMapCanvas *mCanvas = nullptr;
    QLineEdit *mCoords = nullptr;
    QgsScaleComboBox *mScale = nullptr;

    void addGeographicLayer()
    {
      TestSupport::RasterSpec spec;
      spec.epsg = 4326;
      spec.originX = 105.5;
      spec.originY = 21.5;
      spec.pixelSize = 0.05;
      auto *layer = new QgsRasterLayer(
          QDir::current().absoluteFilePath( TestSupport::writeRaster( "hanoi.tif", spec ) ), "hanoi", "gdal" );
      QVERIFY( MainWindow::addLayer( layer ) );
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:4326" ) );
      QTRY_COMPARE( mCanvas->layerCount(), 1 );
      mCanvas->setExtent( QgsRectangle( 105, 20.5, 107, 22 ) );
    }

  private slots:
    void init()
    {
      QgsProject::instance()->clear();
      mWindow = std::make_unique<MainWindow>();
      mWindow->show();
      mCanvas = MainWindow::mapCanvas();
      mCoords = mWindow->findChild<QWidget *>( "mCoordsEdit" )->findChild<QLineEdit *>();
      mScale = mWindow->findChild<QgsScaleComboBox *>( "mScaleEdit" );
      QVERIFY( mCoords && mScale );
    }
    void cleanup()
    {
      mWindow.reset();
      QgsProject::instance()->clear();
    }

    void typedCoordinates_data()
    {
      QTest::addColumn<QString>( "typed" );
      QTest::addColumn<bool>( "centred" );
      QTest::newRow( "comma and space" ) << "105.85, 21.03" << true;
      QTest::newRow( "one space" ) << "105.85 21.03" << true;
      QTest::newRow( "spaces around the comma" ) << "105.85 ,  21.03" << true;
      QTest::newRow( "signs" ) << "+105.85,+21.03" << true;
      QTest::newRow( "leading space, no comma" ) << " 105.85 21.03" << false;
      QTest::newRow( "three numbers" ) << "105.85, 21.03, 5" << false;
      QTest::newRow( "three numbers, spaces" ) << "105.85 21.03 5" << false;
      QTest::newRow( "letters" ) << "105.85, abc" << false;
      QTest::newRow( "no separator" ) << "105.85;21.03" << false;
      QTest::newRow( "empty" ) << "" << false;
    }
    void typedCoordinates()
    {
      QFETCH( QString, typed );
      QFETCH( bool, centred );
      addGeographicLayer();
      const QgsPointXY before = mCanvas->center();
      mCoords->setText( typed );
      QTest::keyClick( mCoords, Qt::Key_Return );
      const QgsPointXY expected = centred ? QgsPointXY( 105.85, 21.03 ) : before;
      QVERIFY2( mCanvas->center().distance( expected ) < 1e-6, qPrintable( mCanvas->center().toString() ) );
      if ( !centred )
        QCOMPARE( mCoords->text(), typed );
    }

    void mouseAndExtentAreShownOnlyWithLayers()
    {
      emit mCanvas->xyCoordinates( QgsPointXY( 1, 2 ) );
      QCOMPARE( mCoords->text(), QStringLiteral( "Tọa độ con trỏ" ) );

      addGeographicLayer();
      QCOMPARE( mCoords->text(), mCanvas->extent().toString( 3 ) );
      QVERIFY( mCoords->text().contains( " : " ) );
      emit mCanvas->xyCoordinates( QgsPointXY( 105.8542, 21.0285 ) );
      QVERIFY2( mCoords->text().contains( "105.85" ) && mCoords->text().contains( "21.02" ),
                qPrintable( mCoords->text() ) );

      const int wide = mCoords->minimumWidth();
      emit mCanvas->xyCoordinates( QgsPointXY( 1, 1 ) );
      QVERIFY( mCoords->minimumWidth() <= wide );
      QVERIFY( mCoords->minimumWidth() >= mCoords->fontMetrics().horizontalAdvance( mCoords->text() ) );

      auto *label = mWindow->findChild<QLabel *>( "mCoordsLabel" );
      QVERIFY( label->text().startsWith( "(GEO) " ) );
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:32648" ) );
      QCOMPARE( label->text(), QStringLiteral( "(PROJ) WGS 84 / UTM zone 48N" ) );
    }

    void shownCoordinatesCanBeTypedBack()
    {
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:32648" ) );
      TestSupport::RasterSpec spec;
      spec.epsg = 32648;
      spec.originX = 560000;
      spec.originY = 2330000;
      QVERIFY( MainWindow::addLayer( new QgsRasterLayer(
          QDir::current().absoluteFilePath( TestSupport::writeRaster( "utm.tif", spec ) ), "utm", "gdal" ) ) );
      QTRY_COMPARE( mCanvas->layerCount(), 1 );
      mCanvas->setDestinationCrs( QgsCoordinateReferenceSystem( "EPSG:32648" ) );
      emit mCanvas->xyCoordinates( QgsPointXY( 1576923.25, 2315923.75 ) );
      QVERIFY2( !mCoords->text().contains( "1,576" ), qPrintable( mCoords->text() ) );
      QTest::keyClick( mCoords, Qt::Key_Return );
      QVERIFY2( mCanvas->center().distance( QgsPointXY( 1576923.25, 2315923.75 ) ) < 1, qPrintable( mCoords->text() ) );
    }

    void scaleFollowsTheCanvasWithoutZoomingBack()
    {
      addGeographicLayer();
      QSignalSpy extents( mCanvas, &QgsMapCanvas::extentsChanged );
      mCanvas->zoomByFactor( 0.5 );
      QCOMPARE( extents.count(), 1 );
      QVERIFY( qAbs( mScale->scale() - mCanvas->scale() ) / mCanvas->scale() < 1e-6 );

      extents.clear();
      mScale->setScale( 250000 );
      QCOMPARE( extents.count(), 1 );
      QVERIFY( qAbs( mCanvas->scale() - 250000 ) < 1 );

      const int before = mScale->minimumWidth();
      mWindow->findChild<StatusBarScaleWidget *>( "mScaleWidget" )->showScale( 1234567890 );
      const int widened = mScale->minimumWidth();
      QVERIFY( widened >= before );
      mWindow->findChild<StatusBarScaleWidget *>( "mScaleWidget" )->showScale( 5 );
      QCOMPARE( mScale->minimumWidth(), widened );
    }

    void projectScalesFillTheList()
    {
      auto *widget = mWindow->findChild<StatusBarScaleWidget *>( "mScaleWidget" );
      const int defaults = mScale->count();
      QgsProject::instance()->viewSettings()->setUseProjectScales( true );
      QgsProject::instance()->viewSettings()->setMapScales( { 25000, 5000 } );
      widget->updateScales();
      QStringList items;
      for ( int i = 0; i < mScale->count(); ++i )
        items << mScale->itemText( i );
      QCOMPARE( items.size(), 2 );
      QCOMPARE( QgsScaleComboBox::toDouble( items.at( 0 ) ), 25000.0 );

      QgsProject::instance()->viewSettings()->setUseProjectScales( false );
      widget->updateScales();
      QCOMPARE( mScale->count(), defaults );
    }
};

RASTOVA_TEST( TestStatusBar )
#include "TestStatusBar.moc"
