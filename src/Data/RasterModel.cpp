#include "Data/RasterModel.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/GdalFailureCounter.h"
#include "Processing/SafeOutput.h"

#include <QFileDialog>
#include <QFileInfo>

#include <qgsproviderregistry.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>

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

QString RasterModel::driverForTarget( const QString &path, const QString &selectedFilter )
{
  const QList<QgsRasterFileWriter::FilterFormatDetails> formats = QgsRasterFileWriter::supportedFiltersAndFormats();
  const QString suffix = QFileInfo( path ).suffix();
  if ( !suffix.isEmpty() )
  {
    const QString byExtension = QgsRasterFileWriter::driverForExtension( suffix );
    for ( const QgsRasterFileWriter::FilterFormatDetails &format : formats )
    {
      if ( format.driverName == byExtension )
        return byExtension;
    }
  }
  for ( const QgsRasterFileWriter::FilterFormatDetails &format : formats )
  {
    if ( format.filterString == selectedFilter )
      return format.driverName;
  }
  return QString();
}

QgsRasterFileWriter::WriterError RasterModel::writeLayer( QgsRasterLayer *layer, const QString &path,
                                                          const QString &driver )
{
  QgsRasterDataProvider *provider = layer->dataProvider();
  if ( !provider )
    return QgsRasterFileWriter::SourceProviderError;

  // The layer's own pipe ends in its renderer, which would write the styled
  // RGBA picture; a pipe of the bare provider writes the data itself, with its
  // type, bands and no-data.
  QgsRasterPipe pipe;
  if ( !pipe.set( provider->clone() ) )
    return QgsRasterFileWriter::SourceProviderError;

  SafeOutput output( path );
  QgsRasterFileWriter writer( output.temporaryPath() );
  if ( !driver.isEmpty() )
    writer.setOutputFormat( driver );
  QgsRasterFileWriter::WriterError result = QgsRasterFileWriter::NoError;
  {
    // The writer reports a full disk only through GDAL's error handler.
    const GdalFailureCounter failures;
    result = writer.writeRaster( &pipe, layer->width(), layer->height(), layer->extent(), layer->crs(),
                                 provider->transformContext() );
    if ( result == QgsRasterFileWriter::NoError && failures.failures() > 0 )
      result = QgsRasterFileWriter::WriteError;
  }
  QString error;
  if ( result == QgsRasterFileWriter::NoError && !output.commit( &error ) )
  {
    qWarning().noquote() << error;
    return QgsRasterFileWriter::CreateDatasourceError;
  }
  return result;
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
                      [layer]( const QString &target, const QString &filter )
                      { return static_cast<int>( writeLayer( layer, target, driverForTarget( target, filter ) ) ); } );
}
