#include "Gui/StatusBarScaleWidget.h"
#include "TestSupport.h"

#include <qgsprojectionselectiondialog.h>
#include <qgsprojectviewsettings.h>
#include <qgsscalecombobox.h>

class TestStatusBar : public TestSupport::WindowTest
{
    Q_OBJECT

  public:
    TestStatusBar()
        : WindowTest( true )
    {
    }

  private:
    QgsMapCanvas *mCanvas = nullptr;
    QLineEdit *mCoords = nullptr;
    const QgsCoordinateTransform mUtmToDegrees{ QgsCoordinateReferenceSystem( "EPSG:32748" ),
                                                QgsCoordinateReferenceSystem( "EPSG:4326" ), QgsProject::instance() };

    //! A UTM 48 south scene, in a project of that CRS.
    void addUtmLayer()
    {
      mCanvas = MainWindow::mapCanvas();
      mCoords = mWindow->findChild<QWidget *>( "mCoordsEdit" )->findChild<QLineEdit *>();
      // The offscreen window is only as wide as its status bar, so the busy indicator of a render or a notice widens
      // it whenever one first shows; a canvas of its own size keeps the visible extent from moving under the checks.
      mCanvas->setFixedSize( 480, 320 );
      TestSupport::addRasterLayer( "scene" );
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:32748" ) );
      mCanvas->setExtent( QgsRectangle( 500000, 8999700, 500600, 9000000 ) );
    }

  private slots:
    void typedCoordinates_data()
    {
      QTest::addColumn<bool>( "degrees" );
      QTest::addColumn<QString>( "typed" );
      QTest::addColumn<bool>( "moves" );
      QTest::newRow( "comma and space" ) << false << "500250, 8999800" << true;
      QTest::newRow( "one space" ) << false << "500250 8999800" << true;
      QTest::newRow( "several spaces" ) << false << "500250   8999800" << true;
      QTest::newRow( "leading space, no comma" ) << false << " 500300 8999850" << false;
      QTest::newRow( "three numbers" ) << false << "500300, 8999850, 5" << false;
      QTest::newRow( "letters" ) << false << "500300, abc" << false;
      QTest::newRow( "degrees inside the zone" ) << true << "105.123456, -8.654321" << true;
      QTest::newRow( "degrees, next zone, north" ) << true << "111.5 3.25" << true;
      QTest::newRow( "out of range" ) << true << "-200, 95" << false;
      QTest::newRow( "a quarter round the equator" ) << true << "15, 0" << false;
    }
    void typedCoordinates()
    {
      QFETCH( bool, degrees );
      QFETCH( QString, typed );
      QFETCH( bool, moves );
      addUtmLayer();
      if ( degrees )
        mWindow->findChild<QAbstractButton *>( "mCoordsDegreesButton" )->click();
      const QgsPointXY before = mCanvas->center();
      mCoords->setText( typed );
      QTest::keyClick( mCoords, Qt::Key_Return );
      // Out-of-range degrees are explained; text that is no pair of numbers just stays for the user to fix.
      QCOMPARE( TestSupport::notices().size(), !moves && degrees ? 1 : 0 );
      if ( !moves )
      {
        QCOMPARE( mCanvas->center(), before );
        QCOMPARE( mCoords->text(), typed );
        return;
      }
      const QStringList parts = typed.split( QRegularExpression( "[, ]+" ) );
      const QgsPointXY expected( parts[0].toDouble(), parts[1].toDouble() );
      const QgsPointXY centre = degrees ? mUtmToDegrees.transform( mCanvas->center() ) : mCanvas->center();
      QVERIFY2( centre.distance( expected ) < 1e-7, qPrintable( centre.toString( 8 ) ) );

      // What the box shows under the mouse goes back to the same place (seven-digit northings: no digit grouping).
      const QgsPointXY shown( mCanvas->center().x() + 123.4, mCanvas->center().y() - 56.7 );
      emit mCanvas->xyCoordinates( shown );
      QTest::keyClick( mCoords, Qt::Key_Return );
      QVERIFY2( mCanvas->center().distance( shown ) < ( degrees ? 0.1 : 1 ), qPrintable( mCoords->text() ) );
    }

    void theBarFollowsTheCanvas()
    {
      mCoords = mWindow->findChild<QWidget *>( "mCoordsEdit" )->findChild<QLineEdit *>();
      const QString prompt = mCoords->text();
      emit MainWindow::mapCanvas()->xyCoordinates( QgsPointXY( 1, 2 ) );
      QCOMPARE( mCoords->text(), prompt ); // no coordinates without layers

      addUtmLayer();
      QCOMPARE( mCoords->text(), mCanvas->extent().toString( 3 ) );
      const int wide = mCoords->minimumWidth();
      emit mCanvas->xyCoordinates( QgsPointXY( 1, 1 ) );
      QVERIFY( mCoords->minimumWidth() <= wide );
      QVERIFY( mCoords->minimumWidth() >= mCoords->fontMetrics().horizontalAdvance( mCoords->text() ) );

      // The scale follows the canvas; a scale typed in zooms once, without being zoomed back.
      auto *scale = mWindow->findChild<QgsScaleComboBox *>( "mScaleEdit" );
      QSignalSpy extents( mCanvas, &QgsMapCanvas::extentsChanged );
      mCanvas->zoomByFactor( 0.5 );
      QCOMPARE( extents.count(), 1 );
      QVERIFY( qAbs( scale->scale() - mCanvas->scale() ) < 1 );
      extents.clear();
      scale->setScale( 250000 );
      QCOMPARE( extents.count(), 1 );
      QVERIFY( qAbs( mCanvas->scale() - 250000 ) < 1 );
      // Project scales replace the list while the project asks for them, and give way to the defaults after.
      const int defaults = scale->count();
      QgsProject::instance()->viewSettings()->setUseProjectScales( true );
      QgsProject::instance()->viewSettings()->setMapScales( { 25000, 5000 } );
      mWindow->findChild<StatusBarScaleWidget *>()->updateScales();
      QCOMPARE( ( QStringList{ scale->itemText( 0 ), scale->itemText( 1 ) } ), ( QStringList{ "1:25000", "1:5000" } ) );
      QCOMPARE( scale->count(), 2 );
      QgsProject::instance()->viewSettings()->setUseProjectScales( false );
      mWindow->findChild<StatusBarScaleWidget *>()->updateScales();
      QCOMPARE( scale->count(), defaults );

      // A project CRS chosen from the label keeps the view.
      const QgsRectangle before = mCanvas->extent();
      auto *label = mWindow->findChild<QLabel *>( "mCoordsLabel" );
      TestSupport::whenModal(
          []( QWidget *dialog )
          {
            auto *selector = qobject_cast<QgsProjectionSelectionDialog *>( dialog );
            QCOMPARE( selector->crs().authid(), QStringLiteral( "EPSG:32748" ) );
            selector->setCrs( QgsCoordinateReferenceSystem( "EPSG:4326" ) );
            selector->accept();
          } );
      QTest::mouseClick( label, Qt::LeftButton );
      QCOMPARE( label->text(), QStringLiteral( "(GEO) WGS 84" ) );
      const QgsRectangle expected = mUtmToDegrees.transformBoundingBox( before );
      const QgsRectangle after = mCanvas->extent();
      QVERIFY2( after.buffered( 1e-9 ).contains( expected ) && after.area() < 3 * expected.area(),
                qPrintable( after.toString() + " / " + expected.toString() ) );
    }
};

RASTOVA_TEST( TestStatusBar )
#include "TestStatusBar.moc"
