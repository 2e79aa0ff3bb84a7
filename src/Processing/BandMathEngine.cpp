#include "Processing/BandMathEngine.h"

#include "Processing/GdalFailureCounter.h"
#include "Processing/GdalSettings.h"
#include "Processing/SafeOutput.h"

#include <QMap>
#include <QtGlobal>

#include <gdal_priv.h>
#include <qgsexception.h>
#include <qgsfeedback.h>
#include <qgsrasterblock.h>
#include <qgsrastercalcnode.h>
#include <qgsrasterdataprovider.h>
#include <qgsrastermatrix.h>
#include <qgsrasterprojector.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <new>
#include <thread>

namespace
{
// The value QgsRasterCalculator declares as the result's no-data.
constexpr float outputNoData = -FLT_MAX;
// About half a million pixels a strip: a few MB per intermediate matrix.
constexpr qint64 stripPixels = 1 << 19;

bool isWhole( double value )
{
  return std::abs( value - std::round( value ) ) < 1e-6;
}
} // namespace

BandMathEngine::BandMathEngine( const BandMath::Request &request, QgsFeedback *feedback )
    : mRequest( request )
    , mFeedback( feedback )
    , mWorkers( std::max( 1, static_cast<int>( request.trees.size() ) ) )
    , mFailedRows( static_cast<std::size_t>( request.inputs.size() ) )
{
  if ( request.columns > 0 && request.rows > 0 )
  {
    mStripRows = static_cast<int>( std::clamp<qint64>( stripPixels / request.columns, 1, request.rows ) );
    mStripCount = ( request.rows + mStripRows - 1 ) / mStripRows;
  }
  for ( const BandMath::Input &input : request.inputs )
  {
    mAligned.push_back( isAligned( input ) );
    mDirect.push_back( mAligned.back() && readsLikeItsProvider( input ) );
    mCoverage.push_back( coverage( input ) );
  }
  mDatasets.resize( static_cast<std::size_t>( mWorkers ),
                    std::vector<std::shared_ptr<void>>( static_cast<std::size_t>( request.inputs.size() ) ) );
}

BandMathEngine::Coverage BandMathEngine::coverage( const BandMath::Input &input ) const
{
  Coverage all{ 0, mRequest.rows, 0, mRequest.columns };
  // A raster in another CRS marks what it does not reach itself, through the projector.
  if ( input.crs != mRequest.crs || input.providers.isEmpty() || mRequest.columns <= 0 || mRequest.rows <= 0 )
    return all;
  const QgsRectangle extent = input.providers.constFirst()->extent();
  const double xRes = mRequest.extent.width() / mRequest.columns;
  const double yRes = mRequest.extent.height() / mRequest.rows;
  // The first column, or row, whose pixel centre lies at or beyond \a edge.
  const auto firstAt = []( double edge, double origin, double step, int count )
  { return static_cast<int>( std::clamp( std::ceil( ( edge - origin ) / step - 0.5 ), 0.0, double( count ) ) ); };
  all.firstColumn = firstAt( extent.xMinimum(), mRequest.extent.xMinimum(), xRes, mRequest.columns );
  all.endColumn = firstAt( extent.xMaximum(), mRequest.extent.xMinimum(), xRes, mRequest.columns );
  all.firstRow = firstAt( mRequest.extent.yMaximum() - extent.yMaximum(), 0, yRes, mRequest.rows );
  all.endRow = firstAt( mRequest.extent.yMaximum() - extent.yMinimum(), 0, yRes, mRequest.rows );
  all.endColumn = std::max( all.endColumn, all.firstColumn );
  all.endRow = std::max( all.endRow, all.firstRow );
  return all;
}

bool BandMathEngine::isAligned( const BandMath::Input &input ) const
{
  if ( input.crs != mRequest.crs || input.providers.isEmpty() || mRequest.columns <= 0 || mRequest.rows <= 0 )
    return false;
  const QgsRasterDataProvider *provider = input.providers.constFirst().get();
  const QgsRectangle extent = provider->extent();
  if ( provider->xSize() <= 0 || provider->ySize() <= 0 )
    return false;
  const double xRes = mRequest.extent.width() / mRequest.columns;
  const double yRes = mRequest.extent.height() / mRequest.rows;
  return std::abs( extent.width() / provider->xSize() - xRes ) <= xRes * 1e-9 &&
         std::abs( extent.height() / provider->ySize() - yRes ) <= yRes * 1e-9 &&
         isWhole( ( extent.xMinimum() - mRequest.extent.xMinimum() ) / xRes ) &&
         isWhole( ( mRequest.extent.yMaximum() - extent.yMaximum() ) / yRes );
}

bool BandMathEngine::readsLikeItsProvider( const BandMath::Input &input ) const
{
  if ( input.providers.isEmpty() )
    return false;
  const QgsRasterDataProvider *provider = input.providers.constFirst().get();
  // Anything the provider does to the values beyond reading them keeps its own path.
  return provider->name() == QLatin1String( "gdal" ) && !provider->dataSourceUri().contains( QLatin1Char( '|' ) ) &&
         provider->dataType( input.band ) == provider->sourceDataType( input.band ) &&
         provider->bandScale( input.band ) == 1 && provider->bandOffset( input.band ) == 0 &&
         provider->userNoDataValues( input.band ).isEmpty();
}

std::unique_ptr<QgsRasterBlock> BandMathEngine::readDirectly( int worker, int input, int firstRow, int rows )
{
  const BandMath::Input &source = mRequest.inputs.at( input );
  QgsRasterDataProvider *provider = source.providers.at( worker ).get();
  std::shared_ptr<void> &dataset = mDatasets[static_cast<std::size_t>( worker )][static_cast<std::size_t>( input )];
  if ( !dataset )
  {
    CPLPushErrorHandler( CPLQuietErrorHandler );
    GDALDatasetH opened = GDALOpenEx( provider->dataSourceUri().toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                      nullptr, nullptr, nullptr );
    CPLPopErrorHandler();
    if ( !opened )
      return nullptr;
    dataset.reset( opened, []( void *handle ) { GDALClose( handle ); } );
  }
  if ( source.band > GDALGetRasterCount( dataset.get() ) )
    return nullptr;
  GDALRasterBandH band = GDALGetRasterBand( dataset.get(), source.band );
  const QgsRectangle extent = provider->extent();
  const double xRes = mRequest.extent.width() / mRequest.columns;
  const double yRes = mRequest.extent.height() / mRequest.rows;
  const int column = static_cast<int>( std::lround( ( mRequest.extent.xMinimum() - extent.xMinimum() ) / xRes ) );
  const int row =
      static_cast<int>( std::lround( ( extent.yMaximum() - mRequest.extent.yMaximum() ) / yRes ) ) + firstRow;
  if ( column < 0 || row < 0 || column + mRequest.columns > GDALGetRasterBandXSize( band ) ||
       row + rows > GDALGetRasterBandYSize( band ) )
    return nullptr;
  const Qgis::DataType type = provider->dataType( source.band );
  if ( static_cast<int>( type ) != static_cast<int>( GDALGetRasterDataType( band ) ) )
    return nullptr;
  auto block = std::make_unique<QgsRasterBlock>( type, mRequest.columns, rows );
  if ( !block->isValid() || GDALRasterIO( band, GF_Read, column, row, mRequest.columns, rows, block->bits(),
                                          mRequest.columns, rows, GDALGetRasterDataType( band ), 0, 0 ) != CE_None )
    return nullptr;
  if ( provider->sourceHasNoDataValue( source.band ) && provider->useSourceNoDataValue( source.band ) )
    block->setNoDataValue( provider->sourceNoDataValue( source.band ) );
  return block;
}

QgsRectangle BandMathEngine::rowsExtent( int firstRow, int rows ) const
{
  // The same arithmetic as QgsRasterCalculator's row rectangles, so resampled reads pick the same source pixels.
  const double rowHeight = mRequest.extent.height() / mRequest.rows;
  QgsRectangle extent( mRequest.extent );
  extent.setYMaximum( extent.yMaximum() - rowHeight * firstRow );
  extent.setYMinimum( extent.yMaximum() - rowHeight * rows );
  return extent;
}

bool BandMathEngine::stopped() const
{
  return mFailure != QgsRasterCalculator::Success || ( mFeedback && mFeedback->isCanceled() );
}

void BandMathEngine::fail( QgsRasterCalculator::Result result )
{
  int expected = QgsRasterCalculator::Success;
  mFailure.compare_exchange_strong( expected, result );
  std::lock_guard<std::mutex> lock( mMutex );
  mChanged.notify_all();
}

std::unique_ptr<QgsRasterBlock> BandMathEngine::readRow( int worker, int input, int row )
{
  const BandMath::Input &source = mRequest.inputs.at( input );
  QgsRasterDataProvider *provider = source.providers.at( worker ).get();
  const QgsRectangle extent = rowsExtent( row, 1 );
  if ( source.crs == mRequest.crs )
    return std::unique_ptr<QgsRasterBlock>( provider->block( source.band, extent, mRequest.columns, 1 ) );
  try
  {
    QgsRasterProjector projector;
    projector.setCrs( source.crs, mRequest.crs, mRequest.transformContext );
    projector.setInput( provider );
    projector.setPrecision( QgsRasterProjector::Exact );
    return std::unique_ptr<QgsRasterBlock>( projector.block( source.band, extent, mRequest.columns, 1 ) );
  }
  catch ( const QgsCsException & )
  {
    return nullptr;
  }
}

std::unique_ptr<QgsRasterBlock> BandMathEngine::readStrip( int worker, int input, int firstRow, int rows )
{
  if ( mDirect[static_cast<std::size_t>( input )] )
  {
    // QGIS's provider costs several times the reading itself; its values are the same.
    if ( std::unique_ptr<QgsRasterBlock> block = readDirectly( worker, input, firstRow, rows ) )
      return block;
  }
  if ( mAligned[static_cast<std::size_t>( input )] )
  {
    const BandMath::Input &source = mRequest.inputs.at( input );
    return std::unique_ptr<QgsRasterBlock>(
        source.providers.at( worker )->block( source.band, rowsExtent( firstRow, rows ), mRequest.columns, rows ) );
  }
  // Resampled and reprojected rows are read one by one, exactly as the calculator reads
  // them; a strip-sized request would choose its source pixels slightly differently.
  // No-data goes in the bitmap only, so it survives whatever the rows declare.
  auto strip = std::make_unique<QgsRasterBlock>( Qgis::DataType::Float64, mRequest.columns, rows );
  for ( int r = 0; r < rows; ++r )
  {
    const std::unique_ptr<QgsRasterBlock> row = readRow( worker, input, firstRow + r );
    const bool usable = row && row->isValid() && row->width() == mRequest.columns && row->height() == 1;
    if ( !usable )
      ++mFailedRows[static_cast<std::size_t>( input )];
    for ( int column = 0; column < mRequest.columns; ++column )
    {
      bool noData = true;
      const double value = usable ? row->valueAndNoData( 0, column, noData ) : 0;
      strip->setValue( r, column, value );
      if ( noData )
        strip->setIsNoData( r, column );
    }
  }
  return strip;
}

QgsRasterCalculator::Result BandMathEngine::computeStrip( int worker, const QgsRasterCalcNode &tree, int strip,
                                                          std::vector<float> &values )
{
  const int firstRow = strip * mStripRows;
  const int rows = std::min( mStripRows, mRequest.rows - firstRow );
  std::vector<std::unique_ptr<QgsRasterBlock>> blocks;
  QMap<QString, QgsRasterBlock *> data;
  for ( int input = 0; input < mRequest.inputs.size(); ++input )
  {
    blocks.push_back( readStrip( worker, input, firstRow, rows ) );
    if ( !blocks.back() || !blocks.back()->isValid() )
      return QgsRasterCalculator::InputLayerError;
    data.insert( mRequest.inputs.at( input ).reference, blocks.back().get() );
  }

  // Row by row, as the calculator evaluates: QGIS 3.22 mishandles a number
  // combined with a matrix of several rows ("1500 - x" only fills the first).
  const std::size_t columns = static_cast<std::size_t>( mRequest.columns );
  values.resize( columns * static_cast<std::size_t>( rows ) );
  for ( int row = 0; row < rows; ++row )
  {
    QgsRasterMatrix result( mRequest.columns, 1, nullptr, outputNoData );
    if ( !tree.calculate( data, result, row ) )
      return QgsRasterCalculator::CalculationError;
    const auto out = values.begin() + static_cast<std::ptrdiff_t>( columns * static_cast<std::size_t>( row ) );
    if ( result.isNumber() )
      std::fill( out, out + mRequest.columns, static_cast<float>( result.number() ) );
    else if ( result.nColumns() != mRequest.columns || result.nRows() != 1 )
      return QgsRasterCalculator::CalculationError;
    else
      std::transform( result.data(), result.data() + columns, out,
                      []( double value ) { return static_cast<float>( value ); } );
  }

  // Where an input has no value the calculator would compute from whatever the
  // block's memory held; the pixel is no-data instead.
  for ( std::size_t input = 0; input < blocks.size(); ++input )
  {
    const QgsRasterBlock &block = *blocks[input];
    const Coverage &coverage = mCoverage[input];
    for ( int row = 0; row < rows; ++row )
    {
      float *out = values.data() + columns * static_cast<std::size_t>( row );
      if ( firstRow + row < coverage.firstRow || firstRow + row >= coverage.endRow )
      {
        std::fill( out, out + columns, outputNoData );
        continue;
      }
      std::fill( out, out + coverage.firstColumn, outputNoData );
      std::fill( out + coverage.endColumn, out + columns, outputNoData );
      if ( !block.hasNoData() )
        continue;
      for ( int column = coverage.firstColumn; column < coverage.endColumn; ++column )
        if ( block.isNoData( row, column ) )
          out[column] = outputNoData;
    }
  }
  return QgsRasterCalculator::Success;
}

void BandMathEngine::work( int worker )
{
  const GdalFailureCounter gdalFailures;
  const QgsRasterCalcNode &tree = *mRequest.trees.at( worker );
  // Enough to keep every worker busy while the writer catches up, few enough to bound memory.
  const int inFlight = 2 * mWorkers;
  for ( ;; )
  {
    const int strip = mNextStrip++;
    if ( strip >= mStripCount )
      return;
    {
      std::unique_lock<std::mutex> lock( mMutex );
      while ( strip >= mWritten + inFlight && !stopped() )
        mChanged.wait_for( lock, std::chrono::milliseconds( 50 ) );
    }
    if ( stopped() )
      return;
    std::vector<float> values;
    QgsRasterCalculator::Result result = QgsRasterCalculator::Success;
    try
    {
      result = computeStrip( worker, tree, strip, values );
    }
    catch ( const std::bad_alloc & )
    {
      result = QgsRasterCalculator::MemoryError;
    }
    catch ( const QgsCsException & )
    {
      result = QgsRasterCalculator::InputLayerError;
    }
    catch ( ... )
    {
      // Nothing may leave a worker thread: it would end the program.
      result = QgsRasterCalculator::CalculationError;
    }
    if ( result == QgsRasterCalculator::Success && gdalFailures.failures() > 0 )
      result = QgsRasterCalculator::InputLayerError;
    if ( result != QgsRasterCalculator::Success )
    {
      fail( result );
      return;
    }
    std::lock_guard<std::mutex> lock( mMutex );
    mDone.emplace( strip, std::move( values ) );
    mChanged.notify_all();
  }
}

QgsRasterCalculator::Result BandMathEngine::run()
{
  if ( mRequest.trees.isEmpty() || mRequest.trees.contains( nullptr ) )
    return QgsRasterCalculator::ParserError;
  for ( const BandMath::Input &input : mRequest.inputs )
    if ( input.providers.size() < mWorkers )
      return QgsRasterCalculator::InputLayerError;
  if ( mStripCount == 0 || mRequest.extent.isEmpty() )
    return QgsRasterCalculator::CreateOutputError;
  GDALDriverH driver = GDALGetDriverByName( mRequest.driver.toUtf8().constData() );
  if ( !driver )
    return QgsRasterCalculator::CreateOutputError;

  GdalSettings::boundBlockCache();

  SafeOutput output( mRequest.outputFile );
  const GdalFailureCounter gdalFailures;
  // Declared after the output, so the file is closed before an unfinished one is removed.
  GDALDatasetUniquePtr dataset(
      GDALDataset::FromHandle( GDALCreate( driver, output.temporaryPath().toUtf8().constData(), mRequest.columns,
                                           mRequest.rows, 1, GDT_Float32, nullptr ) ) );
  if ( !dataset )
    return QgsRasterCalculator::CreateOutputError;
  double transform[6] = { mRequest.extent.xMinimum(),
                          mRequest.extent.width() / mRequest.columns,
                          0,
                          mRequest.extent.yMaximum(),
                          0,
                          -mRequest.extent.height() / mRequest.rows };
  GDALSetGeoTransform( dataset.get(), transform );
  if ( mRequest.crs.isValid() )
    GDALSetProjection( dataset.get(),
                       mRequest.crs.toWkt( QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL ).toUtf8().constData() );
  GDALRasterBandH band = GDALGetRasterBand( dataset.get(), 1 );
  GDALSetRasterNoDataValue( band, outputNoData );

  std::vector<std::thread> workers;
  for ( int worker = 0; worker < mWorkers; ++worker )
    workers.emplace_back( &BandMathEngine::work, this, worker );

  for ( int strip = 0; strip < mStripCount; ++strip )
  {
    std::vector<float> values;
    {
      std::unique_lock<std::mutex> lock( mMutex );
      while ( !mDone.count( strip ) && !stopped() )
        mChanged.wait_for( lock, std::chrono::milliseconds( 50 ) );
      if ( stopped() )
        break;
      values = std::move( mDone[strip] );
      mDone.erase( strip );
    }
    const int firstRow = strip * mStripRows;
    const int rows = std::min( mStripRows, mRequest.rows - firstRow );
    if ( GDALRasterIO( band, GF_Write, 0, firstRow, mRequest.columns, rows, values.data(), mRequest.columns, rows,
                       GDT_Float32, 0, 0 ) != CE_None )
      fail( QgsRasterCalculator::CreateOutputError );
    {
      std::lock_guard<std::mutex> lock( mMutex );
      ++mWritten;
      mChanged.notify_all();
    }
    if ( mFeedback )
      mFeedback->setProgress( 100.0 * ( strip + 1 ) / mStripCount );
  }
  for ( std::thread &worker : workers )
    worker.join();

  if ( mFeedback && mFeedback->isCanceled() )
    return QgsRasterCalculator::Canceled;
  if ( mFailure != QgsRasterCalculator::Success )
    return static_cast<QgsRasterCalculator::Result>( mFailure.load() );
  // A raster that could not be put on the output grid anywhere makes the whole result meaningless.
  for ( const std::atomic<int> &failed : mFailedRows )
    if ( failed == mRequest.rows )
      return QgsRasterCalculator::InputLayerError;
  dataset.reset();
  QString error;
  if ( gdalFailures.failures() > 0 || !output.commit( &error ) )
  {
    if ( !error.isEmpty() )
      qWarning( "Band math: %s", qPrintable( error ) );
    return QgsRasterCalculator::CreateOutputError;
  }
  return QgsRasterCalculator::Success;
}
