#include "Processing/RasterStatistics.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"
#include "Tools/BrightnessContrastDialog.h"
#include "Tools/ColorCompositeDialog.h"
#include "Tools/SingleBandStyleDialog.h"

#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>

#include <qgsbrightnesscontrastfilter.h>
#include <qgslayertreeview.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgsrastershader.h>
#include <qgssinglebandgrayrenderer.h>
#include <qgssinglebandpseudocolorrenderer.h>
#include <qgsstyle.h>

#include <numeric>

using namespace TestSupport;

namespace
{
//! A raster added to the project, drawn, and selected in the layer tree as the tools expect.
QgsRasterLayer *addSelected( const QString &name, int bands, RasterLayout layout = RasterLayout() )
{
  layout.bands = bands;
  QgsRasterLayer *layer = addRasterLayer( name, layout );
  MainWindow::layerTreeView()->setCurrentLayer( layer );
  return layer;
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
} // namespace

class TestRenderingTools : public WindowTest
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
      QgsRasterLayer *layer = addSelected( "composite", bands );
      QSignalSpy repaints( layer, &QgsMapLayer::repaintRequested );
      auto *dialog = showTool<ColorCompositeDialog>( "Tổ hợp màu" );
      const QList<QComboBox *> combos = dialog->findChildren<QComboBox *>( QRegularExpression( "BandComboBox$" ) );
      const auto indexes = [&combos] {
        return QList<int>{ combos[0]->currentIndex(), combos[1]->currentIndex(), combos[2]->currentIndex() };
      };
      for ( int i = 0; i < 3; ++i )
        combos[i]->setCurrentIndex( std::max( 0, shown[i] ) );
      const QList<int> chosen = indexes();
      dialog->findChild<QRadioButton *>( stretch )->setChecked( true );
      auto *store = dialog->findChild<QCheckBox *>( "saveBandIndexesCheckBox" );
      store->setChecked( store->isEnabled() );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QVERIFY( repaints.count() >= 1 );
      QCOMPARE( int( layer->renderer()->minMaxOrigin().limits() ), limits );
      auto *renderer = dynamic_cast<QgsMultiBandColorRenderer *>( layer->renderer() );
      QCOMPARE( !renderer, bands == 1 );
      if ( !renderer )
        return;
      QCOMPARE( ( QList<int>{ renderer->redBand(), renderer->greenBand(), renderer->blueBand() } ), shown );
      // The stretch fits the bands now shown: blue, set last, shows band 2 (2000 to 2393), not band 3 as before.
      const QgsContrastEnhancement *blue = renderer->blueContrastEnhancement();
      if ( limits == QgsRasterMinMaxOrigin::MinMax )
        QCOMPARE( ( QList<double>{ blue->minimumValue(), blue->maximumValue() } ), ( QList<double>{ 2000, 2393 } ) );
      QTRY_VERIFY( !MainWindow::mapCanvas()->isDrawing() );

      // Shown again, the dialog reads the layer's new renderer; fewer than three bands are not worth storing.
      dialog = showTool<ColorCompositeDialog>( "Tổ hợp màu" );
      QCOMPARE( indexes(), chosen );
      QVERIFY( dialog->findChild<QRadioButton *>( stretch )->isChecked() );
      QCOMPARE( store->isEnabled(), bands >= 3 );
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
      auto *dialog = showTool<BrightnessContrastDialog>( "Thay đổi độ sáng/độ tương phản" );
      dialog->findChild<QPushButton *>( "applyButton" )->click(); // without a raster, nothing to change
      QgsRasterLayer *first = addSelected( "first", 3 );
      QgsRasterLayer *second = addSelected( "second", 1 );
      QgsBrightnessContrastFilter *filter = second->brightnessFilter();
      filter->setBrightness( 40 );
      filter->setContrast( -20 );
      showTool<BrightnessContrastDialog>( "Thay đổi độ sáng/độ tương phản" );
      auto *brightnessSlider = dialog->findChild<QSlider *>( "brightnessSlider" );
      auto *contrastSlider = dialog->findChild<QSlider *>( "contrastSlider" );
      QCOMPARE( ( QList<int>{ brightnessSlider->value(), contrastSlider->value() } ), ( QList<int>{ 40, -20 } ) );

      brightnessSlider->setValue( brightness );
      contrastSlider->setValue( contrast );
      QSignalSpy spy( second, &QgsMapLayer::repaintRequested );
      QTest::keyClick( dialog, Qt::Key_Return );
      QCOMPARE( spy.count(), repaints );
      // What the sliders offer, up to their ends, is what the filter keeps.
      QCOMPARE( ( QList<int>{ filter->brightness(), filter->contrast() } ),
                ( QList<int>{ brightnessSlider->value(), contrastSlider->value() } ) );
      QCOMPARE( first->brightnessFilter()->brightness(), 0 );
      // A workspace whose file has gone brings an unreadable layer, which has no filter to read.
      auto invalid = std::make_unique<QgsRasterLayer>( "/no/such.tif", "gone" );
      dialog->currentLayerChanged( invalid.get() );
    }

    void pixelValuesFollowClicksAndDrags_data()
    {
      QTest::addColumn<int>( "column" );
      QTest::addColumn<int>( "row" );
      // For each layer, the top one first: every band's value, then the column and the row.
      QTest::addColumn<QStringList>( "expected" );
      // clang-format off
      QTest::newRow( "no-data corner" ) << 0 << 0 << QStringList{ "1000", "2000", "3000", "0", "0", "Không có dữ liệu", "2", "0", "0" };
      QTest::newRow( "far corner" ) << 19 << 9 << QStringList{ "1393", "2393", "3393", "19", "9", "1.393", "2.393", "19", "9" };
      // clang-format on
    }
    void pixelValuesFollowClicksAndDrags()
    {
      QFETCH( int, column );
      QFETCH( int, row );
      QFETCH( QStringList, expected );
      // No-data is band 1 at pixel (0, 0).
      QgsRasterLayer *floatLayer =
          addRasterLayer( "floats", { 20, 10, 2, GDT_Float32, 32748, 500000, 9000000, 30, true, 1, 0, 0.001 } );
      addRasterLayer( "integers" );
      // Layers in UTM on a Web Mercator canvas: every click is transformed into the layers' CRS.
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:3857" ) );
      mWindow->show();
      QgsMapCanvas *canvas = MainWindow::mapCanvas();
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
      const auto shownValues = [tree]
      {
        QStringList values;
        for ( QTreeWidgetItemIterator it( tree, QTreeWidgetItemIterator::NoChildren ); *it; ++it )
          values << ( *it )->text( 1 );
        return values;
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
      // No-data is band 1 at pixel (0, 0).
      const RasterLayout layout{ 20, 10, 3, GDT_Float32, 32748, 500000, 9000000, 30, true, 500, 0, 0.5 };
      QgsRasterLayer *layer = addSelected( "stats", 3, layout );
      mWindow->rasterStatistics();
      auto *dialog = mWindow->findChild<QDialog *>( "RasterStatisticsDialog" );
      auto *table = dialog->findChild<QTableWidget *>( "statisticsTable" );
      QTRY_COMPARE_WITH_TIMEOUT( table->rowCount(), 3, 20000 );
      const QList<QtCharts::QAbstractSeries *> series =
          dialog->findChild<QtCharts::QChartView *>( "histogramChartView" )->chart()->series();
      QCOMPARE( series.size(), 3 );
      for ( int band = 1; band <= 3; ++band )
      {
        const QVector<double> expected = expectedStatistics( readBand( layer->source(), band ), layout.noData );
        for ( int column = 1; column <= 5; ++column )
          QVERIFY2( near( table->item( band - 1, column )->text().toDouble(), expected[column - 1] ),
                    qPrintable( QStringLiteral( "band %1, column %2" ).arg( band ).arg( column ) ) );
        double histogramCount = 0;
        for ( const QPointF &point : static_cast<QtCharts::QXYSeries *>( series.at( band - 1 ) )->points() )
          histogramCount += point.y();
        QCOMPARE( histogramCount, expected[4] );
      }
      // Kept by GDAL beside the file, and not replaced by QGIS's estimates when the layer closes.
      const QString source = layer->source();
      dialog->close();
      QgsProject::instance()->removeAllMapLayers();
      QFile aux( source + ".aux.xml" );
      QVERIFY( aux.open( QIODevice::ReadOnly ) );
      const QByteArray stored = aux.readAll();
      QCOMPARE( stored.count( "STATISTICS_MEAN" ), 3 );
      QVERIFY( !stored.contains( "STATISTICS_APPROXIMATE" ) );

      QgsFeedback cancelled;
      cancelled.cancel();
      RasterStatistics statistics;
      QCOMPARE( statistics.compute( source, &cancelled ).status, ProcessingResult::Status::Cancelled );
      QCOMPARE( statistics.compute( "/no/such.tif", nullptr ).status, ProcessingResult::Status::ReadFailed );
    }

    void singleBandRampAppliesAndCancelRestores_data()
    {
      QTest::addColumn<int>( "mode" );
      QTest::newRow( "exact" ) << 0;
      QTest::newRow( "one standard deviation" ) << 2;
    }
    void singleBandRampAppliesAndCancelRestores()
    {
      QFETCH( int, mode );
      QgsRasterLayer *layer = addSelected( "ramp", 1 );
      mWindow->singleBandStyle();
      auto *dialog = mWindow->findChild<SingleBandStyleDialog *>();
      dialog->findChild<QDoubleSpinBox *>( "stdDevSpinBox" )->setValue( 1 );
      dialog->findChild<QComboBox *>( "minMaxModeComboBox" )->setCurrentIndex( mode );
      auto *minimum = dialog->findChild<QDoubleSpinBox *>( "minSpinBox" );
      auto *maximum = dialog->findChild<QDoubleSpinBox *>( "maxSpinBox" );
      const QVector<double> e = expectedStatistics( readBand( layer->source(), 1 ), -1 );
      const QList<double> expected =
          mode == 0 ? QList<double>{ e[0], e[1] } : QList<double>{ e[2] - e[3], e[2] + e[3] };
      QVERIFY( near( minimum->value(), expected[0] ) && near( maximum->value(), expected[1] ) );

      dialog->findChild<QPushButton *>( "applyButton" )->click();
      auto *renderer = dynamic_cast<QgsSingleBandPseudoColorRenderer *>( layer->renderer() );
      QVERIFY( renderer );
      QCOMPARE( ( QList<double>{ renderer->classificationMin(), renderer->classificationMax() } ),
                ( QList<double>{ minimum->value(), maximum->value() } ) );

      dialog->findChild<QPushButton *>( "cancelButton" )->click(); // back to the grey the layer opened with
      QVERIFY( dynamic_cast<QgsSingleBandGrayRenderer *>( layer->renderer() ) );
    }

    void bandMathResultOpensWithARamp_data()
    {
      QTest::addColumn<double>( "scale" );
      QTest::addColumn<QString>( "description" );
      QTest::addColumn<QString>( "ramp" );
      // clang-format off
      QTest::newRow( "index" ) << -0.0005 << "" << "RdYlGn";
      QTest::newRow( "reflectance" ) << 1.0 << "" << "Viridis";
      QTest::newRow( "index with outliers" ) << 1.0 << "EVI" << "RdYlGn";
      // clang-format on
    }
    void bandMathResultOpensWithARamp()
    {
      QFETCH( double, scale );
      QFETCH( QString, description );
      QFETCH( QString, ramp );
      RasterLayout layout{ 20, 10, 1, GDT_Float32, 32748, 500000, 9000000, 30, false, 0, 0, scale };
      layout.descriptions = QStringList{ description };
      emit mWindow->findChild<BandMathDialog *>()->complete( absolute( writeRaster( "result.tif", layout ) ) );
      auto *layer = qobject_cast<QgsRasterLayer *>( MainWindow::layerTreeView()->currentLayer() );
      auto *renderer = layer ? dynamic_cast<QgsSingleBandPseudoColorRenderer *>( layer->renderer() ) : nullptr;
      QVERIFY( renderer );
      const auto *shader = dynamic_cast<const QgsColorRampShader *>( renderer->shader()->rasterShaderFunction() );
      std::unique_ptr<QgsColorRamp> wanted( QgsStyle::defaultStyle()->colorRamp( ramp ) );
      QCOMPARE( shader->sourceColorRamp()->properties(), wanted->properties() );
    }
};

RASTOVA_TEST( TestRenderingTools )
#include "TestRenderingTools.moc"
