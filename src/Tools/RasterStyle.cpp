#include "Tools/RasterStyle.h"

#include "Processing/IndexPreset.h"
#include "Processing/PixelValues.h"
#include "Processing/Scene.h"

#include <qgsbrightnesscontrastfilter.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgspalettedrasterrenderer.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>
#include <qgsrastershader.h>
#include <qgssinglebandpseudocolorrenderer.h>
#include <qgsstyle.h>

#include <cmath>
#include <memory>

int RasterStyle::setBrightnessContrast( QgsRasterLayer *layer, int brightness, int contrast )
{
  QgsBrightnessContrastFilter *filter = layer && layer->isValid() ? layer->pipe()->brightnessFilter() : nullptr;
  if ( !filter )
    return -1;
  int changed = 0;
  if ( filter->brightness() != brightness )
  {
    filter->setBrightness( brightness );
    layer->triggerRepaint( false );
    ++changed;
  }
  if ( filter->contrast() != contrast )
  {
    filter->setContrast( contrast );
    layer->triggerRepaint( false );
    ++changed;
  }
  return changed;
}

bool RasterStyle::applyComposite( QgsRasterLayer *layer, int red, int green, int blue,
                                  QgsRasterMinMaxOrigin::Limits limits )
{
  if ( !layer || !layer->isValid() )
    return false;
  auto *renderer = dynamic_cast<QgsMultiBandColorRenderer *>( layer->renderer() );
  const bool bandsApplied = renderer && layer->bandCount() >= 2;
  if ( bandsApplied )
  {
    renderer->setRedBand( red );
    renderer->setGreenBand( green );
    renderer->setBlueBand( blue );
  }
  // The stretch is worked out after the bands change, so it fits the bands now shown.
  layer->setContrastEnhancement( QgsContrastEnhancement::StretchToMinimumMaximum, limits, QgsRectangle(),
                                 static_cast<int>( QgsRasterLayer::SAMPLE_SIZE ), true );
  layer->triggerRepaint( false );
  return bandsApplied;
}

std::optional<std::pair<double, double>> RasterStyle::bandRange( QgsRasterLayer *layer, int band, const Range &range )
{
  QgsRasterDataProvider *provider = layer && layer->isValid() ? layer->dataProvider() : nullptr;
  if ( !provider || band < 1 || band > provider->bandCount() )
    return std::nullopt;
  double minimum = 0, maximum = 0;
  switch ( range.limits )
  {
  case QgsRasterMinMaxOrigin::MinMax:
  case QgsRasterMinMaxOrigin::StdDev:
  {
    const QgsRasterBandStats stats = provider->bandStatistics(
        band, QgsRasterBandStats::Min | QgsRasterBandStats::Max | QgsRasterBandStats::Mean | QgsRasterBandStats::StdDev,
        range.extent, range.sampleSize );
    // A band without valid values keeps the inverted defaults.
    if ( !( stats.minimumValue <= stats.maximumValue ) )
      return std::nullopt;
    minimum = stats.minimumValue;
    maximum = stats.maximumValue;
    if ( range.limits == QgsRasterMinMaxOrigin::StdDev )
    {
      minimum = std::max( minimum, stats.mean - range.stdDevFactor * stats.stdDev );
      maximum = std::min( maximum, stats.mean + range.stdDevFactor * stats.stdDev );
    }
    break;
  }
  case QgsRasterMinMaxOrigin::CumulativeCut:
    provider->cumulativeCut( band, range.lowerCut, range.upperCut, minimum, maximum, range.extent, range.sampleSize );
    break;
  case QgsRasterMinMaxOrigin::None:
    return std::nullopt;
  }
  if ( !std::isfinite( minimum ) || !std::isfinite( maximum ) )
    return std::nullopt;
  return std::make_pair( minimum, maximum );
}

bool RasterStyle::applyPseudoColor( QgsRasterLayer *layer, int band, double minimum, double maximum,
                                    const QgsColorRamp &ramp, QgsColorRampShader::Type interpolation, int classes,
                                    const QgsRasterMinMaxOrigin &origin )
{
  QgsRasterDataProvider *provider = layer && layer->isValid() ? layer->dataProvider() : nullptr;
  if ( !provider || band < 1 || band > provider->bandCount() )
    return false;
  auto *colorShader =
      new QgsColorRampShader( minimum, maximum, ramp.clone(), interpolation,
                              classes > 0 ? QgsColorRampShader::EqualInterval : QgsColorRampShader::Continuous );
  colorShader->classifyColorRamp( classes, band, QgsRectangle(), provider );
  auto *shader = new QgsRasterShader( minimum, maximum );
  shader->setRasterShaderFunction( colorShader );
  auto *renderer = new QgsSingleBandPseudoColorRenderer( provider, band, shader );
  renderer->setClassificationMin( minimum );
  renderer->setClassificationMax( maximum );
  renderer->setMinMaxOrigin( origin );
  layer->setRenderer( renderer );
  layer->triggerRepaint( false );
  return true;
}

bool RasterStyle::applyIndexOrPerceptualRamp( QgsRasterLayer *layer )
{
  if ( !layer || !layer->isValid() || layer->bandCount() != 1 )
    return false;
  const std::optional<std::pair<double, double>> extremes = bandRange( layer, 1, Range() );
  if ( !extremes )
    return false;
  // An index's outliers (EVI where its denominator nears zero) must not turn its ramp into a reflectance one.
  const bool index = ( extremes->first >= -1 && extremes->second <= 1 ) ||
                     IndexPreset::named( PixelValues::bandDescription( layer->dataProvider(), 1 ) );
  Range cut;
  cut.limits = QgsRasterMinMaxOrigin::CumulativeCut;
  cut.sampleSize = static_cast<int>( QgsRasterLayer::SAMPLE_SIZE );
  const std::optional<std::pair<double, double>> stretch = bandRange( layer, 1, cut );
  std::unique_ptr<QgsColorRamp> ramp(
      QgsStyle::defaultStyle()->colorRamp( index ? QStringLiteral( "RdYlGn" ) : QStringLiteral( "Viridis" ) ) );
  if ( !stretch || !ramp )
    return false;
  QgsRasterMinMaxOrigin origin;
  origin.setLimits( QgsRasterMinMaxOrigin::CumulativeCut );
  origin.setCumulativeCutLower( cut.lowerCut );
  origin.setCumulativeCutUpper( cut.upperCut );
  origin.setStatAccuracy( QgsRasterMinMaxOrigin::Estimated );
  return applyPseudoColor( layer, 1, stretch->first, stretch->second, *ramp, QgsColorRampShader::Interpolated, 0,
                           origin );
}

bool RasterStyle::applyClasses( QgsRasterLayer *layer, const QVector<SceneMaskClass> &classes )
{
  if ( !layer || !layer->isValid() || classes.isEmpty() )
    return false;
  QgsPalettedRasterRenderer::ClassData data;
  for ( const SceneMaskClass &maskClass : classes )
    data << QgsPalettedRasterRenderer::Class( maskClass.value, maskClass.color, maskClass.name );
  layer->setRenderer( new QgsPalettedRasterRenderer( layer->dataProvider(), 1, data ) );
  layer->triggerRepaint( false );
  return true;
}
