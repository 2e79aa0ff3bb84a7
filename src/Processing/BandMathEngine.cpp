#include "Processing/BandMathEngine.h"

#include "Processing/BandReader.h"
#include "Processing/FeedbackShare.h"
#include "Processing/GdalFailureCounter.h"
#include "Processing/GdalSettings.h"
#include "Processing/OrderedStripWriter.h"
#include "Processing/OverviewBuilder.h"
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

#include <algorithm>
#include <cfloat>
#include <new>
#include <thread>

namespace
{
// The value QgsRasterCalculator declares as the result's no-data.
constexpr float outputNoData = -FLT_MAX;
// About half a million pixels a strip: a few MB per intermediate matrix.
constexpr qint64 stripPixels = 1 << 19;

ProcessingResult cannotRead( const QString &reason )
{
  return ProcessingResult::failed( reason, ProcessingResult::Status::ReadFailed );
}

ProcessingResult cannotWrite( const QString &reason )
{
  return ProcessingResult::failed( reason, ProcessingResult::Status::WriteFailed );
}

ProcessingResult cannotCalculate()
{
  return ProcessingResult::failed( QString(), ProcessingResult::Status::CalculationFailed );
}
} // namespace

BandMathEngine::BandMathEngine( const BandMath::Request &request, QgsFeedback *feedback )
    : mRequest( request )
    , mGrid( request.grid )
    , mFeedback( feedback )
    , mWorkers( std::max( 1, static_cast<int>( request.trees.size() ) ) )
{
  if ( mGrid.width > 0 && mGrid.height > 0 )
  {
    mStripRows = mGrid.stripRows( stripPixels );
    mStripCount = ( mGrid.height + mStripRows - 1 ) / mStripRows;
  }
  for ( const BandMath::Input &input : request.inputs )
    mReaders.push_back( std::make_unique<BandReader>( input, mGrid, request.transformContext, mWorkers ) );
}

BandMathEngine::~BandMathEngine() = default;

ProcessingResult BandMathEngine::computeStrip( int worker, const QgsRasterCalcNode &tree, int strip,
                                               std::vector<float> &values )
{
  const int firstRow = strip * mStripRows;
  const int rows = std::min( mStripRows, mGrid.height - firstRow );
  std::vector<std::unique_ptr<QgsRasterBlock>> blocks;
  QMap<QString, QgsRasterBlock *> data;
  for ( std::size_t input = 0; input < mReaders.size(); ++input )
  {
    blocks.push_back( mReaders[input]->read( worker, firstRow, rows ) );
    const BandMath::Input &source = mRequest.inputs.at( static_cast<int>( input ) );
    if ( !blocks.back() || !blocks.back()->isValid() )
      return cannotRead( QStringLiteral( "cannot read %1" ).arg( source.reference ) );
    data.insert( source.reference, blocks.back().get() );
  }

  // Row by row, as the calculator evaluates: QGIS 3.22 mishandles a number
  // combined with a matrix of several rows ("1500 - x" only fills the first).
  const std::size_t columns = static_cast<std::size_t>( mGrid.width );
  values.resize( columns * static_cast<std::size_t>( rows ) );
  for ( int row = 0; row < rows; ++row )
  {
    QgsRasterMatrix result( mGrid.width, 1, nullptr, outputNoData );
    if ( !tree.calculate( data, result, row ) )
      return cannotCalculate();
    const auto out = values.begin() + static_cast<std::ptrdiff_t>( columns * static_cast<std::size_t>( row ) );
    if ( result.isNumber() )
      std::fill( out, out + mGrid.width, static_cast<float>( result.number() ) );
    else if ( result.nColumns() != mGrid.width || result.nRows() != 1 )
      return cannotCalculate();
    else
      std::transform( result.data(), result.data() + columns, out,
                      []( double value ) { return static_cast<float>( value ); } );
  }

  // Where an input has no value the calculator would compute from whatever the
  // block's memory held; the pixel is no-data instead.
  for ( std::size_t input = 0; input < blocks.size(); ++input )
  {
    const QgsRasterBlock &block = *blocks[input];
    const BandReader::Coverage &coverage = mReaders[input]->coverage();
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
  return {};
}

void BandMathEngine::work( int worker, OrderedStripWriter &writer )
{
  const GdalFailureCounter gdalFailures;
  const QgsRasterCalcNode &tree = *mRequest.trees.at( worker );
  for ( ;; )
  {
    const int strip = mNextStrip++;
    if ( strip >= mStripCount || !writer.waitForRoom( strip ) )
      return;
    std::vector<float> values;
    ProcessingResult result;
    try
    {
      result = computeStrip( worker, tree, strip, values );
    }
    catch ( const std::bad_alloc & )
    {
      result = ProcessingResult::failed( QString(), ProcessingResult::Status::OutOfMemory );
    }
    catch ( const QgsCsException &exception )
    {
      result = cannotRead( exception.what() );
    }
    catch ( ... )
    {
      // Nothing may leave a worker thread: it would end the program.
      result = cannotCalculate();
    }
    if ( result.done() && gdalFailures.failures() > 0 )
      result = cannotRead( gdalFailures.lastFailure() );
    if ( !result.done() )
    {
      writer.fail( result );
      return;
    }
    writer.deliver( strip, std::move( values ) );
  }
}

ProcessingResult BandMathEngine::run()
{
  if ( mRequest.trees.isEmpty() || mRequest.trees.contains( nullptr ) )
    return ProcessingResult::failed( QString(), ProcessingResult::Status::InvalidExpression );
  for ( const BandMath::Input &input : mRequest.inputs )
    if ( input.providers.size() < mWorkers )
      return cannotRead( QStringLiteral( "cannot read %1" ).arg( input.reference ) );
  if ( mStripCount == 0 || mGrid.extent.isEmpty() )
    return cannotWrite( QStringLiteral( "the output has no pixels" ) );
  GDALDriverH driver = GDALGetDriverByName( mRequest.driver.toUtf8().constData() );
  if ( !driver )
    return cannotWrite( QStringLiteral( "no GDAL driver %1" ).arg( mRequest.driver ) );

  GdalSettings::boundBlockCache();

  SafeOutput output( mRequest.outputFile );
  const GdalFailureCounter gdalFailures;
  char **options = CreationOptions::toGdal(
      CreationOptions::forDriver( mRequest.driver, mRequest.compression, GDT_Float32, mGrid.width, mGrid.height ) );
  // Declared after the output, so the file is closed before an unfinished one is removed.
  GDALDatasetUniquePtr dataset( GDALDataset::FromHandle( GDALCreate(
      driver, output.temporaryPath().toUtf8().constData(), mGrid.width, mGrid.height, 1, GDT_Float32, options ) ) );
  CSLDestroy( options );
  if ( !dataset )
    return cannotWrite( gdalFailures.lastFailure() );
  double transform[6] = { mGrid.extent.xMinimum(), mGrid.pixelWidth(), 0, mGrid.extent.yMaximum(), 0,
                          -mGrid.pixelHeight() };
  GDALSetGeoTransform( dataset.get(), transform );
  if ( mGrid.crs.isValid() )
    GDALSetProjection( dataset.get(),
                       mGrid.crs.toWkt( QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL ).toUtf8().constData() );
  GDALRasterBandH band = GDALGetRasterBand( dataset.get(), 1 );
  GDALSetRasterNoDataValue( band, outputNoData );
  if ( !mRequest.description.isEmpty() )
    GDALSetDescription( band, mRequest.description.toUtf8().constData() );

  // Enough to keep every worker busy while the writer catches up, few enough to bound memory.
  const double writingShare = OverviewBuilder::writingShare( mGrid.width, mGrid.height, mRequest.overviewThreshold );
  FeedbackShare writing( mFeedback, 0, writingShare );
  OrderedStripWriter writer( mStripCount, 2 * mWorkers, &writing );
  std::vector<std::thread> workers;
  for ( int worker = 0; worker < mWorkers; ++worker )
    workers.emplace_back( &BandMathEngine::work, this, worker, std::ref( writer ) );
  writer.writeAll(
      [this, band]( int strip, const std::vector<float> &values )
      {
        const int firstRow = strip * mStripRows;
        const int rows = std::min( mStripRows, mGrid.height - firstRow );
        return GDALRasterIO( band, GF_Write, 0, firstRow, mGrid.width, rows, const_cast<float *>( values.data() ),
                             mGrid.width, rows, GDT_Float32, 0, 0 ) == CE_None;
      },
      cannotWrite( QStringLiteral( "cannot write %1" ).arg( mRequest.outputFile ) ) );
  for ( std::thread &worker : workers )
    worker.join();

  if ( mFeedback && mFeedback->isCanceled() )
    return ProcessingResult::cancelled();
  ProcessingResult failure = writer.failure();
  if ( !failure.done() )
  {
    if ( failure.status == ProcessingResult::Status::WriteFailed && !gdalFailures.lastFailure().isEmpty() )
      failure.reason = gdalFailures.lastFailure();
    return failure;
  }
  // A raster that could not be put on the output grid anywhere makes the whole result meaningless.
  for ( std::size_t input = 0; input < mReaders.size(); ++input )
    if ( mReaders[input]->failedEverywhere() )
      return cannotRead( QStringLiteral( "%1 cannot be put on the output grid" )
                             .arg( mRequest.inputs.at( static_cast<int>( input ) ).reference ) );
  dataset.reset();
  if ( gdalFailures.failures() > 0 )
    return cannotWrite( gdalFailures.lastFailure() );
  FeedbackShare overviews( mFeedback, writingShare, 100 );
  const ProcessingResult overviewed =
      OverviewBuilder::addToWritten( output.temporaryPath(), mRequest.overviewThreshold, &overviews );
  return overviewed.done() ? output.commit() : overviewed;
}
