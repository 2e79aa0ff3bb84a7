#pragma once

#include "ui_MainWindow.h"

#include <QDialogButtonBox>
#include <QMainWindow>

#include <memory>

class BandMathDialog;
class BrightnessContrastDialog;
class CanvasBusyIndicator;
class ColorCompositeDialog;
class Controller;
class ImageCombinationDialog;
class ImageSeparationDialog;
class LocalServer;
class MenuBar;
class PixelValuesDock;
class PixelValuesMapTool;
class RasterExportDialog;
class RasterStatisticsDialog;
class SingleBandStyleDialog;
class ToolBars;
class UpdateCheck;
class QgsDockWidget;
class QgsLayerTreeMapCanvasBridge;
class QgsLayerTreeView;
class QgsMapCanvas;
class QgsMapLayer;
class QgsMapOverviewCanvas;
class QgsMessageBar;
class QgsMapToolPan;
class QgsMapToolZoom;
class QgsStatusBar;
class QNetworkReply;
class StatusBarCoordinatesWidget;
class StatusBarScaleWidget;

/**
 * The one top-level window: map canvas with message bar, layer panel,
 * overview, status bar, menus and tool bars. Other parts of the program reach
 * the workspace through its static accessors.
 */
class MainWindow : public QMainWindow, private Ui::MainWindowClass
{
    Q_OBJECT

  public:
    explicit MainWindow( QWidget *parent = nullptr );
    ~MainWindow() override;

    //! The window, or null before it exists.
    static MainWindow *instance();
    static QgsLayerTreeView *layerTreeView();
    static QgsMapCanvas *mapCanvas();
    static QgsMessageBar *messageBar();
    static Controller *controller();

    //! Adds a valid layer to the project, makes it current and shows it in the overview; false for a null or invalid
    //! layer.
    static bool addLayer( QgsMapLayer *layer );

    //! Files that local clients send through \a server open in this window.
    void setLocalServer( LocalServer *server );
    //! Appends \a action to the tool bar at \a index (0 to 3).
    void addActionToToolBar( QAction *action, int index );

    //! Empties the project after asking, and resets the CRS, coordinates and scale.
    void newWorkspace();
    //! Tells the user when the update manifest in \a reply names a version newer than this one.
    void handleUpdateReply( QNetworkReply *reply );

  public slots:
    void openFile( const QString &fileName );
    void updateMouseCoordinatePrecision();
    void changeBrightnessContrast();
    void colorComposite();
    void combineRasterBand();
    void separateImage();
    void bandMath();
    //! Shows the raster export tool on the current layer.
    void rasterExport();
    //! Statistics and histograms of the layer current in the layer panel.
    void rasterStatistics();
    //! The one-band colour dialog for the layer current in the layer panel.
    void singleBandStyle();
    //! After the user agrees, hands over to the updater and quits; says so and stays when nothing is newer.
    void checkForUpdate();
    //! Asks the update server for its manifest, without waiting for the answer.
    void autoCheckForUpdate();
    void canvasRefreshStarted();
    void canvasRefreshFinished();

  protected:
    void closeEvent( QCloseEvent *event ) override;
    void dragEnterEvent( QDragEnterEvent *event ) override;
    void dropEvent( QDropEvent *event ) override;

  private:
    QAction *addCommand( int menu, const QString &text, const QString &icon, const QKeySequence &shortcut,
                         int toolBar = -1 );
    void createCommands();
    void createNavigation();
    void createRasterTools();
    void createMapCanvas();
    void createLayerPanel();
    void createOverview();
    void createPixelValues();
    void createStatusBar();
    void restoreLayout();
    void saveLayout();
    /**
     * Before the work is put away: with unsaved changes, the offer to save
     * them; otherwise \a question, asked with \a icon and \a buttons. True
     * when the caller may go on.
     */
    bool confirmPuttingAway( const QString &question, const QString &icon, QDialogButtonBox::StandardButtons buttons );

    BrightnessContrastDialog *mBrightnessContrastDialog = nullptr;
    ColorCompositeDialog *mColorCompositeDialog = nullptr;
    ImageCombinationDialog *mImageCombinationDialog = nullptr;
    ImageSeparationDialog *mImageSeparationDialog = nullptr;
    BandMathDialog *mBandMathDialog = nullptr;
    RasterExportDialog *mRasterExportDialog = nullptr;
    RasterStatisticsDialog *mRasterStatisticsDialog = nullptr;
    SingleBandStyleDialog *mSingleBandStyleDialog = nullptr;
    std::unique_ptr<ToolBars> mToolBars;
    std::unique_ptr<Controller> mController;
    MenuBar *mMenuBar = nullptr;
    QgsMessageBar *mMessageBar = nullptr;
    QgsMapCanvas *mMapCanvas = nullptr;
    QgsStatusBar *mStatusBar = nullptr;
    QgsDockWidget *mLayerPanelDock = nullptr;
    QgsLayerTreeView *mLayerTreeView = nullptr;
    std::unique_ptr<QgsLayerTreeMapCanvasBridge> mLayerTreeCanvasBridge;
    QgsDockWidget *mOverviewDock = nullptr;
    QgsMapOverviewCanvas *mOverviewCanvas = nullptr;
    PixelValuesDock *mPixelValuesDock = nullptr;

    CanvasBusyIndicator *mBusyIndicator = nullptr;
    StatusBarCoordinatesWidget *mCoordsEdit = nullptr;
    StatusBarScaleWidget *mScaleWidget = nullptr;

    LocalServer *mLocalServer = nullptr;
    UpdateCheck *mUpdateCheck = nullptr;
    bool mQuittingForUpdate = false;
    std::unique_ptr<QgsMapToolPan> mPanTool;
    std::unique_ptr<QgsMapToolZoom> mZoomInTool;
    std::unique_ptr<QgsMapToolZoom> mZoomOutTool;
    std::unique_ptr<PixelValuesMapTool> mPixelValuesTool;
};
