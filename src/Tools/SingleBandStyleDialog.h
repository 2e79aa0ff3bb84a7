#pragma once

#include "ui_SingleBandStyleDialog.h"

#include <QDialog>
#include <QPointer>

#include <qgsrasterminmaxorigin.h>

#include <memory>

class QgsRasterLayer;
class QgsRasterRenderer;

/**
 * Draws one band of a raster layer with a colour ramp between a minimum and a
 * maximum; "Hủy" gives the layer back the style it had when the dialog opened.
 */
class SingleBandStyleDialog : public QDialog, private Ui::SingleBandStyleDialog
{
    Q_OBJECT

  public:
    explicit SingleBandStyleDialog( QWidget *parent );
    ~SingleBandStyleDialog() override;

    //! Shows the dialog for \a layer, starting from how it is drawn now.
    void showLayer( QgsRasterLayer *layer );

  public slots:
    //! Draws the layer as chosen, keeping the dialog open.
    bool apply();
    //! Puts back the style the layer had when the dialog opened, and closes.
    void reject() override;

  private:
    void loadRenderer();
    void fillMinMax();
    //! Only the fields the min/max mode \a limits reads can be edited.
    void enableFor( QgsRasterMinMaxOrigin::Limits limits );

    QPointer<QgsRasterLayer> mLayer;
    std::unique_ptr<QgsRasterRenderer> mOriginal;
    bool mApplied = false;
};
