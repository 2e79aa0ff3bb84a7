#pragma once

#include "Processing/PixelValues.h"
#include "Processing/SpectralProfile.h"
#include "ui_PixelValuesDock.h"

#include <qgsdockwidget.h>
#include <qgspointxy.h>

class QgsMapCanvas;

/**
 * Lists the band values of every visible raster layer at the point last chosen
 * on the map, and draws them as a spectrum (with pinned spectra to compare) and
 * over the dates of the images under the point.
 */
class PixelValuesDock : public QgsDockWidget, private Ui::PixelValuesDock
{
    Q_OBJECT

  public:
    PixelValuesDock( QgsMapCanvas *canvas, QWidget *parent );

  public slots:
    //! Fills the list and the profiles for \a point, given in the canvas's CRS.
    void showValuesAt( const QgsPointXY &point );
    //! Keeps the spectra now shown, up to ten pinned in all.
    void pinProfiles();
    void clearPins();
    //! Asks for a file and writes every spectrum shown into it as CSV.
    void exportProfiles();

  private:
    void fillTree();
    void showSpectra();
    void showHistory();
    void updateButtons();

    QgsMapCanvas *mCanvas = nullptr;
    QList<PixelValues::Layer> mLayers;
    QList<SpectralProfile> mCurrent;
    QList<SpectralProfile> mPinned;
};
