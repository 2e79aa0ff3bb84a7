#include "Gui/MainWindow.h"

#include "Core/Constants.h"
#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Gui/CanvasBusyIndicator.h"
#include "Gui/LayerPanelMenu.h"
#include "Gui/LayerPanelToolBar.h"
#include "Gui/MenuBar.h"
#include "Gui/MessageBox.h"
#include "Gui/OverviewQueue.h"
#include "Gui/OverviewStatusWidget.h"
#include "Gui/PixelValuesDock.h"
#include "Gui/PixelValuesMapTool.h"
#include "Gui/RecentFiles.h"
#include "Gui/StatusBarCoordinatesWidget.h"
#include "Gui/StatusBarScaleWidget.h"
#include "Gui/ToolBars.h"
#include "Gui/UpdateCheck.h"
#include "Gui/Workspace.h"
#include "Tools/BandMathDialog.h"
#include "Tools/BrightnessContrastDialog.h"
#include "Tools/ColorCompositeDialog.h"
#include "Tools/ImageCombinationDialog.h"
#include "Tools/ImageSeparationDialog.h"
#include "Tools/RasterExportDialog.h"
#include "Tools/RasterStatisticsDialog.h"
#include "Tools/SingleBandStyleDialog.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <qgscoordinateutils.h>
#include <qgsdockwidget.h>
#include <qgslayertree.h>
#include <qgslayertreemapcanvasbridge.h>
#include <qgslayertreemodel.h>
#include <qgslayertreeview.h>
#include <qgslayertreeviewdefaultactions.h>
#include <qgsmapcanvas.h>
#include <qgsmapoverviewcanvas.h>
#include <qgsmaptoolpan.h>
#include <qgsmaptoolzoom.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgsstatusbar.h>

namespace
{
MainWindow *gInstance = nullptr;
constexpr int saveStateVersion = 0;
constexpr int pixelValuesDockHeight = 560;
constexpr int pixelValuesDockWidth = 380;
} // namespace

MainWindow::MainWindow( QWidget *parent )
    : QMainWindow( parent )
{
  setupUi( this );
  setWindowTitle( Constants::applicationName );
  gInstance = this;
  mController = std::make_unique<Controller>();
  setAcceptDrops( true );

  mToolBars = std::make_unique<ToolBars>( this );
  for ( QToolBar *toolBar : mToolBars->toolBars() )
    addToolBar( toolBar );

  mMenuBar = new MenuBar( this );
  mMenuBar->setObjectName( QStringLiteral( "mMenuBar" ) );
  setMenuBar( mMenuBar );
  createCommands();

  createMapCanvas();
  createLayerPanel();
  createOverview();
  createPixelValues();
  createNavigation();
  createStatusBar();
  restoreLayout();
  createRasterTools();
  auto *overviews = new OverviewQueue( this );
  mStatusBar->addPermanentWidget( new OverviewStatusWidget( overviews, mStatusBar ), 0, QgsStatusBar::AnchorLeft );
  mMenuBar->menu( MenuBar::ToolsMenu )->addAction( overviews->autoBuildAction() );

  QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( QStringLiteral( "EPSG:4756" ) ) );
  // The start-up CRS is no change of the user's.
  if ( QgsProject::instance()->count() == 0 )
    QgsProject::instance()->setDirty( false );
  Workspace *workspace = mController->workspace();
  connect( workspace, &Workspace::titleChanged, this, &QWidget::setWindowTitle );
  workspace->trackChanges();

  mUpdateCheck = new UpdateCheck( this );
  QTimer::singleShot( 0, this, &MainWindow::autoCheckForUpdate );
}

MainWindow::~MainWindow()
{
  // The bridge and the map tools work on the canvas, so they go before the widgets do.
  if ( mMapCanvas )
    mMapCanvas->unsetMapTool( mMapCanvas->mapTool() );
  mPixelValuesTool.reset();
  mZoomOutTool.reset();
  mZoomInTool.reset();
  mPanTool.reset();
  mLayerTreeCanvasBridge.reset();
  if ( gInstance == this )
    gInstance = nullptr;
}

MainWindow *MainWindow::instance()
{
  return gInstance;
}

QgsLayerTreeView *MainWindow::layerTreeView()
{
  return gInstance ? gInstance->mLayerTreeView : nullptr;
}

QgsMapCanvas *MainWindow::mapCanvas()
{
  return gInstance ? gInstance->mMapCanvas : nullptr;
}

QgsMessageBar *MainWindow::messageBar()
{
  return gInstance ? gInstance->mMessageBar : nullptr;
}

Controller *MainWindow::controller()
{
  return gInstance ? gInstance->mController.get() : nullptr;
}

bool MainWindow::addLayer( QgsMapLayer *layer )
{
  if ( !gInstance || !layer || !layer->isValid() )
    return false;
  QgsProject::instance()->addMapLayer( layer, true, true );
  gInstance->mLayerTreeView->setCurrentLayer( layer );
  gInstance->mLayerTreeView->defaultActions()->showInOverview();
  return true;
}

void MainWindow::setLocalServer( LocalServer *server )
{
  mLocalServer = server;
  connect( server, &LocalServer::messageFromServer, this, &MainWindow::openFile );
}

void MainWindow::addActionToToolBar( QAction *action, int index )
{
  if ( QToolBar *toolBar = mToolBars->toolBar( index ) )
    toolBar->addAction( action );
}

void MainWindow::openFile( const QString &fileName )
{
  mController->openFileName( fileName );
}

QAction *MainWindow::addCommand( int menu, const QString &text, const QString &icon, const QKeySequence &shortcut,
                                 int toolBar )
{
  QAction *action = icon.isEmpty() ? mMenuBar->menu( menu )->addAction( text )
                                   : mMenuBar->menu( menu )->addAction( Utils::icon( icon ), text );
  action->setShortcut( shortcut );
  if ( toolBar >= 0 )
    addActionToToolBar( action, toolBar );
  return action;
}

void MainWindow::createCommands()
{
  connect( addCommand( MenuBar::FileMenu, QStringLiteral( "Mới" ), QString(), Qt::CTRL | Qt::Key_N ),
           &QAction::triggered, this, &MainWindow::newWorkspace );
  connect( addCommand( MenuBar::FileMenu, QStringLiteral( "Mở dữ liệu..." ), QStringLiteral( "OpenData.svg" ),
                       Qt::CTRL | Qt::Key_O ),
           &QAction::triggered, mController.get(), &Controller::openData );
  Workspace *workspace = mController->workspace();
  connect( addCommand( MenuBar::FileMenu, QStringLiteral( "Mở không gian làm việc..." ),
                       QStringLiteral( "mActionFileOpen.svg" ), Qt::CTRL | Qt::SHIFT | Qt::Key_O ),
           &QAction::triggered, workspace, &Workspace::openChosen );
  QMenu *recent = mMenuBar->menu( MenuBar::FileMenu )->addMenu( QStringLiteral( "Mở gần đây" ) );
  recent->setObjectName( QStringLiteral( "mRecentMenu" ) );
  connect( new RecentFiles( recent ), &RecentFiles::fileChosen, mController.get(), &Controller::openFileName );
  mMenuBar->menu( MenuBar::FileMenu )->addSeparator();
  connect( addCommand( MenuBar::FileMenu, QStringLiteral( "Lưu không gian làm việc" ),
                       QStringLiteral( "mActionFileSave.svg" ), Qt::CTRL | Qt::Key_S ),
           &QAction::triggered, workspace, &Workspace::save );
  connect( addCommand( MenuBar::FileMenu, QStringLiteral( "Lưu không gian làm việc thành..." ),
                       QStringLiteral( "mActionFileSaveAs.svg" ), Qt::CTRL | Qt::SHIFT | Qt::Key_S ),
           &QAction::triggered, workspace, &Workspace::saveAs );
  mMenuBar->menu( MenuBar::FileMenu )->addSeparator();
  connect(
      addCommand( MenuBar::FileMenu, QStringLiteral( "Thoát" ), QStringLiteral( "Exit.svg" ), Qt::ALT | Qt::Key_F4 ),
      &QAction::triggered, this, &QWidget::close );

  connect( addCommand( MenuBar::DataMenu, QStringLiteral( "Thêm raster" ),
                       QStringLiteral( "mActionAddRasterLayer.svg" ), Qt::CTRL | Qt::Key_R, ToolBars::DataBar ),
           &QAction::triggered, mController.get(), &Controller::addRaster );
  connect( addCommand( MenuBar::DataMenu, QStringLiteral( "Thêm vector" ), QStringLiteral( "mActionAddOgrLayer.svg" ),
                       Qt::CTRL | Qt::Key_V, ToolBars::DataBar ),
           &QAction::triggered, mController.get(), &Controller::addVector );
}

void MainWindow::createNavigation()
{
  mPanTool = std::make_unique<QgsMapToolPan>( mMapCanvas );
  mZoomInTool = std::make_unique<QgsMapToolZoom>( mMapCanvas, false );
  mZoomOutTool = std::make_unique<QgsMapToolZoom>( mMapCanvas, true );
  mPixelValuesTool = std::make_unique<PixelValuesMapTool>( mMapCanvas );
  connect( mPixelValuesTool.get(), &PixelValuesMapTool::pointChosen, mPixelValuesDock, &PixelValuesDock::showValuesAt );
  connect( mPixelValuesTool.get(), &QgsMapTool::activated, mPixelValuesDock,
           [this]
           {
             if ( mPixelValuesDock->isHidden() )
             {
               mPixelValuesDock->show();
               // A band list and a spectrum squeezed between the layer panel and the overview would show nothing.
               resizeDocks( { mPixelValuesDock }, { pixelValuesDockHeight }, Qt::Vertical );
               resizeDocks( { mPixelValuesDock }, { pixelValuesDockWidth }, Qt::Horizontal );
             }
             mPixelValuesDock->raise();
           } );

  const auto addTool = [this]( QgsMapTool *tool, const QString &text, const QString &icon, Qt::Key key )
  {
    QAction *action = addCommand( MenuBar::ViewMenu, text, icon, key, ToolBars::ViewBar );
    action->setCheckable( true );
    tool->setAction( action );
    connect( action, &QAction::triggered, this,
             [this, tool]( bool checked )
             {
               if ( checked )
                 mMapCanvas->setMapTool( tool );
               else
                 mMapCanvas->unsetMapTool( tool );
             } );
  };
  addTool( mPanTool.get(), QStringLiteral( "Kéo dịch" ), QStringLiteral( "mActionPan.svg" ), Qt::Key_H );
  addTool( mZoomInTool.get(), QStringLiteral( "Phóng to" ), QStringLiteral( "mActionZoomIn.svg" ), Qt::Key_Z );
  addTool( mZoomOutTool.get(), QStringLiteral( "Thu nhỏ" ), QStringLiteral( "mActionZoomOut.svg" ), Qt::Key_X );
  addTool( mPixelValuesTool.get(), QStringLiteral( "Giá trị điểm ảnh" ), QStringLiteral( "PixelValues.svg" ),
           Qt::Key_I );
  mPixelValuesTool->action()->setObjectName( QStringLiteral( "actionPixelValues" ) );

  QAction *fullExtent = addCommand( MenuBar::ViewMenu, QStringLiteral( "Xem toàn cảnh" ),
                                    QStringLiteral( "mActionZoomFullExtent.svg" ), Qt::Key_F, ToolBars::ViewBar );
  connect( fullExtent, &QAction::triggered, this,
           [this]
           {
             mMapCanvas->unsetMapTool( mMapCanvas->mapTool() );
             mMapCanvas->zoomToFullExtent();
           } );
}

void MainWindow::createRasterTools()
{
  struct Tool
  {
      QString text;
      QString icon;
      void ( MainWindow::*show )();
  };
  const Tool tools[] = {
      { QStringLiteral( "Thay đổi độ sáng/độ tương phản" ), QStringLiteral( "BrightnessContrast.svg" ),
        &MainWindow::changeBrightnessContrast },
      { QStringLiteral( "Tổ hợp màu" ), QStringLiteral( "ColorComposite.svg" ), &MainWindow::colorComposite },
      { QStringLiteral( "Gộp kênh ảnh" ), QStringLiteral( "ImageCombination.svg" ), &MainWindow::combineRasterBand },
      { QStringLiteral( "Tách kênh ảnh" ), QStringLiteral( "ImageSeparation.svg" ), &MainWindow::separateImage },
      { QStringLiteral( "Tính toán kênh ảnh" ), QStringLiteral( "BandMath.svg" ), &MainWindow::bandMath },
      { QStringLiteral( "Cắt và chuyển đổi ảnh..." ), QStringLiteral( "Export.svg" ), &MainWindow::rasterExport },
  };
  mBrightnessContrastDialog = new BrightnessContrastDialog( this );
  mColorCompositeDialog = new ColorCompositeDialog( this );
  mImageCombinationDialog = new ImageCombinationDialog( this );
  mImageSeparationDialog = new ImageSeparationDialog( this );
  mBandMathDialog = new BandMathDialog( this );
  connect( mImageCombinationDialog, &ImageCombinationDialog::complete, mController.get(), &Controller::openFileName );
  connect( mImageSeparationDialog, &ImageSeparationDialog::complete, mController.get(), &Controller::openFileNames );
  connect( mBandMathDialog, &BandMathDialog::complete, mController.get(), &Controller::openBandMathResult );
  mRasterExportDialog = new RasterExportDialog( this );
  connect( mRasterExportDialog, &RasterExportDialog::complete, mController.get(), &Controller::openFileName );
  mRasterStatisticsDialog = new RasterStatisticsDialog( this );
  mSingleBandStyleDialog = new SingleBandStyleDialog( this );
  for ( const Tool &tool : tools )
    connect( addCommand( MenuBar::ToolsMenu, tool.text, tool.icon, QKeySequence(), ToolBars::RasterToolsBar ),
             &QAction::triggered, this, tool.show );
}

void MainWindow::changeBrightnessContrast()
{
  mBrightnessContrastDialog->show();
}

void MainWindow::colorComposite()
{
  mColorCompositeDialog->show();
}

void MainWindow::combineRasterBand()
{
  mImageCombinationDialog->show();
}

void MainWindow::separateImage()
{
  mImageSeparationDialog->show();
}

void MainWindow::bandMath()
{
  mBandMathDialog->show();
}

void MainWindow::rasterExport()
{
  mRasterExportDialog->showLayer( qobject_cast<QgsRasterLayer *>( mLayerTreeView->currentLayer() ) );
}

void MainWindow::rasterStatistics()
{
  mRasterStatisticsDialog->showLayer( qobject_cast<QgsRasterLayer *>( mLayerTreeView->currentLayer() ) );
}

void MainWindow::singleBandStyle()
{
  mSingleBandStyleDialog->showLayer( qobject_cast<QgsRasterLayer *>( mLayerTreeView->currentLayer() ) );
}

void MainWindow::createMapCanvas()
{
  const QColor background( Utils::readSetting( Utils::Keys::canvasRed, 255 ).toInt(),
                           Utils::readSetting( Utils::Keys::canvasGreen, 255 ).toInt(),
                           Utils::readSetting( Utils::Keys::canvasBlue, 255 ).toInt(), 255 );

  mMapCanvas = new QgsMapCanvas( Ui::MainWindowClass::centralWidget );
  mMapCanvas->setObjectName( QStringLiteral( "mMapCanvas" ) );
  mMapCanvas->freeze( false );
  mMapCanvas->setVisible( true );
  mMapCanvas->setCanvasColor( background );
  mMapCanvas->enableAntiAliasing( true );
  connect( QgsProject::instance(), &QgsProject::crsChanged, mMapCanvas,
           [this] { mMapCanvas->setDestinationCrs( QgsProject::instance()->crs() ); } );

  mMessageBar = new QgsMessageBar( Ui::MainWindowClass::centralWidget );
  mMessageBar->setObjectName( QStringLiteral( "mMessageBar" ) );
  mMessageBar->setSizePolicy( QSizePolicy::Minimum, QSizePolicy::Fixed );

  auto *layout = new QGridLayout( Ui::MainWindowClass::centralWidget );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mMapCanvas, 0, 0, 2, 1 );
  layout->addWidget( mMessageBar, 0, 0, 1, 1 );
}

void MainWindow::createLayerPanel()
{
  mLayerPanelDock = new QgsDockWidget( QStringLiteral( "Layers" ), this );
  mLayerPanelDock->setObjectName( QStringLiteral( "mLayerPanelDockWidget" ) );
  mLayerPanelDock->setAllowedAreas( Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea );

  auto *model = new QgsLayerTreeModel( QgsProject::instance()->layerTreeRoot(), this );
  model->setFlag( QgsLayerTreeModel::AllowNodeReorder );
  model->setFlag( QgsLayerTreeModel::AllowNodeRename );
  model->setFlag( QgsLayerTreeModel::AllowNodeChangeVisibility );
  model->setFlag( QgsLayerTreeModel::ShowLegendAsTree );
  model->setFlag( QgsLayerTreeModel::UseEmbeddedWidgets );
  model->setAutoCollapseLegendNodes( 10 );

  mLayerTreeView = new QgsLayerTreeView();
  mLayerTreeView->setObjectName( QStringLiteral( "mLayerTreeView" ) );
  mLayerTreeView->setModel( model );
  mLayerTreeView->setMenuProvider( new LayerPanelMenu( mLayerTreeView, mMapCanvas ) );

  auto *layerToolBar = new LayerPanelToolBar( mLayerTreeView, mController.get() );

  auto *panel = new QWidget();
  auto *panelLayout = new QVBoxLayout( panel );
  panelLayout->setMargin( 0 );
  panelLayout->setContentsMargins( 0, 0, 0, 0 );
  panelLayout->setSpacing( 0 );
  panelLayout->addWidget( layerToolBar );
  panelLayout->addWidget( mLayerTreeView );
  mLayerPanelDock->setWidget( panel );
  addDockWidget( Qt::LeftDockWidgetArea, mLayerPanelDock );

  mLayerTreeCanvasBridge =
      std::make_unique<QgsLayerTreeMapCanvasBridge>( QgsProject::instance()->layerTreeRoot(), mMapCanvas );
  // A workspace brings its own CRS and view: the set-up for a first layer must not replace them.
  connect( QgsProject::instance(), &QgsProject::readProject, this,
           [this]
           {
             mLayerTreeCanvasBridge->setAutoSetupOnFirstLayer( false );
             mLayerTreeCanvasBridge->setCanvasLayers();
             mLayerTreeCanvasBridge->setAutoSetupOnFirstLayer( true );
           } );
  QAction *toggle = mLayerPanelDock->toggleViewAction();
  toggle->setText( QStringLiteral( "Bảng điều khiển layer" ) );
  mMenuBar->menu( MenuBar::WindowMenu )->addAction( toggle );
}

void MainWindow::createOverview()
{
  mOverviewDock = new QgsDockWidget( QStringLiteral( "Tổng quan" ), this );
  mOverviewDock->setObjectName( QStringLiteral( "mOverviewDockWidget" ) );
  mOverviewDock->setAllowedAreas( Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea );
  mOverviewCanvas = new QgsMapOverviewCanvas( nullptr, mMapCanvas );
  mOverviewCanvas->setBackgroundColor( Qt::white );
  mOverviewCanvas->setCursor( Qt::OpenHandCursor );
  // Without a stored layout the layer panel would squeeze the overview to a strip.
  mOverviewCanvas->setMinimumHeight( 160 );
  mOverviewDock->setWidget( mOverviewCanvas );
  addDockWidget( Qt::LeftDockWidgetArea, mOverviewDock );
  mLayerTreeCanvasBridge->setOverviewCanvas( mOverviewCanvas );
  // The overview takes the new CRS but keeps the extent it had in the former one.
  connect( mMapCanvas, &QgsMapCanvas::destinationCrsChanged, mOverviewCanvas,
           [this]
           {
             mOverviewCanvas->updateFullExtent();
             mOverviewCanvas->refresh();
           } );
  QAction *toggle = mOverviewDock->toggleViewAction();
  toggle->setText( QStringLiteral( "Cửa sổ tổng quan" ) );
  mMenuBar->menu( MenuBar::WindowMenu )->addAction( toggle );
}

void MainWindow::createPixelValues()
{
  mPixelValuesDock = new PixelValuesDock( mMapCanvas, this );
  addDockWidget( Qt::LeftDockWidgetArea, mPixelValuesDock );
  splitDockWidget( mLayerPanelDock, mPixelValuesDock, Qt::Vertical );
  // Shown when the tool is first chosen; a stored layout may show it earlier.
  mPixelValuesDock->hide();
  QAction *toggle = mPixelValuesDock->toggleViewAction();
  toggle->setText( QStringLiteral( "Giá trị điểm ảnh" ) );
  mMenuBar->menu( MenuBar::WindowMenu )->addAction( toggle );
}

void MainWindow::createStatusBar()
{
  Ui::MainWindowClass::statusBar->setStyleSheet( QStringLiteral( "QStatusBar::item {border: none;}" ) );
  QFont statusFont = font();
  statusFont.setPointSize( std::max( 8, statusFont.pointSize() - 1 ) );
  Ui::MainWindowClass::statusBar->setFont( statusFont );

  mStatusBar = new QgsStatusBar();
  mStatusBar->setParentStatusBar( Ui::MainWindowClass::statusBar );
  mStatusBar->setFont( statusFont );
  Ui::MainWindowClass::statusBar->addPermanentWidget( mStatusBar, 10 );

  mBusyIndicator = new CanvasBusyIndicator( mStatusBar );
  mStatusBar->addPermanentWidget( mBusyIndicator, 1, QgsStatusBar::AnchorRight );

  mCoordsEdit = new StatusBarCoordinatesWidget( mStatusBar );
  mCoordsEdit->setObjectName( QStringLiteral( "mCoordsEdit" ) );
  mCoordsEdit->setMapCanvas( mMapCanvas );
  mCoordsEdit->setDisplayFont( statusFont );
  mStatusBar->addPermanentWidget( mCoordsEdit, 0, QgsStatusBar::AnchorRight );

  mScaleWidget = new StatusBarScaleWidget( mMapCanvas, mStatusBar );
  mScaleWidget->setObjectName( QStringLiteral( "mScaleWidget" ) );
  mScaleWidget->setDisplayFont( statusFont );
  mStatusBar->addPermanentWidget( mScaleWidget, 0, QgsStatusBar::AnchorRight );

  connect( mMapCanvas, &QgsMapCanvas::renderStarting, this, &MainWindow::canvasRefreshStarted );
  connect( mMapCanvas, &QgsMapCanvas::mapCanvasRefreshed, this, &MainWindow::canvasRefreshFinished );
  connect( mMapCanvas, &QgsMapCanvas::scaleChanged, this, &MainWindow::updateMouseCoordinatePrecision );
  connect( mMapCanvas, &QgsMapCanvas::scaleChanged, mScaleWidget, &StatusBarScaleWidget::showScale );
  connect( QgsProject::instance(), &QgsProject::crsChanged, mCoordsEdit, &StatusBarCoordinatesWidget::updateCrs );
}

void MainWindow::updateMouseCoordinatePrecision()
{
  mCoordsEdit->setMouseCoordinatesPrecision( QgsCoordinateUtils::calculateCoordinatePrecision(
      mMapCanvas->mapUnitsPerPixel(), mMapCanvas->mapSettings().destinationCrs() ) );
}

void MainWindow::restoreLayout()
{
  restoreGeometry( Utils::readSetting( Utils::Keys::windowGeometry ).toByteArray() );
  restoreState( Utils::readSetting( Utils::Keys::windowState ).toByteArray(), saveStateVersion );
  mLayerPanelDock->restoreGeometry( Utils::readSetting( Utils::Keys::layerPanelGeometry ).toByteArray() );
  mOverviewDock->restoreGeometry( Utils::readSetting( Utils::Keys::overviewGeometry ).toByteArray() );
}

void MainWindow::saveLayout()
{
  Utils::writeSetting( Utils::Keys::windowGeometry, saveGeometry() );
  Utils::writeSetting( Utils::Keys::windowState, saveState( saveStateVersion ) );
  Utils::writeSetting( Utils::Keys::layerPanelGeometry, mLayerPanelDock->saveGeometry() );
  Utils::writeSetting( Utils::Keys::overviewGeometry, mOverviewDock->saveGeometry() );
}

void MainWindow::canvasRefreshStarted()
{
  mBusyIndicator->renderStarted();
}

void MainWindow::canvasRefreshFinished()
{
  mBusyIndicator->renderFinished();
}

void MainWindow::newWorkspace()
{
  if ( QgsProject::instance()->count() == 0 ||
       !confirmPuttingAway( QStringLiteral( "Bạn muốn tạo mới không gian làm việc?" ), QStringLiteral( "Rastova.svg" ),
                            QDialogButtonBox::Ok | QDialogButtonBox::Cancel ) )
    return;

  mMapCanvas->freeze( true );
  QgsProject::instance()->removeAllMapLayers();
  // Groups and the workspace file name go too, or the next save would overwrite the old workspace.
  QgsProject::instance()->layerTreeRoot()->removeAllChildren();
  QgsProject::instance()->setFileName( QString() );
  mMapCanvas->freeze( false );
  mMapCanvas->refresh();
  QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( QStringLiteral( "EPSG:4756" ) ) );
  QgsProject::instance()->setDirty( false );
  mCoordsEdit->reset();
  mScaleWidget->reset();
}

void MainWindow::dragEnterEvent( QDragEnterEvent *event )
{
  if ( !event->mimeData()->hasUrls() )
    return;
  for ( const QUrl &url : event->mimeData()->urls() )
  {
    if ( mController->isSupportedPath( url.toLocalFile() ) )
    {
      event->acceptProposedAction();
      return;
    }
  }
}

void MainWindow::dropEvent( QDropEvent *event )
{
  for ( const QUrl &url : event->mimeData()->urls() )
    mController->openFileName( url.toLocalFile() );
}

void MainWindow::autoCheckForUpdate()
{
  mUpdateCheck->fetch();
}

void MainWindow::handleUpdateReply( QNetworkReply *reply )
{
  mUpdateCheck->handleReply( reply );
}

void MainWindow::checkForUpdate()
{
  if ( mUpdateCheck->tellIfUpToDate() || !mController->workspace()->offerToSave() || !mUpdateCheck->handOver() )
    return;
  mQuittingForUpdate = true;
  close();
}

bool MainWindow::confirmPuttingAway( const QString &question, const QString &icon,
                                     QDialogButtonBox::StandardButtons buttons )
{
  if ( Workspace::hasUnsavedChanges() )
    return mController->workspace()->offerToSave();
  MessageBox box( this, Constants::applicationName, question, Utils::iconPath( icon ), buttons );
  return box.exec() == QDialog::Accepted;
}

void MainWindow::closeEvent( QCloseEvent *event )
{
  if ( !mQuittingForUpdate &&
       !confirmPuttingAway( QStringLiteral( "Bạn có thực sự muốn thoát?" ), QStringLiteral( "Exit.svg" ),
                            QDialogButtonBox::Yes | QDialogButtonBox::No ) )
  {
    event->ignore();
    return;
  }
  saveLayout();
  event->accept();
}
