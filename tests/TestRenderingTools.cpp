#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Gui/MenuBar.h"
#include "TestSupport.h"
#include "Tools/BrightnessContrastDialog.h"
#include "Tools/ColorCompositeDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

#include <qgsbrightnesscontrastfilter.h>
#include <qgscontrastenhancement.h>
#include <qgslayertreeview.h>
#include <qgsmapcanvas.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>
#include <qgssinglebandgrayrenderer.h>

#include <algorithm>

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

void trigger( const QString &text )
{
  for ( QAction *action : MainWindow::instance()->findChild<MenuBar *>()->menu( 3 )->actions() )
    if ( action->text() == text )
      action->trigger();
}

template <typename Dialog> Dialog *show( const QString &command )
{
  trigger( command );
  auto *dialog = MainWindow::instance()->findChild<Dialog *>();
  return dialog && dialog->isVisible() ? dialog : nullptr;
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
      auto *dialog = show<ColorCompositeDialog>( compositeCommand );
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
      dialog = show<ColorCompositeDialog>( compositeCommand );
      QCOMPARE( red->currentIndex(), 4 );
      QVERIFY( dialog->findChild<QRadioButton *>( "minMaxRadioButton" )->isChecked() );
      dialog->close();
    }

    void defaultCompositeIsStoredAndRecalled()
    {
      openRaster( "four.tif", 4 );
      auto *dialog = show<ColorCompositeDialog>( compositeCommand );
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

      dialog = show<ColorCompositeDialog>( compositeCommand );
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
      auto *dialog = show<ColorCompositeDialog>( compositeCommand );
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
      auto *dialog = show<ColorCompositeDialog>( compositeCommand );
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
      auto *dialog = show<BrightnessContrastDialog>( brightnessCommand );
      auto *brightness = dialog->findChild<QSlider *>( "brightnessSlider" );
      auto *contrast = dialog->findChild<QSlider *>( "contrastSlider" );
      auto *brightnessBox = dialog->findChild<QSpinBox *>( "brightnessSpinBox" );
      auto *contrastBox = dialog->findChild<QSpinBox *>( "contrastSpinBox" );
      QCOMPARE( brightness->value(), 40 );
      QCOMPARE( contrastBox->value(), -20 );

      brightnessBox->setValue( 300 );
      QCOMPARE( brightness->value(), 255 );
      contrast->setValue( -100 );
      QCOMPARE( contrastBox->value(), -100 );
      dialog->findChild<QPushButton *>( "contrastDefaultButton" )->click();
      QCOMPARE( contrastBox->value(), 0 );
      QCOMPARE( brightness->value(), 255 );
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
      auto *dialog = show<BrightnessContrastDialog>( brightnessCommand );
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
      auto *brightness = show<BrightnessContrastDialog>( brightnessCommand );
      QVERIFY( brightness );
      brightness->findChild<QPushButton *>( "applyButton" )->click();
      auto *composite = show<ColorCompositeDialog>( compositeCommand );
      composite->findChild<QPushButton *>( "applyButton" )->click();

      // A vector selected in the tree leaves the first raster chosen.
      QgsRasterLayer *raster = openRaster( "kept.tif", 3 );
      MainWindow::controller()->openFileName(
          QDir::current().absoluteFilePath( TestSupport::writeVector( "v.gpkg", "GPKG", { "v" } ) ) );
      QTRY_COMPARE( MainWindow::mapCanvas()->layers().size(), 2 );
      brightness = show<BrightnessContrastDialog>( brightnessCommand );
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
};

RASTOVA_TEST_MAIN( TestRenderingTools )
#include "TestRenderingTools.moc"
