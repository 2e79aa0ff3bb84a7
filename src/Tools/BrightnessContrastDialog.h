#pragma once

#include "ui_BrightnessContrastDialog.h"

#include <QDialog>

class QgsMapLayer;

/**
 * Sets how bright and how contrasted a raster layer is drawn, through the
 * layer's brightness/contrast filter; the image data is not touched.
 */
class BrightnessContrastDialog : public QDialog, private Ui::BrightnessContrastDialog
{
    Q_OBJECT

  public:
    explicit BrightnessContrastDialog( QWidget *parent );

  public slots:
    //! Loads \a mapLayer's present brightness and contrast into the controls.
    void currentLayerChanged( QgsMapLayer *mapLayer );
    //! Gives the chosen layer the values shown.
    void apply();

  protected:
    void showEvent( QShowEvent *event ) override;
};
