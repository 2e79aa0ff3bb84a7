#include "Data/Controller.h"

#include "Core/Utils.h"
#include "Data/RasterModel.h"
#include "Gui/MainWindow.h"

#include <QFileDialog>

#include <qgslayertreeview.h>
#include <qgsmessagebar.h>
#include <qgsrasterlayer.h>

Controller::Controller()
    : mRasterModel( std::make_unique<RasterModel>() )
{
}

Controller::~Controller() = default;

bool Controller::isSupportedExtension( const QString &extension )
{
  return mRasterModel->supportedExtensions().contains( extension );
}

void Controller::addRaster()
{
  mRasterModel->add();
}

void Controller::exportData()
{
  QgsLayerTreeView *view = MainWindow::layerTreeView();
  QgsMapLayer *layer = view ? view->currentLayer() : nullptr;
  if ( layer && layer->type() == QgsMapLayerType::RasterLayer )
    mRasterModel->exportLayer( layer );
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
    QgsMapLayer *layer =
        QgsRasterLayer::isValidRasterFileName( fileName ) ? mRasterModel->createLayer( fileName, QString() ) : nullptr;
    if ( !MainWindow::addLayer( layer ) )
    {
      failed << fileName;
      delete layer;
    }
  }

  if ( !failed.isEmpty() )
  {
    if ( QgsMessageBar *bar = MainWindow::messageBar() )
      bar->pushMessage( QStringLiteral( "Thêm dữ liệu thất bại" ),
                        QStringLiteral( "Không thể đọc file %1" ).arg( failed.join( QLatin1Char( '|' ) ) ),
                        Qgis::Critical, Utils::messageTimeout() );
  }
}
