#include "Tools/RasterStyle.h"

#include <qgsbrightnesscontrastfilter.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>

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
