#include "Data/SceneModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/SceneReader.h"
#include "Tools/RasterStyle.h"

#include <QFileInfo>
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

//! The product reference of each scene layer written in this session, by layer path.
QHash<QString, QString> &references()
{
  static QHash<QString, QString> byLayer;
  return byLayer;
}

void remember( const Scene &scene, const QString &product )
{
  const QString absolute = QFileInfo( product ).absoluteFilePath();
  for ( const auto &layer : { std::make_pair( scene.reflectanceLayer, QStringLiteral( "reflectance" ) ),
                              std::make_pair( scene.thermalLayer, QStringLiteral( "thermal" ) ),
                              std::make_pair( scene.maskLayer, QStringLiteral( "mask" ) ) } )
  {
    if ( !layer.first.isEmpty() )
      references().insert( layer.first, SceneReader::reference( absolute, layer.second ) );
  }
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

QString SceneModel::workspacePath( const QString &path )
{
  const QString reference = references().value( path );
  QString kind;
  const QString product = SceneReader::referencedProduct( reference, &kind );
  if ( product.isEmpty() )
    return path;
  // QGIS makes paths relative from the workspace's real folder, so the product is named by its real path too.
  const QString real = QFileInfo( product ).canonicalFilePath();
  return SceneReader::reference( real.isEmpty() ? product : real, kind );
}

QString SceneModel::layerPath( const QString &stored, const QDir &workspaceFolder, QHash<QString, Scene> &opened )
{
  QString kind;
  const QString reference = SceneReader::referencedProduct( stored, &kind );
  if ( reference.isEmpty() )
    return stored;
  const QString product = QDir::cleanPath( workspaceFolder.absoluteFilePath( reference ) );
  if ( !QFileInfo::exists( product ) )
    return product;
  if ( !opened.contains( product ) )
  {
    Scene scene;
    if ( SceneReader::open( product, folder(), scene ).done() )
      remember( scene, product );
    opened.insert( product, scene );
  }
  const Scene &scene = opened[product];
  const QString layer = kind == QLatin1String( "thermal" ) ? scene.thermalLayer
                        : kind == QLatin1String( "mask" )  ? scene.maskLayer
                                                           : scene.reflectanceLayer;
  // A product that no longer gives this layer leaves the reference, which no provider opens.
  return layer.isEmpty() ? SceneReader::reference( product, kind ) : layer;
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
  remember( scene, path );

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
