#include "Data/Controller.h"

#include "Core/Utils.h"
#include "Data/LayerRemover.h"
#include "Data/MetadataViewerDialog.h"
#include "Data/RasterModel.h"
#include "Data/SceneModel.h"
#include "Data/VectorModel.h"
#include "Gui/MainWindow.h"
#include "Gui/RecentFiles.h"
#include "Gui/Workspace.h"
#include "Processing/StreamCheck.h"
#include "Tools/RasterStyle.h"

#include <QFileDialog>
#include <QFileInfo>

#include <qgslayertreeview.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

Controller::Controller()
{
  mRasterModel = std::make_unique<RasterModel>();
  mSceneModel = std::make_unique<SceneModel>();
  mVectorModel = std::make_unique<VectorModel>();
  mLayerRemover = std::make_unique<LayerRemover>();
  mMetadataViewer = std::make_unique<MetadataViewerDialog>();
  mWorkspace = std::make_unique<Workspace>();
}

Controller::~Controller() = default;

bool Controller::isSupportedExtension( const QString &extension )
{
  return extension == QLatin1String( "QGZ" ) || extension == QLatin1String( "QGS" ) ||
         mRasterModel->supportedExtensions().contains( extension ) ||
         mVectorModel->supportedExtensions().contains( extension );
}

bool Controller::isSupportedPath( const QString &path )
{
  return isSupportedExtension( QFileInfo( path ).suffix().toUpper() ) || SceneModel::isScene( path );
}

Workspace *Controller::workspace() const
{
  return mWorkspace.get();
}

void Controller::addRaster()
{
  mRasterModel->add();
}

void Controller::addVector()
{
  mVectorModel->add();
}

void Controller::removeLayers()
{
  mLayerRemover->removeSelected();
}

void Controller::exportData()
{
  QgsLayerTreeView *view = MainWindow::layerTreeView();
  QgsMapLayer *layer = view ? view->currentLayer() : nullptr;
  if ( !layer )
    return;
  if ( layer->type() == QgsMapLayerType::RasterLayer )
    mRasterModel->exportLayer( layer );
  else if ( layer->type() == QgsMapLayerType::VectorLayer )
    mVectorModel->exportLayer( layer );
}

void Controller::showMetadata()
{
  QgsLayerTreeView *view = MainWindow::layerTreeView();
  if ( QgsMapLayer *layer = view ? view->currentLayer() : nullptr )
    mMetadataViewer->showLayerMetadata( layer );
}

void Controller::openData()
{
  const QStringList fileNames = QFileDialog::getOpenFileNames( MainWindow::instance(), QStringLiteral( "Mở dữ liệu" ),
                                                               Utils::rememberedFolder( Utils::Keys::openDataDir ) );
  openFileNames( fileNames );
  if ( !fileNames.isEmpty() )
    Utils::rememberFolderOf( Utils::Keys::openDataDir, fileNames.constFirst() );
}

void Controller::openFileName( const QString &fileName )
{
  openFileNames( { fileName } );
}

void Controller::openFileNames( const QStringList &fileNames )
{
  QStringList failed;
  for ( const QString &fileName : fileNames )
  {
    // A workspace reports its own failures, which say more than the file name.
    if ( Workspace::isWorkspaceFile( fileName ) )
    {
      mWorkspace->open( fileName );
      continue;
    }
    // A satellite product (its metadata file, folder or archive) opens as one scene and names what it lacks.
    if ( SceneModel::isScene( fileName ) )
    {
      if ( mSceneModel->open( fileName ) )
        RecentFiles::add( fileName );
      continue;
    }
    DataModel *model = !StreamCheck::isStreamOrDevice( fileName ) && QgsRasterLayer::isValidRasterFileName( fileName )
                           ? static_cast<DataModel *>( mRasterModel.get() )
                           : mVectorModel.get();
    if ( model->addFileToProject( fileName ) )
      RecentFiles::add( fileName );
    else
      failed << fileName;
  }

  if ( !failed.isEmpty() )
  {
    if ( QgsMessageBar *bar = MainWindow::messageBar() )
      bar->pushMessage( QStringLiteral( "Thêm dữ liệu thất bại" ),
                        QStringLiteral( "Không thể đọc file %1" ).arg( failed.join( QLatin1Char( '|' ) ) ),
                        Qgis::Critical, Utils::messageTimeout() );
  }
}

void Controller::openBandMathResult( const QString &fileName )
{
  // Opening is synchronous, so every layer added meanwhile comes from this file.
  QList<QgsMapLayer *> added;
  const QMetaObject::Connection collect =
      connect( QgsProject::instance(), &QgsProject::layersAdded, this,
               [&added]( const QList<QgsMapLayer *> &layers ) { added += layers; } );
  openFileName( fileName );
  disconnect( collect );
  for ( QgsMapLayer *layer : qAsConst( added ) )
  {
    if ( auto *raster = qobject_cast<QgsRasterLayer *>( layer ) )
      RasterStyle::applyIndexOrPerceptualRamp( raster );
  }
}
