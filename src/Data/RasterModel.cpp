#include "Data/RasterModel.h"

#include "Core/Utils.h"
#include "Processing/RasterExport.h"

#include <QFileInfo>

#include <qgsproviderregistry.h>
#include <qgsrasterfilewriter.h>
#include <qgsrasterlayer.h>

void RasterModel::add()
{
  addChosenFiles( QStringLiteral( "Chọn raster" ), QgsProviderRegistry::instance()->fileRasterFilters(),
                  Utils::Keys::rasterDir, QStringLiteral( "Thêm raster layer thất bại" ) );
}

QgsMapLayer *RasterModel::createLayer( const QString &fileName, const QString & )
{
  // GDAL writes the statistics drawing computes back into a virtual raster
  // opened by its name; opened as vrt:// it stays read-only.
  const QFileInfo file( fileName );
  const bool virtualRaster = file.suffix().compare( QLatin1String( "vrt" ), Qt::CaseInsensitive ) == 0 && file.isFile();
  return new QgsRasterLayer( virtualRaster ? QStringLiteral( "vrt://" ) + fileName : fileName, file.completeBaseName(),
                             providerKey() );
}

QString RasterModel::providerKey() const
{
  return QStringLiteral( "gdal" );
}

QStringList RasterModel::supportedExtensions()
{
  return upperCaseExtensions( QgsProviderRegistry::instance()->fileRasterFilters() );
}

void RasterModel::exportLayer( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsRasterLayer *>( mapLayer );
  if ( !layer )
    return;

  QStringList filters;
  for ( const QgsRasterFileWriter::FilterFormatDetails &format :
        QgsRasterFileWriter::supportedFiltersAndFormats( QgsRasterFileWriter::SortRecommended ) )
    filters << format.filterString;

  exportToChosenFile( QStringLiteral( "Xuất raster" ), filters, Utils::Keys::rasterSaveDir,
                      QStringLiteral( "Lưu raster layer" ),
                      [layer]( const QString &target, const QString &filter ) {
                        return RasterExport::write( layer, target, RasterExport::driverForTarget( target, filter ) );
                      } );
}
