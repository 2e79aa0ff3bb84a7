#include "Gui/MainWindow.h"
#include "Gui/StatusBarCoordinatesWidget.h"
#include "Gui/StatusBarScaleWidget.h"
#include "TestSupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

#include <qgscoordinatetransform.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsprojectionselectiondialog.h>
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

    //! A UTM 48 south scene, in a project of that CRS.
    void addUtmLayer()
    {
      TestSupport::addRasterLayer( "scene" );
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:32748" ) );
      mCanvas->setExtent( QgsRectangle( 500000, 8999700, 500600, 9000000 ) );
    }

    QgsPointXY centreInDegrees() const
    {
      return QgsCoordinateTransform( mCanvas->mapSettings().destinationCrs(),
                                     QgsCoordinateReferenceSystem( "EPSG:4326" ), QgsProject::instance() )
          .transform( mCanvas->center() );
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

    void degreesInAUtmProject_data()
    {
      QTest::addColumn<QString>( "typed" );
      QTest::addColumn<bool>( "moves" );
      QTest::newRow( "inside the zone" ) << "105.123456, -8.654321" << true;
      QTest::newRow( "next zone, north of the equator" ) << "111.5 3.25" << true;
      QTest::newRow( "latitude 95" ) << "105, 95" << false;
      QTest::newRow( "longitude -200" ) << "-200, -8" << false;
      QTest::newRow( "a quarter round the equator" ) << "15, 0" << false;
    }
    void degreesInAUtmProject()
    {
      QFETCH( QString, typed );
      QFETCH( bool, moves );
      addUtmLayer();
      auto *widget = mWindow->findChild<StatusBarCoordinatesWidget *>( "mCoordsEdit" );
      mWindow->findChild<QAbstractButton *>( "mCoordsDegreesButton" )->click();
      QVERIFY( widget->showsDegrees() );
      const QgsPointXY before = mCanvas->center();
      mCoords->setText( typed );
      QTest::keyClick( mCoords, Qt::Key_Return );
      if ( !moves )
      {
        QCOMPARE( mCanvas->center(), before );
        QCOMPARE( TestSupport::notices().size(), 1 );
        QCOMPARE( TestSupport::notices()[0].title, QStringLiteral( "Tọa độ" ) );
        QCOMPARE( mCoords->text(), typed );
        return;
      }
      const QStringList parts = typed.split( QRegularExpression( "[, ]+" ) );
      QVERIFY2( centreInDegrees().distance( QgsPointXY( parts[0].toDouble(), parts[1].toDouble() ) ) < 1e-7,
                qPrintable( centreInDegrees().toString( 8 ) ) );
      QVERIFY( TestSupport::notices().isEmpty() );

      // What the box shows under the mouse goes back to the same place.
      const QgsPointXY shown( mCanvas->center().x() + 123.4, mCanvas->center().y() - 56.7 );
      emit mCanvas->xyCoordinates( shown );
      QTest::keyClick( mCoords, Qt::Key_Return );
      QVERIFY2( mCanvas->center().distance( shown ) < 0.1, qPrintable( mCoords->text() ) );
    }

    void projectCrsChosenFromTheLabelKeepsTheView()
    {
      addUtmLayer();
      const QgsRectangle before = mCanvas->extent();
      TestSupport::whenModal(
          []( QWidget *dialog )
          {
            auto *selector = qobject_cast<QgsProjectionSelectionDialog *>( dialog );
            QVERIFY( selector );
            QCOMPARE( selector->crs().authid(), QStringLiteral( "EPSG:32748" ) );
            selector->setCrs( QgsCoordinateReferenceSystem( "EPSG:4326" ) );
            selector->accept();
          } );
      QTest::mouseClick( mWindow->findChild<QLabel *>( "mCoordsLabel" ), Qt::LeftButton );
      QCOMPARE( QgsProject::instance()->crs().authid(), QStringLiteral( "EPSG:4326" ) );
      QCOMPARE( mCanvas->mapSettings().destinationCrs().authid(), QStringLiteral( "EPSG:4326" ) );
      const QgsRectangle expected =
          QgsCoordinateTransform( QgsCoordinateReferenceSystem( "EPSG:32748" ),
                                  QgsCoordinateReferenceSystem( "EPSG:4326" ), QgsProject::instance() )
              .transformBoundingBox( before );
      const QgsRectangle after = mCanvas->extent();
      QVERIFY2( after.buffered( 1e-9 ).contains( expected ) && after.area() < 3 * expected.area(),
                qPrintable( after.toString() + " / " + expected.toString() ) );
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
