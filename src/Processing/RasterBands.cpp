#include "Processing/RasterBands.h"

#include "Processing/FeedbackShare.h"
#include "Processing/GdalFailureCounter.h"
#include "Processing/GdalSettings.h"
#include "Processing/SafeOutput.h"

#include <QFileInfo>
#include <QSet>

#include <gdal.h>
#include <qgsfeedback.h>
#include <qgsrasterblock.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterfilewriter.h>
#include <qgsrasterlayer.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace
{
// A strip of rows of about this many bytes is read and written at a time.
constexpr qint64 stripBytes = 16 * 1024 * 1024;

/**
 * Progress over all output bands, told to the feedback strip by strip. A
 * cancel is seen at the next strip.
 */
class StripProgress
{
  public:
    StripProgress( QgsFeedback *feedback, int bandTotal )
        : mFeedback( feedback )
        , mBandTotal( bandTotal )
    {
    }
    bool cancelled() const { return mFeedback && mFeedback->isCanceled(); }
    void report( int bandsDone, double bandFraction ) const
    {
      if ( mFeedback )
        mFeedback->setProgress( ( bandsDone + bandFraction ) * 100.0 / mBandTotal );
    }

  private:
    QgsFeedback *mFeedback = nullptr;
    int mBandTotal = 1;
};

//! Copies band \a sourceBand of \a source, read on \a grid, into band \a targetBand of \a target.
ProcessingResult copyBand( QgsRasterDataProvider *source, int sourceBand, const RasterGrid &grid,
                           QgsRasterDataProvider *target, int targetBand, Qgis::DataType targetType, bool noDataToNaN,
                           const StripProgress &progress, int bandsDone )
{
  const int strip = grid.stripRows( stripBytes / std::max( 1, QgsRasterBlock::typeSize( targetType ) ) );
  for ( int top = 0; top < grid.height; top += strip )
  {
    if ( progress.cancelled() )
      return ProcessingResult::cancelled();
    const int rows = std::min( strip, grid.height - top );
    std::unique_ptr<QgsRasterBlock> block(
        source->block( sourceBand, grid.stripExtent( top, rows ), grid.width, rows ) );
    if ( !block || !block->isValid() )
      return ProcessingResult::failed(
          QStringLiteral( "cannot read band %1 of %2" ).arg( sourceBand ).arg( source->dataSourceUri() ),
          ProcessingResult::Status::ReadFailed );
    if ( block->dataType() != targetType && !block->convert( targetType ) )
      return ProcessingResult::failed(
          QStringLiteral( "cannot convert band %1 of %2" ).arg( sourceBand ).arg( source->dataSourceUri() ) );
    if ( noDataToNaN && ( block->hasNoDataValue() || block->hasNoData() ) )
    {
      const qgssize pixels = static_cast<qgssize>( grid.width ) * rows;
      for ( qgssize i = 0; i < pixels; ++i )
      {
        if ( block->isNoData( i ) )
          block->setValue( i, std::numeric_limits<double>::quiet_NaN() );
      }
    }
    if ( !target->writeBlock( block.get(), targetBand, 0, top ) )
      return ProcessingResult::failed( QStringLiteral( "cannot write band %1" ).arg( targetBand ),
                                       ProcessingResult::Status::WriteFailed );
    progress.report( bandsDone, static_cast<double>( top + rows ) / grid.height );
  }
  return {};
}

ProcessingResult setNoData( QgsRasterDataProvider *target, int band, double value )
{
  if ( target->setNoDataValue( band, value ) )
    return {};
  return ProcessingResult::failed( QStringLiteral( "cannot set the no-data value of band %1" ).arg( band ) );
}

//! The result of \a written, closed; GDAL's trouble while flushing counts as a failure.
ProcessingResult close( std::unique_ptr<QgsRasterDataProvider> written, ProcessingResult result,
                        const GdalFailureCounter &failures, int failuresBefore )
{
  written.reset();
  if ( result.done() && failures.failures() > failuresBefore )
    return ProcessingResult::failed( failures.lastFailure(), ProcessingResult::Status::WriteFailed );
  if ( result.isFailure() && !failures.lastFailure().isEmpty() )
    result.reason += QStringLiteral( ": " ) + failures.lastFailure();
  return result;
}

std::unique_ptr<QgsRasterFileWriter> makeWriter( const QString &path, const QString &driver,
                                                 CreationOptions::Compression compression, Qgis::DataType type,
                                                 const RasterGrid &grid )
{
  auto writer = std::make_unique<QgsRasterFileWriter>( path );
  if ( !driver.isEmpty() )
    writer->setOutputFormat( driver );
  writer->setCreateOptions( CreationOptions::forDriver( writer->outputFormat(), compression,
                                                        static_cast<GDALDataType>( type ), grid.width, grid.height ) );
  return writer;
}

//! Gives the bands of the closed file \a path their descriptions; a format without them keeps them beside it.
ProcessingResult describeBands( const QString &path, const QStringList &descriptions )
{
  GDALDatasetH dataset = GDALOpen( path.toUtf8().constData(), GA_Update );
  if ( !dataset )
    return ProcessingResult::failed( QStringLiteral( "cannot reopen %1" ).arg( path ),
                                     ProcessingResult::Status::WriteFailed );
  for ( int band = 1; band <= std::min<int>( descriptions.size(), GDALGetRasterCount( dataset ) ); ++band )
  {
    if ( !descriptions.at( band - 1 ).isEmpty() )
      GDALSetDescription( GDALGetRasterBand( dataset, band ), descriptions.at( band - 1 ).toUtf8().constData() );
  }
  GDALClose( dataset );
  return {};
}

ProcessingResult cannotCreate( const QString &path, const GdalFailureCounter &failures )
{
  const QString reason =
      failures.lastFailure().isEmpty() ? QStringLiteral( "cannot create %1" ).arg( path ) : failures.lastFailure();
  return ProcessingResult::failed( reason, ProcessingResult::Status::WriteFailed );
}

std::shared_ptr<QgsRasterDataProvider> copyOf( const QgsRasterLayer *layer )
{
  if ( !layer || !layer->isValid() || !layer->dataProvider() )
    return nullptr;
  // A copy opens its own dataset when first read, so it can be read on another thread.
  return std::shared_ptr<QgsRasterDataProvider>( layer->dataProvider()->clone() );
}
} // namespace

RasterBands::StackRequest RasterBands::stackRequest( const QList<QgsRasterLayer *> &layers, const QString &output,
                                                     const QString &driver, CreationOptions::Compression compression )
{
  StackRequest request{ {}, {}, output, driver, compression, {} };
  for ( const QgsRasterLayer *layer : layers )
  {
    request.sources << copyOf( layer );
    if ( !request.sources.constLast() )
      continue;
    const QStringList descriptions = bandDescriptions( layer->source() );
    for ( int band = 1; band <= layer->bandCount(); ++band )
    {
      const QString description = descriptions.value( band - 1 );
      request.bandNames << QStringLiteral( "%1 — %2" )
                               .arg( layer->name(),
                                     description.isEmpty() ? QStringLiteral( "Kênh %1" ).arg( band ) : description );
    }
  }
  if ( !layers.isEmpty() && layers.constFirst() && layers.constFirst()->isValid() )
    request.grid = RasterGrid::of( layers.constFirst() );
  return request;
}

RasterBands::SplitRequest RasterBands::splitRequest( QgsRasterLayer *layer, const QStringList &outputs,
                                                     const QString &driver, CreationOptions::Compression compression )
{
  SplitRequest request{ copyOf( layer ), {}, outputs, driver, compression, {} };
  if ( request.source )
  {
    request.grid = RasterGrid::of( layer );
    request.bandNames = bandDescriptions( layer->source() );
  }
  return request;
}

QStringList RasterBands::bandDescriptions( const QString &source )
{
  QStringList descriptions;
  GDALDatasetH dataset =
      GDALOpenEx( source.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr );
  if ( !dataset )
    return descriptions;
  for ( int band = 1; band <= GDALGetRasterCount( dataset ); ++band )
    descriptions << QString::fromUtf8( GDALGetDescription( GDALGetRasterBand( dataset, band ) ) );
  GDALClose( dataset );
  return descriptions;
}

Qgis::DataType RasterBands::stackDataType( const QList<std::shared_ptr<QgsRasterDataProvider>> &sources )
{
  GDALDataType type = GDT_Unknown;
  for ( const auto &provider : sources )
  {
    for ( int band = 1; band <= provider->bandCount(); ++band )
    {
      // Qgis::DataType numbers the GDAL types as GDAL does.
      const auto bandType = static_cast<GDALDataType>( provider->dataType( band ) );
      type = type == GDT_Unknown ? bandType : GDALDataTypeUnion( type, bandType );
    }
  }
  return static_cast<Qgis::DataType>( type );
}

RasterBands::NoDataPlan RasterBands::noDataPlan( const QList<std::shared_ptr<QgsRasterDataProvider>> &sources )
{
  NoDataPlan plan;
  bool first = true;
  bool firstHas = false;
  for ( const auto &provider : sources )
  {
    for ( int band = 1; band <= provider->bandCount(); ++band )
    {
      const bool has = provider->sourceHasNoDataValue( band );
      const double value = has ? provider->sourceNoDataValue( band ) : 0;
      plan.none = plan.none && !has;
      if ( first )
      {
        firstHas = has;
        plan.common = value;
        first = false;
      }
      else if ( has != firstHas || ( has && !qgsDoubleNear( value, plan.common ) ) )
      {
        plan.toNaN = true;
      }
    }
  }
  return plan;
}

ProcessingResult RasterBands::stack( const StackRequest &request, QgsFeedback *feedback )
{
  if ( request.sources.isEmpty() )
    return ProcessingResult::failed( QStringLiteral( "no image to combine" ) );
  for ( const auto &source : request.sources )
  {
    if ( !source )
      return ProcessingResult::failed( QStringLiteral( "an image to combine is not a valid raster" ) );
  }

  const NoDataPlan noData = noDataPlan( request.sources );
  Qgis::DataType type = stackDataType( request.sources );
  if ( noData.toNaN )
    type = static_cast<Qgis::DataType>( GDALDataTypeUnion( static_cast<GDALDataType>( type ), GDT_Float32 ) );
  int bandTotal = 0;
  for ( const auto &source : request.sources )
    bandTotal += source->bandCount();

  GdalSettings::boundBlockCache();
  const GdalFailureCounter failures;
  SafeOutput output( request.output );
  const std::unique_ptr<QgsRasterFileWriter> writer =
      makeWriter( output.temporaryPath(), request.driver, request.compression, type, request.grid );
  // Bands are written one after the other: in one band's tiles each, no compressed tile is written twice.
  if ( writer->outputFormat() == QLatin1String( "GTiff" ) )
    writer->setCreateOptions( writer->createOptions() << QStringLiteral( "INTERLEAVE=BAND" ) );
  std::unique_ptr<QgsRasterDataProvider> written( writer->createMultiBandRaster(
      type, request.grid.width, request.grid.height, request.grid.extent, request.grid.crs, bandTotal ) );
  if ( !written || !written->isValid() )
    return cannotCreate( request.output, failures );

  const double writingShare =
      OverviewBuilder::writingShare( request.grid.width, request.grid.height, request.overviewThreshold );
  FeedbackShare writing( feedback, 0, writingShare );
  const StripProgress progress( &writing, bandTotal );
  ProcessingResult result;
  int outputBand = 1;
  for ( const auto &source : request.sources )
  {
    for ( int band = 1; result.done() && band <= source->bandCount(); ++band, ++outputBand )
    {
      result = copyBand( source.get(), band, request.grid, written.get(), outputBand, type, noData.toNaN, progress,
                         outputBand - 1 );
      if ( result.done() && !noData.none )
        result = setNoData( written.get(), outputBand,
                            noData.toNaN ? std::numeric_limits<double>::quiet_NaN() : noData.common );
      if ( result.done() && failures.failures() > 0 )
        result = ProcessingResult::failed( failures.lastFailure(), ProcessingResult::Status::WriteFailed );
    }
  }
  result = close( std::move( written ), result, failures, 0 );
  if ( result.done() )
    result = describeBands( output.temporaryPath(), request.bandNames );
  if ( result.done() )
  {
    FeedbackShare overviews( feedback, writingShare, 100 );
    result = OverviewBuilder::addToWritten( output.temporaryPath(), request.overviewThreshold, &overviews );
  }
  return result.done() ? output.commit() : result;
}

ProcessingResult RasterBands::split( const SplitRequest &request, QgsFeedback *feedback )
{
  if ( !request.source )
    return ProcessingResult::failed( QStringLiteral( "Raster layer isn't valid" ) );
  QgsRasterDataProvider *source = request.source.get();
  const int bandCount = source->bandCount();
  if ( bandCount < 2 )
    return ProcessingResult::failed( QStringLiteral( "BandCount < 2" ) );
  if ( bandCount != request.outputs.size() )
    return ProcessingResult::failed( QStringLiteral( "BandCount != number of output files" ) );
  QSet<QString> seen;
  for ( const QString &output : request.outputs )
  {
    const QString path = QFileInfo( output ).absoluteFilePath();
    if ( seen.contains( path ) )
      return ProcessingResult::failed( QStringLiteral( "The output file %1 is named for two bands" ).arg( output ) );
    seen.insert( path );
  }

  GdalSettings::boundBlockCache();
  const GdalFailureCounter failures;
  const double writingShare =
      OverviewBuilder::writingShare( request.grid.width, request.grid.height, request.overviewThreshold );
  FeedbackShare writing( feedback, 0, writingShare );
  const StripProgress progress( &writing, bandCount );
  std::vector<std::unique_ptr<SafeOutput>> outputs;
  for ( int band = 1; band <= bandCount; ++band )
  {
    outputs.push_back( std::make_unique<SafeOutput>( request.outputs.at( band - 1 ) ) );
    const QString &path = outputs.back()->temporaryPath();
    const Qgis::DataType type = source->dataType( band );
    const std::unique_ptr<QgsRasterFileWriter> writer =
        makeWriter( path, request.driver, request.compression, type, request.grid );
    const int failuresBefore = failures.failures();
    std::unique_ptr<QgsRasterDataProvider> written( writer->createOneBandRaster(
        type, request.grid.width, request.grid.height, request.grid.extent, request.grid.crs ) );
    if ( !written || !written->isValid() )
      return cannotCreate( request.outputs.at( band - 1 ), failures );
    ProcessingResult result = copyBand( source, band, request.grid, written.get(), 1, type, false, progress, band - 1 );
    if ( result.done() && source->sourceHasNoDataValue( band ) )
      result = setNoData( written.get(), 1, source->sourceNoDataValue( band ) );
    result = close( std::move( written ), result, failures, failuresBefore );
    if ( result.done() )
      result = describeBands( path, { request.bandNames.value( band - 1 ) } );
    if ( !result.done() )
      return result;
  }
  const double overviewShare = ( 100 - writingShare ) / bandCount;
  for ( int band = 0; band < bandCount; ++band )
  {
    FeedbackShare overviews( feedback, writingShare + band * overviewShare,
                             writingShare + ( band + 1 ) * overviewShare );
    const ProcessingResult overviewed = OverviewBuilder::addToWritten(
        outputs[static_cast<std::size_t>( band )]->temporaryPath(), request.overviewThreshold, &overviews );
    if ( !overviewed.done() )
      return overviewed;
  }
  // Only now that every band is complete are earlier files replaced.
  for ( const auto &output : outputs )
  {
    const ProcessingResult committed = output->commit();
    if ( !committed.done() )
      return committed;
  }
  return {};
}
