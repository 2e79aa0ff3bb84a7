#pragma once

#include "ui_MainWindow.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMetaObject>
#include <QTimer>

#include <memory>

class Controller;
class LocalServer;
class MenuBar;
class ToolBars;
class QgsDockWidget;
class QgsLayerTreeMapCanvasBridge;
class QgsLayerTreeView;
class QgsMapCanvas;
class QgsMapLayer;
class QgsMapOverviewCanvas;
class QgsMessageBar;
class QgsStatusBar;
class QProgressBar;

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

  public slots:
    void openFile( const QString &fileName );
    void canvasRefreshStarted();
    void canvasRefreshFinished();

  protected:
    void closeEvent( QCloseEvent *event ) override;

  private:
    void createCommands();
    void createMapCanvas();
    void createLayerPanel();
    void createOverview();
    void createStatusBar();
    void restoreLayout();
    void saveLayout();
    void showBusyIndicator();

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

    QElapsedTimer mRefreshTime;
    double mLastRenderSeconds = 0;
    QTimer mRefreshTimer;
    QMetaObject::Connection mRefreshTimerConnection;
    QProgressBar *mProgressBar = nullptr;

    LocalServer *mLocalServer = nullptr;
};
