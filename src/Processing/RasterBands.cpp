#include "Processing/RasterBands.h"

#include "Processing/GdalFailureCounter.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <gdal.h>
#include <qgsrasterblock.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterfilewriter.h>
#include <qgsrasterlayer.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace
{
// A strip of rows of about this many bytes is read and written at a time.
constexpr qint64 stripBytes = 16 * 1024 * 1024;

int rowsPerStrip( int width, Qgis::DataType type )
{
  const qint64 rowBytes = qMax<qint64>( 1, static_cast<qint64>( width ) * QgsRasterBlock::typeSize( type ) );
  return static_cast<int>( qBound<qint64>( 1, stripBytes / rowBytes, std::numeric_limits<int>::max() ) );
}

/**
 * Keeps GDAL's block cache small while it lives. Written blocks otherwise wait
 * in a cache of 5 % of the machine's memory, which a large stack fills.
 */
class BoundedGdalCache
{
  public:
    BoundedGdalCache()
        : mPrevious( GDALGetCacheMax64() )
    {
      GDALSetCacheMax64( std::min<GIntBig>( mPrevious, cacheBytes ) );
    }
    ~BoundedGdalCache() { GDALSetCacheMax64( mPrevious ); }
    BoundedGdalCache( const BoundedGdalCache & ) = delete;
    BoundedGdalCache &operator=( const BoundedGdalCache & ) = delete;

  private:
    static constexpr GIntBig cacheBytes = 64 * 1024 * 1024;
    GIntBig mPrevious = 0;
};

//! How the no-data pixels of the sources reach the output.
struct NoDataPlan
{
    //! No source band has a no-data value.
    bool none = true;
    //! Every source band shares this one value, written as it is.
    double common = 0;
    //! The values differ, so each band's no-data pixels become NaN in a float output.
    bool toNaN = false;
};

NoDataPlan planNoData( const QList<QgsRasterLayer *> &layers )
{
  NoDataPlan plan;
  bool first = true;
  for ( const QgsRasterLayer *layer : layers )
  {
    const QgsRasterDataProvider *provider = layer->dataProvider();
    for ( int band = 1; band <= provider->bandCount(); ++band )
    {
      const bool has = provider->sourceHasNoDataValue( band );
      const double value = has ? provider->sourceNoDataValue( band ) : 0;
      if ( first )
      {
        plan.none = !has;
        plan.common = value;
        first = false;
      }
      else if ( has == plan.none || ( has && !qgsDoubleNear( value, plan.common ) ) )
      {
        // One file format (GeoTIFF) keeps a single no-data value for all bands, so
        // differing values can only be carried over as NaN.
        plan.toNaN = true;
      }
    }
  }
  return plan;
}

//! Copies band \a sourceBand of \a source, read on the grid of \a extent, into band \a targetBand of \a target.
bool copyBand( QgsRasterDataProvider *source, int sourceBand, const QgsRectangle &extent, int width, int height,
               QgsRasterDataProvider *target, int targetBand, Qgis::DataType targetType, bool noDataToNaN,
               QString *error )
{
  const int strip = rowsPerStrip( width, targetType );
  const double rowHeight = extent.height() / height;
  for ( int top = 0; top < height; top += strip )
  {
    const int rows = std::min( strip, height - top );
    const QgsRectangle stripExtent( extent.xMinimum(), extent.yMaximum() - ( top + rows ) * rowHeight,
                                    extent.xMaximum(), extent.yMaximum() - top * rowHeight );
    std::unique_ptr<QgsRasterBlock> block( source->block( sourceBand, stripExtent, width, rows ) );
    if ( !block || !block->isValid() )
    {
      *error = QStringLiteral( "cannot read band %1 of %2" ).arg( sourceBand ).arg( source->dataSourceUri() );
      return false;
    }
    if ( block->dataType() != targetType && !block->convert( targetType ) )
    {
      *error = QStringLiteral( "cannot convert band %1 of %2" ).arg( sourceBand ).arg( source->dataSourceUri() );
      return false;
    }
    if ( noDataToNaN && block->hasNoDataValue() )
    {
      const qgssize pixels = static_cast<qgssize>( width ) * rows;
      for ( qgssize i = 0; i < pixels; ++i )
      {
        if ( block->isNoData( i ) )
          block->setValue( i, std::numeric_limits<double>::quiet_NaN() );
      }
    }
    if ( !target->writeBlock( block.get(), targetBand, 0, top ) )
    {
      *error = QStringLiteral( "cannot write band %1 of %2" ).arg( targetBand ).arg( target->dataSourceUri() );
      return false;
    }
  }
  return true;
}

bool setNoData( QgsRasterDataProvider *target, int band, double value, QString *error )
{
  if ( target->setNoDataValue( band, value ) )
    return true;
  *error = QStringLiteral( "cannot set the no-data value of band %1 of %2" ).arg( band ).arg( target->dataSourceUri() );
  return false;
}

/**
 * Closes \a written and tells whether everything reached the file; a broken
 * file is removed so that nothing half-written passes for a result.
 */
bool finish( std::unique_ptr<QgsRasterDataProvider> written, bool wroteAll, const GdalFailureCounter &failures,
             int failuresBefore, const QString &path, QString *error )
{
  written.reset(); // closing flushes the last blocks; GDAL reports trouble through the counter
  if ( wroteAll && failures.failures() == failuresBefore )
    return true;
  if ( error->isEmpty() )
    *error = QStringLiteral( "GDAL could not finish writing %1" ).arg( path );
  QFile::remove( path );
  return false;
}

std::unique_ptr<QgsRasterFileWriter> makeWriter( const QString &path, const QString &driver )
{
  auto writer = std::make_unique<QgsRasterFileWriter>( path );
  if ( !driver.isEmpty() )
    writer->setOutputFormat( driver );
  return writer;
}
} // namespace

Qgis::DataType RasterBands::stackDataType( const QList<QgsRasterLayer *> &layers )
{
  GDALDataType type = GDT_Unknown;
  for ( const QgsRasterLayer *layer : layers )
  {
    const QgsRasterDataProvider *provider = layer->dataProvider();
    for ( int band = 1; band <= provider->bandCount(); ++band )
    {
      // Qgis::DataType numbers the GDAL types as GDAL does.
      const auto bandType = static_cast<GDALDataType>( provider->dataType( band ) );
      type = type == GDT_Unknown ? bandType : GDALDataTypeUnion( type, bandType );
    }
  }
  return static_cast<Qgis::DataType>( type );
}

bool RasterBands::stack( const QList<QgsRasterLayer *> &layers, const QString &output, const QString &driver,
                         const Progress &progress, QString *error )
{
  error->clear();
  for ( QgsRasterLayer *layer : layers )
  {
    if ( !layer || !layer->isValid() || !layer->dataProvider() )
    {
      *error = QStringLiteral( "an image to combine is not a valid raster" );
      return false;
    }
  }
  if ( layers.isEmpty() )
  {
    *error = QStringLiteral( "no image to combine" );
    return false;
  }

  const QgsRasterLayer *first = layers.constFirst();
  const int width = first->width();
  const int height = first->height();
  const QgsRectangle extent = first->extent();
  const NoDataPlan noData = planNoData( layers );
  Qgis::DataType type = stackDataType( layers );
  if ( noData.toNaN )
    type = static_cast<Qgis::DataType>( GDALDataTypeUnion( static_cast<GDALDataType>( type ), GDT_Float32 ) );
  int bandTotal = 0;
  for ( const QgsRasterLayer *layer : layers )
    bandTotal += layer->dataProvider()->bandCount();

  const BoundedGdalCache cache;
  const GdalFailureCounter failures;
  const std::unique_ptr<QgsRasterFileWriter> writer = makeWriter( output, driver );
  std::unique_ptr<QgsRasterDataProvider> written(
      writer->createMultiBandRaster( type, width, height, extent, first->crs(), bandTotal ) );
  if ( !written || !written->isValid() )
  {
    *error = QStringLiteral( "cannot create %1" ).arg( output );
    return false;
  }

  bool wroteAll = true;
  int outputBand = 1;
  for ( QgsRasterLayer *layer : layers )
  {
    QgsRasterDataProvider *source = layer->dataProvider();
    for ( int band = 1; wroteAll && band <= source->bandCount(); ++band, ++outputBand )
    {
      wroteAll =
          copyBand( source, band, extent, width, height, written.get(), outputBand, type, noData.toNaN, error ) &&
          ( noData.none ||
            setNoData( written.get(), outputBand,
                       noData.toNaN ? std::numeric_limits<double>::quiet_NaN() : noData.common, error ) ) &&
          failures.failures() == 0;
      if ( wroteAll && progress )
        progress( outputBand * 100 / bandTotal );
    }
  }
  return finish( std::move( written ), wroteAll, failures, 0, output, error );
}

bool RasterBands::split( QgsRasterLayer *layer, const QStringList &outputs, const QString &driver,
                         const Progress &progress, QString *error )
{
  error->clear();
  if ( !layer || !layer->isValid() || !layer->dataProvider() )
  {
    *error = QStringLiteral( "Raster layer isn't valid" );
    return false;
  }
  QgsRasterDataProvider *source = layer->dataProvider();
  const int bandCount = source->bandCount();
  if ( bandCount < 2 )
  {
    *error = QStringLiteral( "BandCount < 2" );
    return false;
  }
  if ( bandCount != outputs.size() )
  {
    *error = QStringLiteral( "BandCount != number of output files" );
    return false;
  }
  QSet<QString> seen;
  for ( const QString &output : outputs )
  {
    const QString path = QFileInfo( output ).absoluteFilePath();
    if ( seen.contains( path ) )
    {
      *error = QStringLiteral( "The output file %1 is named for two bands" ).arg( output );
      return false;
    }
    seen.insert( path );
  }

  const QgsRectangle extent = layer->extent();
  const int width = layer->width();
  const int height = layer->height();
  const BoundedGdalCache cache;
  const GdalFailureCounter failures;
  for ( int band = 1; band <= bandCount; ++band )
  {
    const QString &output = outputs.at( band - 1 );
    const Qgis::DataType type = source->dataType( band );
    const std::unique_ptr<QgsRasterFileWriter> writer = makeWriter( output, driver );
    std::unique_ptr<QgsRasterDataProvider> written(
        writer->createOneBandRaster( type, width, height, extent, layer->crs() ) );
    if ( !written || !written->isValid() )
    {
      *error = QStringLiteral( "cannot create %1" ).arg( output );
      return false;
    }
    const int failuresBefore = failures.failures();
    const bool wroteAll = copyBand( source, band, extent, width, height, written.get(), 1, type, false, error ) &&
                          ( !source->sourceHasNoDataValue( band ) ||
                            setNoData( written.get(), 1, source->sourceNoDataValue( band ), error ) ) &&
                          failures.failures() == failuresBefore;
    if ( !finish( std::move( written ), wroteAll, failures, failuresBefore, output, error ) )
      return false;
    if ( progress )
      progress( band * 100 / bandCount );
  }
  return true;
}
