#include "Data/DataModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/LayerReload.h"
#include "Processing/StreamCheck.h"

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

bool DataModel::addFileToProject( const QString &fileName )
{
  if ( StreamCheck::isStreamOrDevice( fileName ) )
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
                                    const std::function<ProcessingResult( const QString &, const QString & )> &write )
{
  QString selectedFilter;
  const QString target =
      QFileDialog::getSaveFileName( MainWindow::instance(), caption, Utils::rememberedFolder( folderKey ),
                                    filters.join( QStringLiteral( ";;" ) ), &selectedFilter );
  if ( target.isEmpty() )
    return;

  const ProcessingResult result = write( target, selectedFilter );
  if ( result.done() )
  {
    notify( title, QStringLiteral( "Đã lưu thành công: %1. " ).arg( target ), Qgis::Info );
    reloadLayersReading( { target } );
    Utils::rememberFolderOf( folderKey, target );
  }
  else
  {
    qWarning().noquote() << "Export to" << target << "failed:" << result.reason;
    notify( title, QStringLiteral( "Lưu %1 thất bại: %2" ).arg( target, result.reason ), Qgis::Critical );
  }
}

void DataModel::reloadLayersReading( const QStringList &fileNames )
{
  LayerReload::reloadReading( QgsProject::instance()->mapLayers().values(), fileNames );
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
