#include "Processing/RasterStatistics.h"

#include <qgsfeedback.h>

#include <gdal.h>

#include <limits>
#include <numeric>

namespace
{
// Values of an integer band up to this span get one bucket each.
constexpr double largestIntegerSpan = 1024;
constexpr int floatBuckets = 256;

struct ProgressStep
{
    QgsFeedback *feedback = nullptr;
    int step = 0;
    int steps = 1;
};

int CPL_STDCALL reportProgress( double complete, const char *, void *data )
{
  const auto *step = static_cast<const ProgressStep *>( data );
  if ( !step->feedback )
    return TRUE;
  step->feedback->setProgress( 100.0 * ( step->step + complete ) / step->steps );
  return step->feedback->isCanceled() ? FALSE : TRUE;
}

bool isInteger( GDALDataType type )
{
  return !GDALDataTypeIsFloating( type ) && !GDALDataTypeIsComplex( type );
}
} // namespace

ProcessingResult RasterStatistics::compute( const QString &source, QgsFeedback *feedback )
{
  mBands.clear();
  ProcessingResult result;
  CPLErrorReset();
  GDALDatasetH dataset = GDALOpenEx( source.toUtf8().constData(), GDAL_OF_RASTER, nullptr, nullptr, nullptr );
  if ( !dataset )
  {
    return ProcessingResult::failed( QString::fromUtf8( CPLGetLastErrorMsg() ), ProcessingResult::Status::ReadFailed );
  }

  const int bandCount = GDALGetRasterCount( dataset );
  ProgressStep step{ feedback, 0, 2 * std::max( 1, bandCount ) };
  for ( int number = 1; number <= bandCount && result.done(); ++number )
  {
    GDALRasterBandH band = GDALGetRasterBand( dataset, number );
    Band stats;
    stats.number = number;
    step.step = 2 * ( number - 1 );
    CPLErrorReset();
    // Not approximate: overviews and sampling would miss extremes.
    const CPLErr error = GDALComputeRasterStatistics( band, FALSE, &stats.minimum, &stats.maximum, &stats.mean,
                                                      &stats.stdDev, reportProgress, &step );
    if ( feedback && feedback->isCanceled() )
    {
      result = ProcessingResult::cancelled();
      break;
    }
    if ( error != CE_None && !QString::fromUtf8( CPLGetLastErrorMsg() ).contains( QLatin1String( "no valid pixels" ) ) )
    {
      // A damaged file, say: its reason, not empty statistics.
      result =
          ProcessingResult::failed( QString::fromUtf8( CPLGetLastErrorMsg() ), ProcessingResult::Status::ReadFailed );
      break;
    }
    if ( error != CE_None )
    {
      // A band with no valid pixel has no statistics, which is no failure of the run.
      stats.minimum = stats.maximum = stats.mean = stats.stdDev = std::numeric_limits<double>::quiet_NaN();
      mBands.append( stats );
      continue;
    }

    const bool integer = isInteger( GDALGetRasterDataType( band ) );
    int buckets = floatBuckets;
    stats.histogramMinimum = stats.minimum;
    stats.histogramMaximum = stats.maximum;
    if ( integer && stats.maximum - stats.minimum < largestIntegerSpan )
    {
      buckets = static_cast<int>( stats.maximum - stats.minimum ) + 1;
      stats.histogramMinimum -= 0.5;
      stats.histogramMaximum += 0.5;
    }
    else if ( stats.maximum <= stats.minimum )
    {
      buckets = 1;
      stats.histogramMinimum -= 0.5;
      stats.histogramMaximum += 0.5;
    }
    QVector<GUIntBig> histogram( buckets );
    step.step = 2 * ( number - 1 ) + 1;
    CPLErrorReset();
    // Out-of-range values included, so the value equal to the maximum is counted too.
    if ( GDALGetRasterHistogramEx( band, stats.histogramMinimum, stats.histogramMaximum, buckets, histogram.data(),
                                   TRUE, FALSE, reportProgress, &step ) != CE_None )
    {
      result = feedback && feedback->isCanceled() ? ProcessingResult::cancelled()
                                                  : ProcessingResult::failed( QString::fromUtf8( CPLGetLastErrorMsg() ),
                                                                              ProcessingResult::Status::ReadFailed );
      break;
    }
    stats.histogram = QVector<qint64>( histogram.begin(), histogram.end() );
    stats.validCount = std::accumulate( stats.histogram.begin(), stats.histogram.end(), qint64( 0 ) );
    mBands.append( stats );
  }
  if ( !result.done() )
    mBands.clear();
  // Closing writes what GDAL computed to the .aux.xml beside the file; an unwritable folder only loses that cache.
  CPLPushErrorHandler( CPLQuietErrorHandler );
  GDALClose( dataset );
  CPLPopErrorHandler();
  return result;
}
