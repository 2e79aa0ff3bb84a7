#include "Tools/SingleBandStyleDialog.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Tools/RasterStyle.h"

#include <qgscolorramp.h>
#include <qgscoordinatetransform.h>
#include <qgsexception.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsrastershader.h>
#include <qgssinglebandgrayrenderer.h>
#include <qgssinglebandpseudocolorrenderer.h>
#include <qgsstyle.h>

namespace
{
// In the order of the mode box.
const QgsRasterMinMaxOrigin::Limits modes[] = { QgsRasterMinMaxOrigin::MinMax, QgsRasterMinMaxOrigin::CumulativeCut,
                                                QgsRasterMinMaxOrigin::StdDev, QgsRasterMinMaxOrigin::None };
// In the order of the interpolation box.
const QgsColorRampShader::Type interpolations[] = { QgsColorRampShader::Interpolated, QgsColorRampShader::Discrete,
                                                    QgsColorRampShader::Exact };
const QString defaultRamp = QStringLiteral( "Viridis" );

template <typename T, std::size_t N> int indexOf( const T ( &values )[N], T value )
{
  const auto found = std::find( std::begin( values ), std::end( values ), value );
  return found == std::end( values ) ? 0 : static_cast<int>( found - std::begin( values ) );
}

// The canvas's visible extent in the layer's CRS, within the layer; empty when it cannot be worked out.
QgsRectangle visibleExtent( const QgsRasterLayer *layer )
{
  const QgsMapCanvas *canvas = MainWindow::mapCanvas();
  if ( !canvas )
    return QgsRectangle();
  try
  {
    const QgsCoordinateTransform transform( canvas->mapSettings().destinationCrs(), layer->crs(),
                                            QgsProject::instance()->transformContext() );
    return transform.transformBoundingBox( canvas->extent() ).intersect( layer->extent() );
  }
  catch ( const QgsCsException & )
  {
    return QgsRectangle();
  }
}
} // namespace

SingleBandStyleDialog::SingleBandStyleDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  colorRampButton->setShowGradientOnly( true );
  colorRampButton->setColorRampDialogTitle( QStringLiteral( "Dải màu" ) );
  std::unique_ptr<QgsColorRamp> ramp( QgsStyle::defaultStyle()->colorRamp( defaultRamp ) );
  if ( ramp )
    colorRampButton->setDefaultColorRamp( ramp.get() );

  const auto refill = [this] { fillMinMax(); };
  connect( bandComboBox, qOverload<int>( &QComboBox::currentIndexChanged ), this, refill );
  connect( minMaxModeComboBox, qOverload<int>( &QComboBox::currentIndexChanged ), this, refill );
  connect( extentComboBox, qOverload<int>( &QComboBox::currentIndexChanged ), this, refill );
  // Each refill reads the whole band, so typed numbers count once they are complete.
  connect( lowerCutSpinBox, &QDoubleSpinBox::editingFinished, this, refill );
  connect( upperCutSpinBox, &QDoubleSpinBox::editingFinished, this, refill );
  connect( stdDevSpinBox, &QDoubleSpinBox::editingFinished, this, refill );
  connect( interpolationComboBox, qOverload<int>( &QComboBox::currentIndexChanged ), this,
           // Exact colours only one value each, so the classes are the values themselves.
           [this]( int index ) { classesSpinBox->setEnabled( interpolations[index] != QgsColorRampShader::Exact ); } );
  connect( applyButton, &QPushButton::clicked, this, &SingleBandStyleDialog::apply );
  connect( okButton, &QPushButton::clicked, this,
           [this]
           {
             if ( apply() )
               accept();
           } );
  connect( cancelButton, &QPushButton::clicked, this, &SingleBandStyleDialog::reject );
}

SingleBandStyleDialog::~SingleBandStyleDialog() = default;

void SingleBandStyleDialog::showLayer( QgsRasterLayer *layer )
{
  mLayer = layer && layer->isValid() && layer->renderer() ? layer : nullptr;
  mOriginal.reset( mLayer ? mLayer->renderer()->clone() : nullptr );
  mApplied = false;
  noticeLabel->clear();
  layerLabel->setText( mLayer ? mLayer->name() : QString() );
  loadRenderer();
  if ( !mLayer )
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Hãy chọn một raster layer" ) ) );
  show();
}

void SingleBandStyleDialog::loadRenderer()
{
  const QSignalBlocker blockBand( bandComboBox );
  const QSignalBlocker blockMode( minMaxModeComboBox );
  bandComboBox->clear();
  for ( int band = 1; mLayer && band <= mLayer->bandCount(); ++band )
    bandComboBox->addItem( QStringLiteral( "Kênh %1" ).arg( band ), band );

  const auto *pseudo = mLayer ? dynamic_cast<const QgsSingleBandPseudoColorRenderer *>( mLayer->renderer() ) : nullptr;
  const auto *gray = mLayer ? dynamic_cast<const QgsSingleBandGrayRenderer *>( mLayer->renderer() ) : nullptr;
  const QgsColorRampShader *shader =
      pseudo && pseudo->shader() ? dynamic_cast<const QgsColorRampShader *>( pseudo->shader()->rasterShaderFunction() )
                                 : nullptr;
  if ( !shader )
  {
    bandComboBox->setCurrentIndex( gray ? gray->grayBand() - 1 : 0 );
    minMaxModeComboBox->setCurrentIndex( indexOf( modes, QgsRasterMinMaxOrigin::CumulativeCut ) );
    colorRampButton->setColorRampFromName( defaultRamp );
    fillMinMax();
    return;
  }
  // Shown again, the dialog starts from the choice made last time.
  const QgsRasterMinMaxOrigin &origin = pseudo->minMaxOrigin();
  bandComboBox->setCurrentIndex( pseudo->band() - 1 );
  minMaxModeComboBox->setCurrentIndex( indexOf( modes, origin.limits() ) );
  lowerCutSpinBox->setValue( origin.cumulativeCutLower() * 100 );
  upperCutSpinBox->setValue( origin.cumulativeCutUpper() * 100 );
  stdDevSpinBox->setValue( origin.stdDevFactor() );
  extentComboBox->setCurrentIndex( origin.extent() == QgsRasterMinMaxOrigin::WholeRaster ? 0 : 1 );
  minSpinBox->setValue( pseudo->classificationMin() );
  maxSpinBox->setValue( pseudo->classificationMax() );
  interpolationComboBox->setCurrentIndex( indexOf( interpolations, shader->colorRampType() ) );
  if ( shader->classificationMode() == QgsColorRampShader::EqualInterval )
    classesSpinBox->setValue( shader->colorRampItemList().size() );
  if ( shader->sourceColorRamp() )
    colorRampButton->setColorRamp( shader->sourceColorRamp() );
  enableFor( origin.limits() );
}

void SingleBandStyleDialog::enableFor( QgsRasterMinMaxOrigin::Limits limits )
{
  minSpinBox->setEnabled( limits == QgsRasterMinMaxOrigin::None );
  maxSpinBox->setEnabled( limits == QgsRasterMinMaxOrigin::None );
  lowerCutSpinBox->setEnabled( limits == QgsRasterMinMaxOrigin::CumulativeCut );
  upperCutSpinBox->setEnabled( limits == QgsRasterMinMaxOrigin::CumulativeCut );
  stdDevSpinBox->setEnabled( limits == QgsRasterMinMaxOrigin::StdDev );
}

void SingleBandStyleDialog::fillMinMax()
{
  const QgsRasterMinMaxOrigin::Limits limits = modes[std::max( 0, minMaxModeComboBox->currentIndex() )];
  enableFor( limits );
  if ( !mLayer || limits == QgsRasterMinMaxOrigin::None )
    return;

  RasterStyle::Range range;
  range.limits = limits;
  range.lowerCut = lowerCutSpinBox->value() / 100;
  range.upperCut = upperCutSpinBox->value() / 100;
  range.stdDevFactor = stdDevSpinBox->value();
  if ( extentComboBox->currentIndex() == 1 )
  {
    range.extent = visibleExtent( mLayer );
    if ( range.extent.isEmpty() )
    {
      noticeLabel->setText( Utils::errorText( QStringLiteral( "Vùng đang xem không chứa layer này" ) ) );
      return;
    }
  }
  const auto values = RasterStyle::bandRange( mLayer, bandComboBox->currentData().toInt(), range );
  if ( !values )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Kênh này không có giá trị hợp lệ" ) ) );
    return;
  }
  noticeLabel->clear();
  minSpinBox->setValue( values->first );
  maxSpinBox->setValue( values->second );
}

bool SingleBandStyleDialog::apply()
{
  if ( !mLayer )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Hãy chọn một raster layer" ) ) );
    return false;
  }
  if ( minSpinBox->value() >= maxSpinBox->value() )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Giá trị nhỏ nhất phải nhỏ hơn giá trị lớn nhất" ) ) );
    return false;
  }
  std::unique_ptr<QgsColorRamp> ramp( colorRampButton->colorRamp() );
  if ( !ramp )
  {
    noticeLabel->setText( Utils::errorText( QStringLiteral( "Hãy chọn một dải màu" ) ) );
    return false;
  }
  QgsRasterMinMaxOrigin origin;
  origin.setLimits( modes[std::max( 0, minMaxModeComboBox->currentIndex() )] );
  origin.setExtent( extentComboBox->currentIndex() == 0 ? QgsRasterMinMaxOrigin::WholeRaster
                                                        : QgsRasterMinMaxOrigin::CurrentCanvas );
  origin.setStatAccuracy( QgsRasterMinMaxOrigin::Exact );
  origin.setCumulativeCutLower( lowerCutSpinBox->value() / 100 );
  origin.setCumulativeCutUpper( upperCutSpinBox->value() / 100 );
  origin.setStdDevFactor( stdDevSpinBox->value() );
  const QgsColorRampShader::Type interpolation = interpolations[std::max( 0, interpolationComboBox->currentIndex() )];
  const bool applied =
      RasterStyle::applyPseudoColor( mLayer, bandComboBox->currentData().toInt(), minSpinBox->value(),
                                     maxSpinBox->value(), *ramp, interpolation, classesSpinBox->value(), origin );
  mApplied = mApplied || applied;
  noticeLabel->clear();
  return applied;
}

void SingleBandStyleDialog::reject()
{
  if ( mApplied && mLayer && mOriginal )
  {
    mLayer->setRenderer( mOriginal->clone() );
    mLayer->triggerRepaint( false );
  }
  mApplied = false;
  QDialog::reject();
}
