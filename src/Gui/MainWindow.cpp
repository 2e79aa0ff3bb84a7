#include "Gui/MainWindow.h"

#include "Core/Constants.h"
#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Gui/MenuBar.h"
#include "Gui/MessageBox.h"
#include "Gui/ToolBars.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QMenu>
#include <QProgressBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <qgsdockwidget.h>
#include <qgslayertree.h>
#include <qgslayertreemapcanvasbridge.h>
#include <qgslayertreemodel.h>
#include <qgslayertreeview.h>
#include <qgslayertreeviewdefaultactions.h>
#include <qgsmapcanvas.h>
#include <qgsmapoverviewcanvas.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsstatusbar.h>

namespace
{
MainWindow *gInstance = nullptr;
constexpr int saveStateVersion = 0;
constexpr int delayedIndicatorMs = 500;
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
  createStatusBar();
  restoreLayout();

  QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( QStringLiteral( "EPSG:4756" ) ) );
}

MainWindow::~MainWindow()
{
  // The bridge listens to the canvas, so it goes before the widgets do.
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

void MainWindow::createCommands()
{
  QMenu *fileMenu = mMenuBar->menu( 0 );
  QAction *openData =
      fileMenu->addAction( Utils::icon( QStringLiteral( "OpenData.svg" ) ), QStringLiteral( "Mở dữ liệu..." ) );
  openData->setShortcut( Qt::CTRL | Qt::Key_O );
  connect( openData, &QAction::triggered, mController.get(), &Controller::openData );
  fileMenu->addSeparator();
  QAction *exit = fileMenu->addAction( Utils::icon( QStringLiteral( "Exit.svg" ) ), QStringLiteral( "Thoát" ) );
  exit->setShortcut( Qt::ALT | Qt::Key_F4 );
  connect( exit, &QAction::triggered, this, &QWidget::close );

  QAction *addRaster = mMenuBar->menu( 1 )->addAction( Utils::icon( QStringLiteral( "mActionAddRasterLayer.svg" ) ),
                                                       QStringLiteral( "Thêm raster" ) );
  addRaster->setShortcut( Qt::CTRL | Qt::Key_R );
  connect( addRaster, &QAction::triggered, mController.get(), &Controller::addRaster );
  addActionToToolBar( addRaster, 0 );
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

  auto *layerToolBar = new QToolBar();
  layerToolBar->setObjectName( QStringLiteral( "mLayerPanelToolBar" ) );
  layerToolBar->setIconSize( QSize( 24, 24 ) );

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
  QAction *toggle = mLayerPanelDock->toggleViewAction();
  toggle->setText( QStringLiteral( "Bảng điều khiển layer" ) );
  mMenuBar->menu( 4 )->addAction( toggle );
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
  QAction *toggle = mOverviewDock->toggleViewAction();
  toggle->setText( QStringLiteral( "Cửa sổ tổng quan" ) );
  mMenuBar->menu( 4 )->addAction( toggle );
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

  mProgressBar = new QProgressBar( mStatusBar );
  mProgressBar->setObjectName( QStringLiteral( "mProgressBar" ) );
  mProgressBar->setMaximumWidth( 100 );
  mProgressBar->setMaximumHeight( 18 );
  mProgressBar->hide();
  mStatusBar->addPermanentWidget( mProgressBar, 1, QgsStatusBar::AnchorRight );

  connect( mMapCanvas, &QgsMapCanvas::renderStarting, this, &MainWindow::canvasRefreshStarted );
  connect( mMapCanvas, &QgsMapCanvas::mapCanvasRefreshed, this, &MainWindow::canvasRefreshFinished );
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
  mRefreshTime.restart();
  // Quick renders would only make the indicator flash, so it waits a little for them.
  if ( mLastRenderSeconds > 0 && mLastRenderSeconds < 0.5 )
  {
    mRefreshTimer.setSingleShot( true );
    mRefreshTimer.setInterval( delayedIndicatorMs );
    disconnect( mRefreshTimerConnection );
    mRefreshTimerConnection = connect( &mRefreshTimer, &QTimer::timeout, this, &MainWindow::showBusyIndicator );
    mRefreshTimer.start();
  }
  else
  {
    showBusyIndicator();
  }
}

void MainWindow::showBusyIndicator()
{
  if ( mProgressBar->isHidden() )
    mProgressBar->show();
  mProgressBar->setMaximum( 0 );
  mProgressBar->setValue( -1 );
}

void MainWindow::canvasRefreshFinished()
{
  mRefreshTimer.stop();
  mLastRenderSeconds = mRefreshTime.isValid() ? mRefreshTime.elapsed() / 1000.0 : 0;
  mProgressBar->reset();
  mProgressBar->hide();
}

void MainWindow::closeEvent( QCloseEvent *event )
{
  MessageBox question( this, Constants::applicationName, QStringLiteral( "Bạn có thực sự muốn thoát?" ),
                       Utils::iconPath( QStringLiteral( "Exit.svg" ) ), QDialogButtonBox::Yes | QDialogButtonBox::No );
  if ( question.exec() != QDialog::Accepted )
  {
    event->ignore();
    return;
  }
  saveLayout();
  event->accept();
}
