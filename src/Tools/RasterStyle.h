#pragma once

#include <qgscolorrampshader.h>
#include <qgsrasterminmaxorigin.h>
#include <qgsrectangle.h>

#include <QVector>

#include <optional>
#include <utility>

struct SceneMaskClass;
class QgsColorRamp;
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

    //! How the ends of a colour stretch are found.
    struct Range
    {
        QgsRasterMinMaxOrigin::Limits limits = QgsRasterMinMaxOrigin::MinMax;
        //! Fractions (0 to 1) cut off below and above, for a cumulative cut.
        double lowerCut = 0.02;
        double upperCut = 0.98;
        //! How many standard deviations either side of the mean.
        double stdDevFactor = 2;
        //! Part of the layer read, in the layer's CRS; empty for the whole layer.
        QgsRectangle extent;
        //! How many pixels are read at most; 0 reads every one.
        int sampleSize = 0;
    };

    /**
     * The minimum and maximum of band \a band of \a layer as \a range asks,
     * read from the extent's pixels (a sample where \a range says so); nothing when the band holds no valid
     * value there or \a range gives no rule.
     */
    static std::optional<std::pair<double, double>> bandRange( QgsRasterLayer *layer, int band, const Range &range );

    /**
     * Draws band \a band of \a layer with \a ramp stretched from \a minimum to
     * \a maximum: \a classes equal intervals, or the ramp's own stops when
     * \a classes is 0. \a origin is kept with the renderer so the choice can be
     * shown again. False when the layer or band is not usable.
     */
    static bool applyPseudoColor( QgsRasterLayer *layer, int band, double minimum, double maximum,
                                  const QgsColorRamp &ramp, QgsColorRampShader::Type interpolation, int classes,
                                  const QgsRasterMinMaxOrigin &origin = QgsRasterMinMaxOrigin() );

    /**
     * Colours a one-band layer at once: an index (every valid value within
     * -1..1) red-yellow-green, anything else with a perceptual ramp, both
     * stretched to the 2-98 % cumulative cut of a sample, so a large result
     * does not hold the window. False when nothing was applied.
     */
    static bool applyIndexOrPerceptualRamp( QgsRasterLayer *layer );

    //! Draws band 1 of \a layer as \a classes, each value in its colour with its name in the legend.
    static bool applyClasses( QgsRasterLayer *layer, const QVector<SceneMaskClass> &classes );
};
