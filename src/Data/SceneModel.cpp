#include "Data/SceneModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/SceneReader.h"
#include "Tools/RasterStyle.h"

#include <QStandardPaths>

#include <qgslayertree.h>
#include <qgslayertreeview.h>
#include <qgslayertreeviewdefaultactions.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <memory>

namespace
{
void notify( const QString &title, const QString &text, Qgis::MessageLevel level )
{
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( title, text, level, Utils::messageTimeout() );
}

int bandOf( const Scene &scene, const char *description )
{
  for ( int i = 0; i < scene.reflectance.size(); ++i )
  {
    if ( scene.reflectance.at( i ).description == QLatin1String( description ) )
      return i + 1;
  }
  return -1;
}
} // namespace

bool SceneModel::isScene( const QString &path )
{
  return SceneReader::isProduct( path );
}

QString SceneModel::folder()
{
  return QStandardPaths::writableLocation( QStandardPaths::AppDataLocation ) + QStringLiteral( "/scenes" );
}

bool SceneModel::open( const QString &path )
{
  Scene scene;
  const ProcessingResult result = SceneReader::open( path, folder(), scene );
  if ( !result.done() )
  {
    notify( QStringLiteral( "Không mở được sản phẩm vệ tinh" ), QStringLiteral( "%1: %2" ).arg( path, result.reason ),
            Qgis::Critical );
    return false;
  }

  QgsLayerTree *root = QgsProject::instance()->layerTreeRoot();
  QgsLayerTreeGroup *group = root->insertGroup( 0, scene.title );
  group->setCustomProperty( QStringLiteral( "rastova/product" ), path );
  const auto add = [&]( const QString &source, const QString &name, bool visible ) -> QgsRasterLayer *
  {
    if ( source.isEmpty() )
      return nullptr;
    auto layer = std::make_unique<QgsRasterLayer>( source, name, QStringLiteral( "gdal" ) );
    if ( !layer->isValid() )
    {
      scene.problems << QStringLiteral( "không mở được lớp %1" ).arg( name );
      return nullptr;
    }
    QgsProject::instance()->addMapLayer( layer.get(), false );
    group->addLayer( layer.get() )->setItemVisibilityChecked( visible );
    return layer.release();
  };

  QgsRasterLayer *reflectance = add( scene.reflectanceLayer, scene.id, true );
  if ( reflectance && reflectance->bandCount() >= 3 )
    RasterStyle::applyComposite( reflectance, bandOf( scene, "Red" ), bandOf( scene, "Green" ), bandOf( scene, "Blue" ),
                                 QgsRasterMinMaxOrigin::CumulativeCut );
  if ( QgsRasterLayer *thermal = add( scene.thermalLayer, scene.id + QStringLiteral( "_thermal" ), false ) )
    RasterStyle::applyComposite( thermal, -1, -1, -1, QgsRasterMinMaxOrigin::CumulativeCut );
  if ( QgsRasterLayer *mask = add( scene.maskLayer, scene.id + QStringLiteral( "_mask" ), false ) )
    RasterStyle::applyClasses( mask, SceneReader::maskClasses( scene.maskKind ) );

  if ( group->children().isEmpty() )
  {
    root->removeChildNode( group );
    notify( QStringLiteral( "Không mở được sản phẩm vệ tinh" ),
            QStringLiteral( "%1: %2" ).arg( path, scene.problems.join( QStringLiteral( "; " ) ) ), Qgis::Critical );
    return false;
  }
  if ( QgsLayerTreeView *view = MainWindow::layerTreeView() )
  {
    if ( reflectance )
    {
      view->setCurrentLayer( reflectance );
      view->defaultActions()->showInOverview();
    }
  }
  if ( !scene.problems.isEmpty() )
    notify( QStringLiteral( "Sản phẩm vệ tinh thiếu dữ liệu" ),
            QStringLiteral( "%1: %2" ).arg( scene.title, scene.problems.join( QStringLiteral( "; " ) ) ),
            Qgis::Warning );
  return true;
}
