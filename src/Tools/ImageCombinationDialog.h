#pragma once

#include "ui_ImageCombinationDialog.h"

#include <QDialog>

class QgsRasterLayer;

/**
 * Stacks the bands of several rasters of the same extent and CRS into one
 * multi-band file, in the order the images are listed. RasterBands does the
 * writing.
 */
class ImageCombinationDialog : public QDialog, private Ui::ImageCombinationDialog
{
    Q_OBJECT

  public:
    explicit ImageCombinationDialog( QWidget *parent );

  signals:
    //! \a output was written and the user asked for it to be opened.
    void complete( QString output );

  private slots:
    //! Writes the bands of \a rasterLayers, in order, to \a output; false when anything failed.
    bool combineImages( QList<QgsRasterLayer *> rasterLayers, QString output );
    void add();
    void remove();
    void up();
    void down();
    void apply();

  protected:
    void showEvent( QShowEvent *event ) override;

  private:
    void moveCurrentRow( int step );
};
