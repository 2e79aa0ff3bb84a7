#include "Data/DataModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSet>

#include <cpl_minixml.h>
#include <cpl_string.h>

#include <qgsfileutils.h>
#include <qgsmaplayer.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsprovidermetadata.h>
#include <qgsproviderregistry.h>
#include <qgsprovidersublayerdetails.h>
#include <qgsrasterlayer.h>
#include <qgsrasterrenderer.h>

#include <algorithm>
#include <memory>
#include <vector>

QList<QgsMapLayer *> DataModel::createLayers( const QString &fileName )
{
  QList<QgsProviderSublayerDetails> sublayers;
  if ( QgsProviderMetadata *provider = QgsProviderRegistry::instance()->providerMetadata( providerKey() ) )
    sublayers = provider->querySublayers( fileName );

  if ( sublayers.size() == 1 )
  {
    // A file that holds one subdataset only opens through it.
    std::unique_ptr<QgsMapLayer> whole( createLayer( fileName, QString() ) );
    if ( whole->isValid() || sublayers.constFirst().uri() == fileName )
      return { whole.release() };
  }
  else if ( sublayers.isEmpty() )
  {
    return { createLayer( fileName, QString() ) };
  }

  const QString baseName = QFileInfo( fileName ).completeBaseName();
  const QgsProviderSublayerDetails::LayerOptions options( QgsProject::instance()->transformContext() );
  QList<QgsMapLayer *> layers;
  for ( const QgsProviderSublayerDetails &sublayer : qAsConst( sublayers ) )
  {
    QgsMapLayer *layer = sublayer.toLayer( options );
    if ( !layer )
      layer = createLayer( sublayer.uri(), QString() );
    layer->setName( sublayers.size() == 1 ? baseName : QStringLiteral( "%1 — %2" ).arg( baseName, sublayer.name() ) );
    layers << layer;
  }
  return layers;
}

namespace
{
bool isSpecial( const QFileInfo &file )
{
  return file.exists() && !file.isFile() && !file.isDir();
}

bool leadsToStream( const QString &fileName, int depth )
{
  const QFileInfo file( fileName );
  if ( isSpecial( file ) )
    return true;
  if ( !file.isFile() )
    return false;
  const QDir folder = file.absoluteDir();
  const QStringList nearby =
      folder.entryList( { file.fileName() + QStringLiteral( ".*" ), file.completeBaseName() + QStringLiteral( ".*" ) },
                        QDir::AllEntries | QDir::Hidden | QDir::System );
  for ( const QString &name : nearby )
  {
    if ( isSpecial( QFileInfo( folder.filePath( name ) ) ) )
      return true;
  }
  if ( file.suffix().compare( QLatin1String( "vrt" ), Qt::CaseInsensitive ) != 0 || depth > 8 )
    return false;
  CPLXMLNode *root = CPLParseXMLFile( file.absoluteFilePath().toUtf8().constData() );
  if ( !root )
    return false;
  std::vector<CPLXMLNode *> pending{ root };
  bool found = false;
  while ( !pending.empty() && !found )
  {
    CPLXMLNode *node = pending.back();
    pending.pop_back();
    for ( ; node && !found; node = node->psNext )
    {
      if ( node->eType != CXT_Element )
        continue;
      if ( EQUAL( node->pszValue, "SourceFilename" ) )
      {
        const QString source = QString::fromUtf8( CPLGetXMLValue( node, nullptr, "" ) );
        const bool relative = CPLTestBool( CPLGetXMLValue( node, "relativeToVRT", "0" ) );
        found = leadsToStream( relative ? folder.filePath( source ) : source, depth + 1 );
      }
      else if ( node->psChild )
      {
        pending.push_back( node->psChild );
      }
    }
  }
  CPLDestroyXMLNode( root );
  return found;
}
} // namespace

bool DataModel::isStreamOrDevice( const QString &fileName )
{
  return leadsToStream( fileName, 0 );
}

bool DataModel::addFileToProject( const QString &fileName )
{
  if ( isStreamOrDevice( fileName ) )
    return false;
  QList<QgsMapLayer *> layers = createLayers( fileName );
  const bool readable = std::all_of( layers.cbegin(), layers.cend(),
                                     []( const QgsMapLayer *layer ) { return layer && layer->isValid(); } );
  if ( !readable )
  {
    qDeleteAll( layers );
    return false;
  }
  for ( QgsMapLayer *layer : layers )
    MainWindow::addLayer( layer );
  return true;
}

void DataModel::addChosenFiles( const QString &caption, const QString &filter, const Utils::SettingKey &folderKey,
                                const QString &failureTitle )
{
  const QStringList fileNames =
      QFileDialog::getOpenFileNames( MainWindow::instance(), caption, Utils::rememberedFolder( folderKey ), filter );
  for ( const QString &fileName : fileNames )
  {
    if ( !addFileToProject( fileName ) )
      notify( failureTitle, QStringLiteral( "Không thể đọc file %1" ).arg( fileName ), Qgis::Critical );
  }
  if ( !fileNames.isEmpty() )
    Utils::rememberFolderOf( folderKey, fileNames.constFirst() );
}

void DataModel::exportToChosenFile( const QString &caption, const QStringList &filters,
                                    const Utils::SettingKey &folderKey, const QString &title,
                                    const std::function<int( const QString &, const QString & )> &write )
{
  QString selectedFilter;
  const QString target =
      QFileDialog::getSaveFileName( MainWindow::instance(), caption, Utils::rememberedFolder( folderKey ),
                                    filters.join( QStringLiteral( ";;" ) ), &selectedFilter );
  if ( target.isEmpty() )
    return;

  const int result = write( target, selectedFilter );
  if ( result == 0 )
  {
    notify( title, QStringLiteral( "Đã lưu thành công: %1. " ).arg( target ), Qgis::Info );
    reloadLayersReading( { target } );
    Utils::rememberFolderOf( folderKey, target );
  }
  else
  {
    notify( title, QStringLiteral( "Lưu %1 thất bại, mã lỗi %2" ).arg( target ).arg( result ), Qgis::Critical );
  }
}

void DataModel::reloadLayersReading( const QStringList &fileNames )
{
  QSet<QString> files;
  for ( const QString &fileName : fileNames )
    files << QFileInfo( fileName ).absoluteFilePath();
  const QMap<QString, QgsMapLayer *> layers = QgsProject::instance()->mapLayers();
  for ( QgsMapLayer *layer : layers )
  {
    const QString path = QgsProviderRegistry::instance()
                             ->decodeUri( layer->providerType(), layer->source() )
                             .value( QStringLiteral( "path" ) )
                             .toString();
    if ( !path.isEmpty() && files.contains( QFileInfo( path ).absoluteFilePath() ) )
    {
      // A new provider, not reload(): the file may now hold other bands, types or a grid of its own.
      layer->setDataSource( layer->source(), layer->name(), layer->providerType() );
      // A style made for bands the new file lacks cannot draw it: the layer starts afresh.
      const auto *raster = qobject_cast<QgsRasterLayer *>( layer );
      const QList<int> bands = raster && raster->renderer() ? raster->renderer()->usesBands() : QList<int>();
      if ( std::any_of( bands.cbegin(), bands.cend(), [raster]( int band ) { return band > raster->bandCount(); } ) )
        layer->setDataSource( layer->source(), layer->name(), layer->providerType(), true );
      layer->triggerRepaint();
    }
  }
}

void DataModel::notify( const QString &title, const QString &text, Qgis::MessageLevel level )
{
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( title, text, level, Utils::messageTimeout() );
}

QStringList DataModel::upperCaseExtensions( const QString &filter )
{
  QStringList extensions;
  for ( const QString &extension : QgsFileUtils::extensionsFromFilter( filter ) )
  {
    const QString upper = extension.toUpper();
    if ( !extensions.contains( upper ) )
      extensions << upper;
  }
  return extensions;
}
