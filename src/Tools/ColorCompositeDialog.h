#pragma once

#include "ui_ColorCompositeDialog.h"

#include <QDialog>

#include <qgsrasterminmaxorigin.h>

class QgsMapLayer;

/**
 * Chooses which bands of a multi-band raster are drawn as red, green and
 * blue, and the stretch they are drawn with. The choice can be stored as the
 * user's default composite and recalled with "Mặc định".
 */
class ColorCompositeDialog : public QDialog, private Ui::ColorCompositeDialogClass
{
    Q_OBJECT

  public:
    explicit ColorCompositeDialog( QWidget *parent );

  public slots:
    //! Shows the stored default composite; nothing is applied until "Đồng ý".
    void defaultSettings();
    //! Fills the band lists and the stretch from \a mapLayer's present renderer.
    void currentLayerChanged( QgsMapLayer *mapLayer );
    //! Draws the chosen layer with the chosen bands and stretch, and stores them when asked.
    void apply();

  protected:
    void showEvent( QShowEvent *event ) override;

  private:
    QgsRasterMinMaxOrigin::Limits chosenLimits() const;
    void checkLimits( int limits );
};
