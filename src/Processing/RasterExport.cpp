#include "Processing/RasterExport.h"

#include "Processing/GdalFailureCounter.h"
#include "Processing/SafeOutput.h"

#include <QFileInfo>

#include <qgsrasterdataprovider.h>
#include <qgsrasterfilewriter.h>
#include <qgsrasterlayer.h>
#include <qgsrasterpipe.h>

namespace
{
QString writerErrorText( QgsRasterFileWriter::WriterError error )
{
  switch ( error )
  {
  case QgsRasterFileWriter::SourceProviderError:
    return QStringLiteral( "cannot read the layer's data" );
  case QgsRasterFileWriter::DestProviderError:
  case QgsRasterFileWriter::CreateDatasourceError:
    return QStringLiteral( "cannot create the file" );
  case QgsRasterFileWriter::WriteError:
    return QStringLiteral( "cannot write the file" );
  case QgsRasterFileWriter::NoDataConflict:
    return QStringLiteral( "conflicting no-data values" );
  case QgsRasterFileWriter::WriteCanceled:
    return QStringLiteral( "cancelled" );
  case QgsRasterFileWriter::NoError:
    break;
  }
  return QString();
}
} // namespace

QString RasterExport::driverForTarget( const QString &path, const QString &selectedFilter )
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

ProcessingResult RasterExport::write( const QgsRasterLayer *layer, const QString &path, const QString &driver )
{
  const QgsRasterDataProvider *provider = layer ? layer->dataProvider() : nullptr;
  if ( !provider )
    return ProcessingResult::failed( QStringLiteral( "the layer has no data" ), ProcessingResult::Status::ReadFailed );

  // The layer's own pipe ends in its renderer, which would write the styled
  // RGBA picture; a pipe of the bare provider writes the data itself, with its
  // type, bands and no-data.
  QgsRasterPipe pipe;
  if ( !pipe.set( provider->clone() ) )
    return ProcessingResult::failed( writerErrorText( QgsRasterFileWriter::SourceProviderError ),
                                     ProcessingResult::Status::ReadFailed );

  SafeOutput output( path );
  QgsRasterFileWriter writer( output.temporaryPath() );
  if ( !driver.isEmpty() )
    writer.setOutputFormat( driver );
  // The writer reports a full disk only through GDAL's error handler.
  const GdalFailureCounter failures;
  QgsRasterFileWriter::WriterError error = writer.writeRaster( &pipe, layer->width(), layer->height(), layer->extent(),
                                                               layer->crs(), provider->transformContext() );
  if ( error == QgsRasterFileWriter::NoError && failures.failures() > 0 )
    error = QgsRasterFileWriter::WriteError;
  if ( error != QgsRasterFileWriter::NoError )
  {
    const QString reason = failures.lastFailure().isEmpty() ? writerErrorText( error ) : failures.lastFailure();
    return ProcessingResult::failed( reason, ProcessingResult::Status::WriteFailed );
  }
  return output.commit();
}
