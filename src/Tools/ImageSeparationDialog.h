#pragma once

#include "ui_ImageSeparationDialog.h"

#include <QDialog>

class QgsMapLayer;
class QgsRasterLayer;
class ToolRun;

/**
 * Splits a multi-band raster into one single-band file per band, in a chosen
 * folder, under names the user can edit. RasterBands does the writing, in the background.
 */
class ImageSeparationDialog : public QDialog, private Ui::ImageSeparationDialog
{
    Q_OBJECT

  public:
    explicit ImageSeparationDialog( QWidget *parent );

    //! Starts writing band i of \a layer to \a fileNames[i - 1]; reports when done, failures also in the log.
    void separateBands( QgsRasterLayer *layer, const QStringList &fileNames );

  signals:
    //! The band files were written, in band order, and the user asked for them to be opened.
    void complete( QStringList fileNames );

  private slots:
    void editBandName();
    void currentLayerChanged( QgsMapLayer *mapLayer );
    void apply();

  protected:
    void showEvent( QShowEvent *event ) override;
    void closeEvent( QCloseEvent *event ) override;

  private:
    //! Offers to make the missing output \a folder, with its parents; false, with the notice shown, when it is not
    //! made.
    bool makeFolder( const QString &folder );

    ToolRun *mRun = nullptr;
};
