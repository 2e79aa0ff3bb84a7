#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Processing/RasterStatistics.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"
#include "Tools/BrightnessContrastDialog.h"
#include "Tools/ColorCompositeDialog.h"
#include "Tools/SingleBandStyleDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>
#include <QTreeWidget>

#include <ogr_spatialref.h>
#include <qgsbrightnesscontrastfilter.h>
#include <qgscolorramp.h>
#include <qgscolorrampshader.h>
#include <qgscontrastenhancement.h>
#include <qgslayertreeview.h>
#include <qgsmapcanvas.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>
#include <qgsrastershader.h>
#include <qgssinglebandgrayrenderer.h>
#include <qgssinglebandpseudocolorrenderer.h>
#include <qgsstyle.h>

#include <algorithm>
#include <cmath>

namespace
{
QgsRasterLayer *openRaster( const QString &name, int bands )
{
  TestSupport::RasterSpec spec;
  spec.bands = bands;
  MainWindow::controller()->openFileName( QDir::current().absoluteFilePath( TestSupport::writeRaster( name, spec ) ) );
  auto *layer = qobject_cast<QgsRasterLayer *>( MainWindow::layerTreeView()->currentLayer() );
  // The canvas takes new layers on the next turn of the event loop.
  const bool drawn = QTest::qWaitFor( [layer] { return MainWindow::mapCanvas()->layers().contains( layer ); } );
  return drawn ? layer : nullptr;
}

QStringList entries( const QComboBox *combo )
{
  QStringList result;
  for ( int i = 0; i < combo->count(); ++i )
    result << combo->itemText( i ) + '=' + combo->itemData( i ).toString();
  return result;
}

void selectInTree( QgsMapLayer *layer )
{
  MainWindow::layerTreeView()->setCurrentLayer( layer );
}

// Exact statistics of the valid values of a band, worked out here rather than by GDAL.
struct Expected
{
    double minimum = 0, maximum = 0, mean = 0, stdDev = 0;
    qint64 count = 0;
};

Expected expectedStatistics( const QVector<double> &values, double noData )
{
  Expected e{ std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(), 0, 0, 0 };
  for ( double v : values )
  {
    if ( v == noData )
      continue;
    e.minimum = std::min( e.minimum, v );
    e.maximum = std::max( e.maximum, v );
    e.mean += v;
    ++e.count;
  }
  e.mean /= e.count;
  for ( double v : values )
    e.stdDev += v == noData ? 0 : ( v - e.mean ) * ( v - e.mean );
  e.stdDev = std::sqrt( e.stdDev / e.count );
  return e;
}

bool near( double actual, double expected )
{
  return std::abs( actual - expected ) <= 1e-6 * std::max( 1.0, std::abs( expected ) );
}

const QString brightnessCommand = QStringLiteral( "Thay đổi độ sáng/độ tương phản" );
const QString compositeCommand = QStringLiteral( "Tổ hợp màu" );
} // namespace

class TestRenderingTools : public TestSupport::WindowTest
{
    Q_OBJECT

  private slots:
    void compositeAppliesBandsAndStretch()
    {
      QgsRasterLayer *layer = openRaster( "six.tif", 6 );
      QVERIFY( layer );
      QSignalSpy repaints( layer, &QgsMapLayer::repaintRequested );
      auto *dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      QVERIFY( dialog );
      auto *red = dialog->findChild<QComboBox *>( "redBandComboBox" );
      auto *green = dialog->findChild<QComboBox *>( "greenBandComboBox" );
      auto *blue = dialog->findChild<QComboBox *>( "blueBandComboBox" );
      QCOMPARE( red->count(), 7 );
      QCOMPARE( entries( red ).mid( 0, 3 ), ( QStringList{ "=-1", "Kênh 1=1", "Kênh 2=2" } ) );
      QCOMPARE( red->currentIndex(), 1 );
      QVERIFY( dialog->findChild<QCheckBox *>( "saveBandIndexesCheckBox" )->isEnabled() );

      red->setCurrentIndex( 4 );
      green->setCurrentIndex( 3 );
      blue->setCurrentIndex( 2 );
      dialog->findChild<QRadioButton *>( "minMaxRadioButton" )->setChecked( true );
      QTest::mouseClick( dialog->findChild<QPushButton *>( "applyButton" ), Qt::LeftButton );
      QVERIFY( !dialog->isVisible() );

      auto *renderer = dynamic_cast<QgsMultiBandColorRenderer *>( layer->renderer() );
      QVERIFY( renderer );
      QCOMPARE( QList<int>( { renderer->redBand(), renderer->greenBand(), renderer->blueBand() } ),
                QList<int>( { 4, 3, 2 } ) );
      QCOMPARE( renderer->minMaxOrigin().limits(), QgsRasterMinMaxOrigin::MinMax );
      const QgsContrastEnhancement *enhancements[] = { renderer->redContrastEnhancement(),
                                                       renderer->greenContrastEnhancement(),
                                                       renderer->blueContrastEnhancement() };
      const int bands[] = { 4, 3, 2 };
      for ( int i = 0; i < 3; ++i )
      {
        const QVector<double> values = TestSupport::readBand( layer->source(), bands[i] );
        QCOMPARE( enhancements[i]->minimumValue(), *std::min_element( values.begin(), values.end() ) );
        QCOMPARE( enhancements[i]->maximumValue(), *std::max_element( values.begin(), values.end() ) );
        QCOMPARE( enhancements[i]->contrastEnhancementAlgorithm(), QgsContrastEnhancement::StretchToMinimumMaximum );
      }
      QVERIFY( repaints.count() >= 1 );
      QTRY_VERIFY( !MainWindow::mapCanvas()->isDrawing() );

      // Shown again, the dialog reads the layer's new renderer.
      dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      QCOMPARE( red->currentIndex(), 4 );
      QVERIFY( dialog->findChild<QRadioButton *>( "minMaxRadioButton" )->isChecked() );
      dialog->close();
    }

    void defaultCompositeIsStoredAndRecalled()
    {
      openRaster( "four.tif", 4 );
      auto *dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      auto *red = dialog->findChild<QComboBox *>( "redBandComboBox" );
      auto *green = dialog->findChild<QComboBox *>( "greenBandComboBox" );
      auto *blue = dialog->findChild<QComboBox *>( "blueBandComboBox" );
      auto *defaults = dialog->findChild<QPushButton *>( "defaultButton" );
      red->setCurrentIndex( 0 );
      dialog->findChild<QRadioButton *>( "stdDevRadioButton" )->setChecked( true );
      defaults->click();
      QCOMPARE( QList<int>( { red->currentIndex(), green->currentIndex(), blue->currentIndex() } ),
                QList<int>( { 1, 2, 3 } ) );
      QVERIFY( dialog->findChild<QRadioButton *>( "cumulativeCutRadioButton" )->isChecked() );

      red->setCurrentIndex( 4 );
      green->setCurrentIndex( 2 );
      blue->setCurrentIndex( 1 );
      dialog->findChild<QRadioButton *>( "stdDevRadioButton" )->setChecked( true );
      dialog->findChild<QCheckBox *>( "saveBandIndexesCheckBox" )->setChecked( true );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( Utils::readSetting( Utils::Keys::compositeRed ).toInt(), 4 );
      QCOMPARE( Utils::readSetting( Utils::Keys::compositeLimit ).toInt(), int( QgsRasterMinMaxOrigin::StdDev ) );

      dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      red->setCurrentIndex( 1 );
      dialog->findChild<QRadioButton *>( "noneRadioButton" )->setChecked( true );
      defaults->click();
      QCOMPARE( QList<int>( { red->currentIndex(), green->currentIndex(), blue->currentIndex() } ),
                QList<int>( { 4, 2, 1 } ) );
      QVERIFY( dialog->findChild<QRadioButton *>( "stdDevRadioButton" )->isChecked() );
      dialog->close();
    }

    void singleBandGetsOnlyTheStretch()
    {
      QgsRasterLayer *layer = openRaster( "single.tif", 1 );
      auto *dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      auto *red = dialog->findChild<QComboBox *>( "redBandComboBox" );
      QCOMPARE( entries( red ), QStringList{ "=-1" } );
      dialog->findChild<QRadioButton *>( "stdDevRadioButton" )->setChecked( true );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      auto *renderer = dynamic_cast<QgsSingleBandGrayRenderer *>( layer->renderer() );
      QVERIFY( renderer );
      QCOMPARE( renderer->minMaxOrigin().limits(), QgsRasterMinMaxOrigin::StdDev );
      QCOMPARE( renderer->contrastEnhancement()->contrastEnhancementAlgorithm(),
                QgsContrastEnhancement::StretchToMinimumMaximum );
    }

    void twoBandsWithoutBlue()
    {
      QgsRasterLayer *layer = openRaster( "two.tif", 2 );
      auto *renderer = dynamic_cast<QgsMultiBandColorRenderer *>( layer->renderer() );
      QVERIFY( renderer );
      renderer->setBlueBand( -1 );
      auto *dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      QCOMPARE( dialog->findChild<QComboBox *>( "blueBandComboBox" )->currentIndex(), 0 );
      QVERIFY( !dialog->findChild<QCheckBox *>( "saveBandIndexesCheckBox" )->isEnabled() );
      dialog->close();
    }

    void brightnessShowsTheSelectedLayerAndChangesOnlyItsFilter()
    {
      QgsRasterLayer *first = openRaster( "first.tif", 3 );
      QgsRasterLayer *second = openRaster( "second.tif", 3 );
      second->pipe()->brightnessFilter()->setBrightness( 40 );
      second->pipe()->brightnessFilter()->setContrast( -20 );
      selectInTree( second );
      auto *dialog = TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand );
      auto *brightness = dialog->findChild<QSlider *>( "brightnessSlider" );
      QCOMPARE( brightness->value(), 40 );
      QCOMPARE( dialog->findChild<QSlider *>( "contrastSlider" )->value(), -20 );

      brightness->setValue( 255 );
      dialog->findChild<QPushButton *>( "contrastDefaultButton" )->click();
      QCOMPARE( second->pipe()->brightnessFilter()->brightness(), 40 );

      const QgsRasterRenderer *rendererBefore = second->renderer();
      QSignalSpy repaints( second, &QgsMapLayer::repaintRequested );
      QTest::keyClick( dialog, Qt::Key_Return );
      QVERIFY( !dialog->isVisible() );
      QCOMPARE( second->pipe()->brightnessFilter()->brightness(), 255 );
      QCOMPARE( second->pipe()->brightnessFilter()->contrast(), 0 );
      QCOMPARE( repaints.count(), 2 );
      QCOMPARE( second->renderer(), rendererBefore );
      QCOMPARE( first->pipe()->brightnessFilter()->brightness(), 0 );
    }

    void brightnessRepaintsOncePerChangedValue_data()
    {
      QTest::addColumn<int>( "brightness" );
      QTest::addColumn<int>( "contrast" );
      QTest::addColumn<int>( "repaints" );
      QTest::newRow( "unchanged" ) << 0 << 0 << 0;
      QTest::newRow( "contrast only" ) << 0 << 30 << 1;
      QTest::newRow( "both pushed past their lowest" ) << -1000 << -1000 << 2;
      QTest::newRow( "both pushed past their highest" ) << 1000 << 1000 << 2;
    }
    void brightnessRepaintsOncePerChangedValue()
    {
      QFETCH( int, brightness );
      QFETCH( int, contrast );
      QFETCH( int, repaints );
      QgsRasterLayer *layer = openRaster( "repaint.tif", 1 );
      auto *dialog = TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand );
      auto *brightnessSlider = dialog->findChild<QSlider *>( "brightnessSlider" );
      brightnessSlider->setValue( brightness );
      auto *contrastSlider = dialog->findChild<QSlider *>( "contrastSlider" );
      contrastSlider->setValue( contrast );
      QSignalSpy spy( layer, &QgsMapLayer::repaintRequested );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( spy.count(), repaints );
      // What the sliders offer, up to their ends, is what the filter keeps.
      QCOMPARE( layer->pipe()->brightnessFilter()->brightness(), brightnessSlider->value() );
      QCOMPARE( layer->pipe()->brightnessFilter()->contrast(), contrastSlider->value() );
    }

    void toolsSurviveMissingAndRemovedLayers()
    {
      auto *brightness = TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand );
      QVERIFY( brightness );
      brightness->findChild<QPushButton *>( "applyButton" )->click();
      auto *composite = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      composite->findChild<QPushButton *>( "applyButton" )->click();

      // A vector selected in the tree leaves the first raster chosen.
      QgsRasterLayer *raster = openRaster( "kept.tif", 3 );
      MainWindow::controller()->openFileName(
          QDir::current().absoluteFilePath( TestSupport::writeVector( "v.gpkg", "GPKG", { "v" } ) ) );
      QTRY_COMPARE( MainWindow::mapCanvas()->layers().size(), 2 );
      brightness = TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand );
      brightness->findChild<QSlider *>( "brightnessSlider" )->setValue( 12 );
      brightness->close();

      QgsProject::instance()->removeMapLayer( raster );
      brightness->findChild<QPushButton *>( "applyButton" )->click();
      composite->findChild<QPushButton *>( "applyButton" )->click();

      auto invalid = std::make_unique<QgsRasterLayer>( "/no/such.tif", "gone" );
      brightness->currentLayerChanged( invalid.get() );
      composite->currentLayerChanged( invalid.get() );
      brightness->currentLayerChanged( nullptr );
      composite->currentLayerChanged( nullptr );
    }
    void pixelValuesFollowClicksAndDrags_data()
    {
      QTest::addColumn<int>( "column" );
      QTest::addColumn<int>( "row" );
      QTest::newRow( "no-data corner" ) << 0 << 0;
      QTest::newRow( "inside" ) << 7 << 4;
      QTest::newRow( "far corner" ) << 19 << 9;
    }
    void pixelValuesFollowClicksAndDrags()
    {
      QFETCH( int, column );
      QFETCH( int, row );
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:32748" ) );
      TestSupport::RasterSpec floats;
      floats.bands = 2;
      floats.type = GDT_Float32;
      floats.scale = 0.001;
      floats.hasNoData = true;
      floats.noData = 1; // band 1 at pixel (0, 0)
      QgsRasterLayer *utm = TestSupport::addRasterLayer( "utm", floats );

      // A second layer in Web Mercator, 25 m pixels around the first one's centre.
      OGRSpatialReference utmSrs, mercatorSrs;
      utmSrs.importFromEPSG( 32748 );
      mercatorSrs.importFromEPSG( 3857 );
      utmSrs.SetAxisMappingStrategy( OAMS_TRADITIONAL_GIS_ORDER );
      mercatorSrs.SetAxisMappingStrategy( OAMS_TRADITIONAL_GIS_ORDER );
      std::unique_ptr<OGRCoordinateTransformation> toMercator(
          OGRCreateCoordinateTransformation( &utmSrs, &mercatorSrs ) );
      double cx = 500300, cy = 8999850;
      toMercator->Transform( 1, &cx, &cy );
      TestSupport::RasterSpec mercator;
      mercator.epsg = 3857;
      mercator.width = mercator.height = 40;
      mercator.pixelSize = 25;
      mercator.originX = cx - 500;
      mercator.originY = cy + 500;
      TestSupport::addRasterLayer( "mercator", mercator );

      mWindow->show();
      QgsMapCanvas *canvas = MainWindow::mapCanvas();
      canvas->setExtent( utm->extent() );
      canvas->refresh();
      QTRY_VERIFY( !canvas->isDrawing() );
      mWindow->findChild<QAction *>( "actionPixelValues" )->trigger();
      auto *tree = mWindow->findChild<QTreeWidget *>( "pixelValuesTree" );
      QVERIFY( tree && tree->isVisible() );

      const QPoint target =
          canvas->getCoordinateTransform()
              ->transform( QgsPointXY( 500000 + ( column + 0.5 ) * 30, 9000000 - ( row + 0.5 ) * 30 ) )
              .toQPointF()
              .toPoint();
      // Expected from what GDAL reads at the point really clicked, transformed by OGR.
      const QgsPointXY clicked = canvas->getCoordinateTransform()->toMapCoordinates( target );
      QStringList expected;
      const QString utmPrefix = QStringLiteral( "utm/" );
      for ( int band = 1; band <= 2; ++band )
      {
        const double value = TestSupport::readBand( utm->source(), band ).at( row * floats.width + column );
        expected << utmPrefix + QStringLiteral( "Kênh %1=%2" )
                                    .arg( band )
                                    .arg( band == 1 && column == 0 && row == 0 ? QStringLiteral( "Không có dữ liệu" )
                                                                               : Utils::formatNumber( value ) );
      }
      expected << utmPrefix + QStringLiteral( "Cột=%1" ).arg( column )
               << utmPrefix + QStringLiteral( "Hàng=%1" ).arg( row );
      double mx = clicked.x(), my = clicked.y();
      toMercator->Transform( 1, &mx, &my );
      const int mColumn = static_cast<int>( std::floor( ( mx - mercator.originX ) / 25 ) );
      const int mRow = static_cast<int>( std::floor( ( mercator.originY - my ) / 25 ) );
      for ( int band = 1; band <= 3; ++band )
        expected
            << QStringLiteral( "mercator/Kênh %1=%2" ).arg( band ).arg( TestSupport::valueAt( band, mColumn, mRow ) );
      expected << QStringLiteral( "mercator/Cột=%1" ).arg( mColumn )
               << QStringLiteral( "mercator/Hàng=%1" ).arg( mRow );
      expected.sort();

      const auto shown = [tree]
      {
        QStringList lines;
        for ( int i = 0; i < tree->topLevelItemCount(); ++i )
        {
          const QTreeWidgetItem *layer = tree->topLevelItem( i );
          for ( int j = 0; j < layer->childCount(); ++j )
            lines << layer->text( 0 ) + '/' + layer->child( j )->text( 0 ) + '=' + layer->child( j )->text( 1 );
        }
        lines.sort();
        return lines;
      };
      QTest::mouseClick( canvas->viewport(), Qt::LeftButton, {}, target );
      QCOMPARE( shown(), expected );

      // Pressed elsewhere and dragged back, the list follows the mouse.
      QTest::mousePress( canvas->viewport(), Qt::LeftButton, {}, target + QPoint( 200, 100 ) );
      QVERIFY( shown() != expected );
      QMouseEvent drag( QEvent::MouseMove, target, Qt::NoButton, Qt::LeftButton, {} );
      QApplication::sendEvent( canvas->viewport(), &drag );
      QTest::mouseRelease( canvas->viewport(), Qt::LeftButton, {}, target );
      QCOMPARE( shown(), expected );
    }

    void statisticsAreGdalsExactOnes()
    {
      TestSupport::RasterSpec spec;
      spec.type = GDT_Float32;
      spec.scale = 0.5;
      spec.hasNoData = true;
      spec.noData = 500; // band 1 at pixel (0, 0)
      QgsRasterLayer *layer = TestSupport::addRasterLayer( "stats", spec );
      selectInTree( layer );
      mWindow->rasterStatistics();
      auto *dialog = mWindow->findChild<QDialog *>( "RasterStatisticsDialog" );
      auto *table = dialog->findChild<QTableWidget *>( "statisticsTable" );
      QTRY_COMPARE_WITH_TIMEOUT( table->rowCount(), 3, 20000 );
      const QList<QtCharts::QAbstractSeries *> series =
          dialog->findChild<QtCharts::QChartView *>( "histogramChartView" )->chart()->series();
      QCOMPARE( series.size(), 3 );
      for ( int band = 1; band <= 3; ++band )
      {
        const Expected e = expectedStatistics( TestSupport::readBand( layer->source(), band ), spec.noData );
        const double shown[] = {
            table->item( band - 1, 1 )->text().toDouble(), table->item( band - 1, 2 )->text().toDouble(),
            table->item( band - 1, 3 )->text().toDouble(), table->item( band - 1, 4 )->text().toDouble() };
        QVERIFY2( near( shown[0], e.minimum ) && near( shown[1], e.maximum ) && near( shown[2], e.mean ) &&
                      near( shown[3], e.stdDev ),
                  qPrintable( QStringLiteral( "band %1" ).arg( band ) ) );
        QCOMPARE( table->item( band - 1, 5 )->text().toLongLong(), e.count );
        double histogramCount = 0;
        for ( const QPointF &point : static_cast<QtCharts::QXYSeries *>( series.at( band - 1 ) )->points() )
          histogramCount += point.y();
        QCOMPARE( histogramCount, double( e.count ) );
      }
      // Kept by GDAL beside the file, read back by the layer's properties, and not replaced by QGIS's estimates.
      QVERIFY( layer->htmlMetadata().contains( "STATISTICS_MEAN" ) );
      const QString source = layer->source();
      dialog->close();
      QgsProject::instance()->removeAllMapLayers();
      QFile aux( source + ".aux.xml" );
      QVERIFY( aux.open( QIODevice::ReadOnly ) );
      const QByteArray stored = aux.readAll();
      QCOMPARE( stored.count( "STATISTICS_MEAN" ), 3 );
      QVERIFY( !stored.contains( "STATISTICS_APPROXIMATE" ) );
    }

    void statisticsReportWhatStoppedThem_data()
    {
      QTest::addColumn<QString>( "source" );
      QTest::addColumn<bool>( "cancel" );
      QTest::addColumn<int>( "code" );
      QTest::newRow( "cancelled" ) << "cancel.tif" << true << int( RasterStatistics::Code::Cancelled );
      QTest::newRow( "not a raster" ) << "text.tif" << false << int( RasterStatistics::Code::OpenFailed );
    }
    void statisticsReportWhatStoppedThem()
    {
      QFETCH( QString, source );
      QFETCH( bool, cancel );
      QFETCH( int, code );
      TestSupport::writeRaster( "cancel.tif" );
      TestSupport::writeBytes( "text.tif", "not a raster" );
      QgsFeedback feedback;
      if ( cancel )
        feedback.cancel();
      const RasterStatistics::Result result = RasterStatistics::compute( source, &feedback );
      QCOMPARE( int( result.code ), code );
      QVERIFY( result.bands.isEmpty() );
      QVERIFY( !QFile::exists( source + ".aux.xml" ) );
    }

    void singleBandRampAppliesAndCancelRestores_data()
    {
      QTest::addColumn<int>( "mode" );
      QTest::addColumn<double>( "typedMin" );
      QTest::addColumn<double>( "typedMax" );
      QTest::newRow( "exact" ) << 0 << 0.0 << 0.0;
      QTest::newRow( "one standard deviation" ) << 2 << 0.0 << 0.0;
      QTest::newRow( "typed" ) << 3 << 1010.0 << 1100.0;
    }
    void singleBandRampAppliesAndCancelRestores()
    {
      QFETCH( int, mode );
      QFETCH( double, typedMin );
      QFETCH( double, typedMax );
      TestSupport::RasterSpec spec;
      spec.bands = 1;
      QgsRasterLayer *layer = TestSupport::addRasterLayer( "ramp", spec );
      QVERIFY( dynamic_cast<QgsSingleBandGrayRenderer *>( layer->renderer() ) );
      selectInTree( layer );
      mWindow->singleBandStyle();
      auto *dialog = mWindow->findChild<SingleBandStyleDialog *>();
      dialog->findChild<QDoubleSpinBox *>( "stdDevSpinBox" )->setValue( 1 );
      dialog->findChild<QComboBox *>( "minMaxModeComboBox" )->setCurrentIndex( mode );
      auto *minimum = dialog->findChild<QDoubleSpinBox *>( "minSpinBox" );
      auto *maximum = dialog->findChild<QDoubleSpinBox *>( "maxSpinBox" );
      const Expected e = expectedStatistics( TestSupport::readBand( layer->source(), 1 ), -1 );
      const QList<double> expected = mode == 0   ? QList<double>{ e.minimum, e.maximum }
                                     : mode == 2 ? QList<double>{ e.mean - e.stdDev, e.mean + e.stdDev }
                                                 : QList<double>{ typedMin, typedMax };
      if ( mode == 3 )
      {
        minimum->setValue( typedMin );
        maximum->setValue( typedMax );
      }
      QVERIFY( near( minimum->value(), expected[0] ) && near( maximum->value(), expected[1] ) );

      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QVERIFY( dialog->isVisible() );
      auto *renderer = dynamic_cast<QgsSingleBandPseudoColorRenderer *>( layer->renderer() );
      QVERIFY( renderer );
      QCOMPARE( renderer->classificationMin(), minimum->value() );
      QCOMPARE( renderer->classificationMax(), maximum->value() );

      dialog->findChild<QPushButton *>( "cancelButton" )->click();
      QVERIFY( !dialog->isVisible() );
      QVERIFY( dynamic_cast<QgsSingleBandGrayRenderer *>( layer->renderer() ) );
    }

    void bandMathResultOpensWithARamp_data()
    {
      QTest::addColumn<double>( "scale" );
      QTest::addColumn<QString>( "ramp" );
      QTest::newRow( "index" ) << -0.0005 << "RdYlGn";
      QTest::newRow( "reflectance" ) << 1.0 << "Viridis";
    }
    void bandMathResultOpensWithARamp()
    {
      QFETCH( double, scale );
      QFETCH( QString, ramp );
      TestSupport::RasterSpec spec;
      spec.bands = 1;
      spec.type = GDT_Float32;
      spec.scale = scale;
      emit mWindow->findChild<BandMathDialog *>()->complete(
          TestSupport::absolute( TestSupport::writeRaster( "result.tif", spec ) ) );
      auto *layer = qobject_cast<QgsRasterLayer *>( MainWindow::layerTreeView()->currentLayer() );
      QVERIFY( layer );
      auto *renderer = dynamic_cast<QgsSingleBandPseudoColorRenderer *>( layer->renderer() );
      QVERIFY( renderer );
      const auto *shader = dynamic_cast<const QgsColorRampShader *>( renderer->shader()->rasterShaderFunction() );
      std::unique_ptr<QgsColorRamp> wanted( QgsStyle::defaultStyle()->colorRamp( ramp ) );
      QCOMPARE( shader->sourceColorRamp()->color( 0 ), wanted->color( 0 ) );
      QCOMPARE( shader->sourceColorRamp()->color( 1 ), wanted->color( 1 ) );
      QCOMPARE( renderer->minMaxOrigin().limits(), QgsRasterMinMaxOrigin::CumulativeCut );
    }
};

RASTOVA_TEST( TestRenderingTools )
#include "TestRenderingTools.moc"
