#pragma once

#include "Processing/RasterClip.h"
#include "ui_RasterExportDialog.h"

#include <QDialog>
#include <QPointer>

class QgsMapTool;
class QgsMapToolExtent;
class QgsRasterLayer;
class ToolRun;

/**
 * Cuts an area, bands, a CRS and a pixel size out of a raster and writes it
 * compressed: the area is the whole raster, what the map shows, a rectangle
 * drawn on the map or the polygons of a layer. RasterClip does the writing,
 * in the background.
 */
class RasterExportDialog : public QDialog, private Ui::RasterExportDialog
{
    Q_OBJECT

  public:
    explicit RasterExportDialog( QWidget *parent );

    //! Shows the dialog with \a layer chosen, when it is a raster.
    void showLayer( QgsRasterLayer *layer );

  signals:
    //! \a output was written and the user asked for it to be opened.
    void complete( QString output );

  private slots:
    void currentLayerChanged( QgsMapLayer *layer );
    void crsChanged();
    void startDrawing( bool checked );
    void extentDrawn( const QgsRectangle &extent );
    void apply();

  protected:
    void showEvent( QShowEvent *event ) override;
    void closeEvent( QCloseEvent *event ) override;

  private:
    QgsRasterLayer *currentRaster() const;
    //! The request the form describes; false with the notice shown when the form is not complete.
    bool fillRequest( RasterClip::Request &request );
    //! False, with the notice shown, when the user declines clamping values the chosen type cannot hold.
    bool acceptTypeRange( const RasterClip::Request &request );
    void exportRaster( const RasterClip::Request &request );

    ToolRun *mRun = nullptr;
    QgsMapToolExtent *mExtentTool = nullptr;
    QPointer<QgsMapTool> mPreviousTool;
    //! The rectangle drawn on the map, in the map's CRS then.
    QgsRectangle mDrawnExtent;
    QgsCoordinateReferenceSystem mDrawnCrs;
    double mSourceResolution = 0;
    //! Hidden while the user draws on the map: showing again keeps the form as it was.
    bool mDrawing = false;
};
