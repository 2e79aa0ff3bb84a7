#pragma once

#include <qgsrasterminmaxorigin.h>

class QgsRasterLayer;

//! Changes to how a raster layer is drawn; the image data is never touched.
class RasterStyle
{
  public:
    /**
     * Sets the brightness and contrast filter of \a layer, repainting once for
     * each value that changes. Returns how many values changed; -1 when the
     * layer is not valid or has no such filter.
     */
    static int setBrightnessContrast( QgsRasterLayer *layer, int brightness, int contrast );

    /**
     * Shows bands \a red, \a green, \a blue (1-based; -1 for none) when the layer
     * is drawn as a multi-band colour image with at least two bands, then
     * stretches every shown band by \a limits over the whole layer and repaints.
     * Returns false when the band choice could not be applied.
     */
    static bool applyComposite( QgsRasterLayer *layer, int red, int green, int blue,
                                QgsRasterMinMaxOrigin::Limits limits );
};
