#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Processing/RasterStatistics.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"
#include "Tools/BrightnessContrastDialog.h"
#include "Tools/ColorCompositeDialog.h"
#include "Tools/SingleBandStyleDialog.h"

#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>

#include <qgsbrightnesscontrastfilter.h>
#include <qgscolorramp.h>
#include <qgscolorrampshader.h>
#include <qgscontrastenhancement.h>
#include <qgscoordinatetransform.h>
#include <qgslayertreeview.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgsrasterpipe.h>
#include <qgsrastershader.h>
#include <qgssinglebandgrayrenderer.h>
#include <qgssinglebandpseudocolorrenderer.h>
#include <qgsstyle.h>

#include <numeric>

namespace
{
//! A raster added to the project, drawn, and selected in the layer tree as the tools expect.
QgsRasterLayer *addSelected( const QString &name, int bands, TestSupport::RasterSpec spec = TestSupport::RasterSpec() )
{
  spec.bands = bands;
  QgsRasterLayer *layer = TestSupport::addRasterLayer( name, spec );
  MainWindow::layerTreeView()->setCurrentLayer( layer );
  return layer;
}

QList<QComboBox *> bandCombos( const QWidget *dialog )
{
  return { dialog->findChild<QComboBox *>( "redBandComboBox" ), dialog->findChild<QComboBox *>( "greenBandComboBox" ),
           dialog->findChild<QComboBox *>( "blueBandComboBox" ) };
}

QList<int> currentIndexes( const QList<QComboBox *> &combos )
{
  return { combos[0]->currentIndex(), combos[1]->currentIndex(), combos[2]->currentIndex() };
}

//! Minimum, maximum, mean, standard deviation and count of the valid values of a band, worked out here rather than
//! by GDAL.
QVector<double> expectedStatistics( QVector<double> values, double noData )
{
  values.removeAll( noData );
  const double count = values.size();
  const double mean = std::accumulate( values.begin(), values.end(), 0.0 ) / count;
  double squares = 0;
  for ( double v : values )
    squares += ( v - mean ) * ( v - mean );
  return { *std::min_element( values.begin(), values.end() ), *std::max_element( values.begin(), values.end() ), mean,
           std::sqrt( squares / count ), count };
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
    void compositeAppliesBandsAndStretch_data()
    {
      QTest::addColumn<int>( "bands" );
      QTest::addColumn<QList<int>>( "shown" ); // -1: no band
      QTest::addColumn<QString>( "stretch" );
      QTest::addColumn<int>( "limits" );
      // clang-format off
      QTest::newRow( "six bands" ) << 6 << QList<int>{ 4, 3, 2 } << "minMaxRadioButton" << int( QgsRasterMinMaxOrigin::MinMax );
      QTest::newRow( "two bands, no blue" ) << 2 << QList<int>{ 2, 1, -1 } << "stdDevRadioButton" << int( QgsRasterMinMaxOrigin::StdDev );
      QTest::newRow( "one band: the stretch only" ) << 1 << QList<int>{ -1, -1, -1 } << "stdDevRadioButton" << int( QgsRasterMinMaxOrigin::StdDev );
      // clang-format on
    }
    void compositeAppliesBandsAndStretch()
    {
      QFETCH( int, bands );
      QFETCH( QList<int>, shown );
      QFETCH( QString, stretch );
      QFETCH( int, limits );
      auto *dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      dialog->findChild<QPushButton *>( "applyButton" )->click(); // without a raster, nothing to change
      QgsRasterLayer *layer = addSelected( "composite", bands );
      QSignalSpy repaints( layer, &QgsMapLayer::repaintRequested );
      TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      const QList<QComboBox *> combos = bandCombos( dialog );
      const QList<int> indexes = { std::max( 0, shown[0] ), std::max( 0, shown[1] ), std::max( 0, shown[2] ) };
      for ( int i = 0; i < 3; ++i )
        combos[i]->setCurrentIndex( indexes[i] );
      dialog->findChild<QRadioButton *>( stretch )->setChecked( true );
      auto *store = dialog->findChild<QCheckBox *>( "saveBandIndexesCheckBox" );
      store->setChecked( store->isEnabled() );
      QTest::mouseClick( dialog->findChild<QPushButton *>( "applyButton" ), Qt::LeftButton );
      QVERIFY( repaints.count() >= 1 );
      QCOMPARE( int( layer->renderer()->minMaxOrigin().limits() ), limits );
      auto *renderer = dynamic_cast<QgsMultiBandColorRenderer *>( layer->renderer() );
      QCOMPARE( !renderer, bands == 1 );
      if ( !renderer )
        return;
      QCOMPARE( ( QList<int>{ renderer->redBand(), renderer->greenBand(), renderer->blueBand() } ), shown );
      // The stretch fits the bands now shown, not the ones shown before.
      const QgsContrastEnhancement *enhancements[] = { renderer->redContrastEnhancement(),
                                                       renderer->greenContrastEnhancement(),
                                                       renderer->blueContrastEnhancement() };
      for ( int i = 0; i < 3 && limits == QgsRasterMinMaxOrigin::MinMax; ++i )
      {
        const QVector<double> values = TestSupport::readBand( layer->source(), shown[i] );
        QCOMPARE( enhancements[i]->minimumValue(), *std::min_element( values.begin(), values.end() ) );
        QCOMPARE( enhancements[i]->maximumValue(), *std::max_element( values.begin(), values.end() ) );
        QCOMPARE( enhancements[i]->contrastEnhancementAlgorithm(), QgsContrastEnhancement::StretchToMinimumMaximum );
      }
      QTRY_VERIFY( !MainWindow::mapCanvas()->isDrawing() );

      // Shown again, the dialog reads the layer's new renderer; fewer than three bands are not worth storing.
      dialog = TestSupport::showTool<ColorCompositeDialog>( compositeCommand );
      QCOMPARE( currentIndexes( combos ), indexes );
      QVERIFY( dialog->findChild<QRadioButton *>( stretch )->isChecked() );
      QCOMPARE( store->isEnabled(), bands >= 3 );
      if ( bands >= 3 )
      {
        combos[0]->setCurrentIndex( 1 );
        dialog->findChild<QRadioButton *>( "noneRadioButton" )->setChecked( true );
        dialog->findChild<QPushButton *>( "defaultButton" )->click();
        QCOMPARE( currentIndexes( combos ), indexes );
        QVERIFY( dialog->findChild<QRadioButton *>( stretch )->isChecked() );
      }

      // A layer removed or unreadable behind the dialog's back is passed over.
      QgsProject::instance()->removeMapLayer( layer );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      auto invalid = std::make_unique<QgsRasterLayer>( "/no/such.tif", "gone" );
      dialog->currentLayerChanged( invalid.get() );
      dialog->currentLayerChanged( nullptr );
    }

    void brightnessChangesOnlyTheSelectedLayer_data()
    {
      QTest::addColumn<int>( "brightness" );
      QTest::addColumn<int>( "contrast" );
      QTest::addColumn<int>( "repaints" );
      QTest::newRow( "unchanged" ) << 40 << -20 << 0;
      QTest::newRow( "contrast only" ) << 40 << 30 << 1;
      QTest::newRow( "both pushed past their lowest" ) << -1000 << -1000 << 2;
      QTest::newRow( "both pushed past their highest" ) << 1000 << 1000 << 2;
    }
    void brightnessChangesOnlyTheSelectedLayer()
    {
      QFETCH( int, brightness );
      QFETCH( int, contrast );
      QFETCH( int, repaints );
      auto *dialog = TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand );
      dialog->findChild<QPushButton *>( "applyButton" )->click(); // without a raster, nothing to change
      QgsRasterLayer *first = addSelected( "first", 3 );
      QgsRasterLayer *second = addSelected( "second", 1 );
      QgsBrightnessContrastFilter *filter = second->pipe()->brightnessFilter();
      filter->setBrightness( 40 );
      filter->setContrast( -20 );
      // A vector selected in the tree leaves the raster chosen.
      MainWindow::controller()->openFileName(
          TestSupport::absolute( TestSupport::writeVector( "v.gpkg", "GPKG", { "v" } ) ) );
      TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand )->close();
      MainWindow::layerTreeView()->setCurrentLayer( second );
      TestSupport::showTool<BrightnessContrastDialog>( brightnessCommand );
      auto *brightnessSlider = dialog->findChild<QSlider *>( "brightnessSlider" );
      auto *contrastSlider = dialog->findChild<QSlider *>( "contrastSlider" );
      QCOMPARE( ( QList<int>{ brightnessSlider->value(), contrastSlider->value() } ), ( QList<int>{ 40, -20 } ) );

      brightnessSlider->setValue( brightness );
      contrastSlider->setValue( contrast );
      const QgsRasterRenderer *rendererBefore = second->renderer();
      QSignalSpy spy( second, &QgsMapLayer::repaintRequested );
      QTest::keyClick( dialog, Qt::Key_Return );
      QCOMPARE( spy.count(), repaints );
      // What the sliders offer, up to their ends, is what the filter keeps.
      QCOMPARE( filter->brightness(), brightnessSlider->value() );
      QCOMPARE( filter->contrast(), contrastSlider->value() );
      QCOMPARE( second->renderer(), rendererBefore );
      QCOMPARE( first->pipe()->brightnessFilter()->brightness(), 0 );

      // A layer removed or unreadable behind the dialog's back is passed over.
      QgsProject::instance()->removeMapLayer( second );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      auto invalid = std::make_unique<QgsRasterLayer>( "/no/such.tif", "gone" );
      dialog->currentLayerChanged( invalid.get() );
      dialog->currentLayerChanged( nullptr );
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
      TestSupport::RasterSpec floats;
      floats.bands = 2;
      floats.type = GDT_Float32;
      floats.scale = 0.001;
      floats.hasNoData = true;
      floats.noData = 1; // band 1 at pixel (0, 0)
      QgsRasterLayer *floatLayer = TestSupport::addRasterLayer( "floats", floats );
      TestSupport::addRasterLayer( "integers" );
      // Layers in UTM on a Web Mercator canvas: every click is transformed into the layers' CRS.
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:3857" ) );
      mWindow->show();
      QgsMapCanvas *canvas = MainWindow::mapCanvas();
      QCOMPARE( canvas->mapSettings().destinationCrs().authid(), QStringLiteral( "EPSG:3857" ) );
      canvas->zoomToFullExtent();
      canvas->refresh();
      QTRY_VERIFY( !canvas->isDrawing() );
      mWindow->findChild<QAction *>( "actionPixelValues" )->trigger();
      auto *tree = mWindow->findChild<QTreeWidget *>( "pixelValuesTree" );
      QVERIFY( tree && tree->isVisible() );

      const QgsCoordinateTransform toCanvas( floatLayer->crs(), QgsProject::instance()->crs(), QgsProject::instance() );
      const QgsPointXY centre =
          toCanvas.transform( QgsPointXY( 500000 + ( column + 0.5 ) * 30, 9000000 - ( row + 0.5 ) * 30 ) );
      const QPoint target = canvas->getCoordinateTransform()->transform( centre ).toQPointF().toPoint();
      QStringList expected;
      for ( const QString &layer : { QStringLiteral( "floats" ), QStringLiteral( "integers" ) } )
        expected << QStringLiteral( "%1/Cột=%2" ).arg( layer ).arg( column )
                 << QStringLiteral( "%1/Hàng=%2" ).arg( layer ).arg( row );
      for ( int band = 1; band <= 3; ++band )
        expected
            << QStringLiteral( "integers/Kênh %1=%2" ).arg( band ).arg( TestSupport::valueAt( band, column, row ) );
      for ( int band = 1; band <= 2; ++band )
      {
        const double value = TestSupport::readBand( floatLayer->source(), band ).at( row * floats.width + column );
        expected << QStringLiteral( "floats/Kênh %1=%2" )
                        .arg( band )
                        .arg( band == 1 && column == 0 && row == 0 ? QStringLiteral( "Không có dữ liệu" )
                                                                   : Utils::formatNumber( value ) );
      }
      expected.sort();

      const auto shownValues = [tree]
      {
        QStringList lines;
        for ( QTreeWidgetItemIterator it( tree, QTreeWidgetItemIterator::NoChildren ); *it; ++it )
          lines << ( *it )->parent()->text( 0 ) + '/' + ( *it )->text( 0 ) + '=' + ( *it )->text( 1 );
        lines.sort();
        return lines;
      };
      QTest::mouseClick( canvas->viewport(), Qt::LeftButton, {}, target );
      QCOMPARE( shownValues(), expected );

      // Pressed elsewhere and dragged back, the list follows the mouse.
      QTest::mousePress( canvas->viewport(), Qt::LeftButton, {}, target + QPoint( 200, 100 ) );
      QVERIFY( shownValues() != expected );
      QMouseEvent drag( QEvent::MouseMove, target, Qt::NoButton, Qt::LeftButton, {} );
      QApplication::sendEvent( canvas->viewport(), &drag );
      QTest::mouseRelease( canvas->viewport(), Qt::LeftButton, {}, target );
      QCOMPARE( shownValues(), expected );
    }

    void statisticsAreGdalsExactOnes()
    {
      TestSupport::RasterSpec spec;
      spec.type = GDT_Float32;
      spec.scale = 0.5;
      spec.hasNoData = true;
      spec.noData = 500; // band 1 at pixel (0, 0)
      QgsRasterLayer *layer = addSelected( "stats", 3, spec );
      mWindow->rasterStatistics();
      auto *dialog = mWindow->findChild<QDialog *>( "RasterStatisticsDialog" );
      auto *table = dialog->findChild<QTableWidget *>( "statisticsTable" );
      QTRY_COMPARE_WITH_TIMEOUT( table->rowCount(), 3, 20000 );
      const QList<QtCharts::QAbstractSeries *> series =
          dialog->findChild<QtCharts::QChartView *>( "histogramChartView" )->chart()->series();
      QCOMPARE( series.size(), 3 );
      for ( int band = 1; band <= 3; ++band )
      {
        const QVector<double> expected =
            expectedStatistics( TestSupport::readBand( layer->source(), band ), spec.noData );
        for ( int column = 1; column <= 5; ++column )
          QVERIFY2( near( table->item( band - 1, column )->text().toDouble(), expected[column - 1] ),
                    qPrintable( QStringLiteral( "band %1, column %2" ).arg( band ).arg( column ) ) );
        double histogramCount = 0;
        for ( const QPointF &point : static_cast<QtCharts::QXYSeries *>( series.at( band - 1 ) )->points() )
          histogramCount += point.y();
        QCOMPARE( histogramCount, expected[4] );
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

    void statisticsReportWhatStoppedThem()
    {
      const QString raster = TestSupport::writeRaster( "cancel.tif" );
      QgsFeedback cancelled;
      cancelled.cancel();
      QCOMPARE( int( RasterStatistics::compute( raster, &cancelled ).code ), int( RasterStatistics::Code::Cancelled ) );
      QVERIFY( !QFile::exists( raster + ".aux.xml" ) );
      const QString text = TestSupport::writeBytes( "text.tif", "not a raster" );
      QCOMPARE( int( RasterStatistics::compute( text, nullptr ).code ), int( RasterStatistics::Code::OpenFailed ) );
    }

    void singleBandRampAppliesAndCancelRestores_data()
    {
      QTest::addColumn<int>( "mode" );
      QTest::newRow( "exact" ) << 0;
      QTest::newRow( "one standard deviation" ) << 2;
      QTest::newRow( "typed" ) << 3;
    }
    void singleBandRampAppliesAndCancelRestores()
    {
      QFETCH( int, mode );
      QgsRasterLayer *layer = addSelected( "ramp", 1 );
      QVERIFY( dynamic_cast<QgsSingleBandGrayRenderer *>( layer->renderer() ) );
      mWindow->singleBandStyle();
      auto *dialog = mWindow->findChild<SingleBandStyleDialog *>();
      dialog->findChild<QDoubleSpinBox *>( "stdDevSpinBox" )->setValue( 1 );
      dialog->findChild<QComboBox *>( "minMaxModeComboBox" )->setCurrentIndex( mode );
      auto *minimum = dialog->findChild<QDoubleSpinBox *>( "minSpinBox" );
      auto *maximum = dialog->findChild<QDoubleSpinBox *>( "maxSpinBox" );
      const QVector<double> e = expectedStatistics( TestSupport::readBand( layer->source(), 1 ), -1 );
      const QList<double> expected = mode == 0   ? QList<double>{ e[0], e[1] }
                                     : mode == 2 ? QList<double>{ e[2] - e[3], e[2] + e[3] }
                                                 : QList<double>{ 1010, 1100 };
      if ( mode == 3 )
      {
        minimum->setValue( expected[0] );
        maximum->setValue( expected[1] );
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
