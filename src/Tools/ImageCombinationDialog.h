#pragma once

#include "ui_ImageCombinationDialog.h"

#include <QDialog>

class QgsRasterLayer;
class ToolRun;

/**
 * Stacks the bands of several rasters of the same extent and CRS into one
 * multi-band file, in the order the images are listed. RasterBands does the
 * writing, in the background.
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
    //! Starts writing the bands of \a rasterLayers, in order, to \a output; reports when done.
    void combineImages( const QList<QgsRasterLayer *> &rasterLayers, const QString &output );
    void add();
    void remove();
    void up();
    void down();
    void apply();

  protected:
    void showEvent( QShowEvent *event ) override;
    void closeEvent( QCloseEvent *event ) override;

  private:
    void moveCurrentRow( int step );
    //! Marks every row whose layer an earlier row already lists, in its text and tooltip.
    void markRepeats();
    //! The listed images, in order; empty with the notice shown when any has left the project.
    QList<QgsRasterLayer *> listedLayers();

    ToolRun *mRun = nullptr;
};
