#include "Processing/RasterClip.h"

#include "Processing/GdalFailureCounter.h"
#include "Processing/GdalSettings.h"
#include "Processing/SafeOutput.h"

#include <QFile>
#include <QUuid>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_alg.h>
#include <gdal_utils.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <qgscoordinatetransform.h>
#include <qgsexception.h>
#include <qgsfeedback.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <memory>

namespace
{
// GDAL warps in chunks of about this size, whatever the image size.
constexpr int warpMemoryMb = 128;
// Edges closer than this to a pixel edge lie on it: decimal text and reprojected corners are never exact.
constexpr double gridTolerance = 1e-6;

struct DatasetCloser
{
    void operator()( void *dataset ) const { GDALClose( dataset ); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

//! What a request comes to on its source: the bands, and the window of source pixels when on its grid.
struct Plan
{
    Dataset source;
    double transform[6] = { 0, 1, 0, 0, 0, 1 };
    int width = 0;
    int height = 0;
    QgsCoordinateReferenceSystem crs;
    QList<int> bands;
    bool reproject = false;
    //! Resampled or cut along a mask: GDAL's warper, else a plain copy of pixels.
    bool warp = false;
    int column = 0;
    int row = 0;
    int columns = 0;
    int rows = 0;
    QgsRectangle windowExtent() const
    {
      return QgsRectangle( transform[0] + column * transform[1], transform[3] + ( row + rows ) * transform[5],
                           transform[0] + ( column + columns ) * transform[1], transform[3] + row * transform[5] );
    }
};

ProcessingResult failedWith( ProcessingResult::Status status, const QString &reason )
{
  return ProcessingResult::failed( reason, status );
}

Dataset openRaster( const QString &source )
{
  return Dataset( GDALOpenEx( source.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                              nullptr, nullptr, nullptr ) );
}

QgsRectangle inSourceCrs( const QgsRectangle &rectangle, const QgsCoordinateReferenceSystem &crs, const Plan &plan,
                          const QgsCoordinateTransformContext &context )
{
  if ( !crs.isValid() || crs == plan.crs )
    return rectangle;
  return QgsCoordinateTransform( crs, plan.crs, context ).transformBoundingBox( rectangle );
}

ProcessingResult makePlan( const RasterClip::Request &request, Plan &plan )
{
  GDALAllRegister();
  plan.source = openRaster( request.source );
  if ( !plan.source )
    return failedWith( ProcessingResult::Status::ReadFailed, QStringLiteral( "cannot open %1" ).arg( request.source ) );
  GDALGetGeoTransform( plan.source.get(), plan.transform );
  plan.width = GDALGetRasterXSize( plan.source.get() );
  plan.height = GDALGetRasterYSize( plan.source.get() );
  plan.crs = QgsCoordinateReferenceSystem::fromWkt( QString::fromUtf8( GDALGetProjectionRef( plan.source.get() ) ) );

  if ( request.bands.isEmpty() )
    return failedWith( ProcessingResult::Status::NoBand, QStringLiteral( "no band chosen" ) );
  for ( int band : request.bands )
  {
    if ( band < 1 || band > GDALGetRasterCount( plan.source.get() ) )
      return failedWith( ProcessingResult::Status::NoBand, QStringLiteral( "the raster has no band %1" ).arg( band ) );
  }
  plan.bands = request.bands;
  if ( request.useMask && !request.hasNoData )
    return ProcessingResult::failed( QStringLiteral( "a cut along a mask needs a no-data value" ) );

  plan.reproject = request.crs.isValid() && plan.crs.isValid() && request.crs != plan.crs;
  const double pixelWidth = std::abs( plan.transform[1] );
  const double pixelHeight = std::abs( plan.transform[5] );
  const bool newResolution =
      request.resolution > 0 && ( std::abs( request.resolution - pixelWidth ) > gridTolerance * pixelWidth ||
                                  std::abs( request.resolution - pixelHeight ) > gridTolerance * pixelHeight );
  GDALRasterBandH first = GDALGetRasterBand( plan.source.get(), request.bands.constFirst() );
  int hasSourceNoData = 0;
  const double sourceNoData = GDALGetRasterNoDataValue( first, &hasSourceNoData );
  // Only the warper turns the source's no-data pixels into another value.
  const bool newNoData =
      hasSourceNoData && request.hasNoData &&
      !( sourceNoData == request.noData || ( std::isnan( sourceNoData ) && std::isnan( request.noData ) ) );
  plan.warp = plan.reproject || newResolution || request.useMask || newNoData;
  const bool northUp = plan.transform[2] == 0 && plan.transform[4] == 0 && plan.transform[5] < 0;
  if ( !northUp && !plan.reproject )
    return ProcessingResult::failed( QStringLiteral( "the raster is rotated" ) );

  QgsRectangle area = QgsRectangle( plan.transform[0], plan.transform[3] + plan.height * plan.transform[5],
                                    plan.transform[0] + plan.width * plan.transform[1], plan.transform[3] );
  const QgsRectangle bounds = area;
  try
  {
    if ( !request.extent.isNull() )
      area = area.intersect( inSourceCrs( request.extent, request.extentCrs, plan, request.transformContext ) );
    if ( request.useMask )
    {
      QgsRectangle maskBounds;
      maskBounds.setMinimal();
      const bool sameCrs = !request.maskCrs.isValid() || request.maskCrs == plan.crs;
      const QgsCoordinateTransform toSource( request.maskCrs, plan.crs, request.transformContext );
      for ( QgsGeometry geometry : request.mask )
      {
        if ( geometry.isNull() || geometry.isEmpty() || geometry.type() != QgsWkbTypes::PolygonGeometry )
          continue;
        if ( !sameCrs )
          geometry.transform( toSource );
        maskBounds.combineExtentWith( geometry.boundingBox() );
      }
      if ( maskBounds.isEmpty() )
        return failedWith( ProcessingResult::Status::EmptyMask, QStringLiteral( "the mask has no polygon" ) );
      area = area.intersect( maskBounds );
    }
  }
  catch ( const QgsCsException &exception )
  {
    return failedWith( ProcessingResult::Status::OutsideRaster, exception.what() );
  }
  if ( area.isEmpty() || !area.intersects( bounds ) )
    return failedWith( ProcessingResult::Status::OutsideRaster, QStringLiteral( "the area does not meet the raster" ) );

  // Outward to whole source pixels.
  const double left = ( area.xMinimum() - plan.transform[0] ) / plan.transform[1];
  const double right = ( area.xMaximum() - plan.transform[0] ) / plan.transform[1];
  const double top = ( area.yMaximum() - plan.transform[3] ) / plan.transform[5];
  const double bottom = ( area.yMinimum() - plan.transform[3] ) / plan.transform[5];
  plan.column = std::max( 0, static_cast<int>( std::floor( left + gridTolerance ) ) );
  plan.row = std::max( 0, static_cast<int>( std::floor( top + gridTolerance ) ) );
  plan.columns = std::min( plan.width, static_cast<int>( std::ceil( right - gridTolerance ) ) ) - plan.column;
  plan.rows = std::min( plan.height, static_cast<int>( std::ceil( bottom - gridTolerance ) ) ) - plan.row;
  if ( plan.columns <= 0 || plan.rows <= 0 )
    return failedWith( ProcessingResult::Status::OutsideRaster, QStringLiteral( "the area does not meet the raster" ) );
  return {};
}

//! Progress of one step of a run, scaled into its share of the whole.
struct Step
{
    QgsFeedback *feedback = nullptr;
    double from = 0;
    double share = 100;

    static int CPL_STDCALL report( double complete, const char *, void *data )
    {
      const Step *step = static_cast<const Step *>( data );
      if ( !step->feedback )
        return TRUE;
      step->feedback->setProgress( step->from + complete * step->share );
      return step->feedback->isCanceled() ? FALSE : TRUE;
    }
};

QString number( double value )
{
  return QString::number( value, 'g', 17 );
}

//! Writes the polygons of \a request's mask to an in-memory file the warper reads as its cutline.
QString writeMask( const RasterClip::Request &request )
{
  const QString path =
      QStringLiteral( "/vsimem/rastova-mask-%1.gpkg" ).arg( QUuid::createUuid().toString( QUuid::Id128 ) );
  GDALDatasetH dataset =
      GDALCreate( GDALGetDriverByName( "GPKG" ), path.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr );
  if ( !dataset )
    return QString();
  OGRSpatialReferenceH srs = nullptr;
  if ( request.maskCrs.isValid() )
  {
    srs = OSRNewSpatialReference(
        request.maskCrs.toWkt( QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL ).toUtf8().constData() );
    OSRSetAxisMappingStrategy( srs, OAMS_TRADITIONAL_GIS_ORDER );
  }
  OGRLayerH layer = GDALDatasetCreateLayer( dataset, "mask", srs, wkbUnknown, nullptr );
  for ( const QgsGeometry &geometry : request.mask )
  {
    if ( !layer || geometry.isNull() || geometry.type() != QgsWkbTypes::PolygonGeometry )
      continue;
    QByteArray wkb = geometry.asWkb();
    OGRGeometryH shape = nullptr;
    if ( OGR_G_CreateFromWkb( reinterpret_cast<unsigned char *>( wkb.data() ), srs, &shape, wkb.size() ) !=
         OGRERR_NONE )
      continue;
    OGRFeatureH feature = OGR_F_Create( OGR_L_GetLayerDefn( layer ) );
    OGR_F_SetGeometryDirectly( feature, shape );
    const OGRErr created = OGR_L_CreateFeature( layer, feature );
    OGR_F_Destroy( feature );
    if ( created != OGRERR_NONE )
      layer = nullptr;
  }
  if ( srs )
    OSRRelease( srs );
  GDALClose( dataset );
  return layer ? path : QString();
}

QString overviewResampling( const QString &resampling )
{
  if ( resampling == QLatin1String( "near" ) )
    return QStringLiteral( "NEAREST" );
  if ( resampling == QLatin1String( "mode" ) )
    return QStringLiteral( "MODE" );
  return QStringLiteral( "AVERAGE" );
}

void addCreationOptions( CPLStringList &arguments, const QStringList &options )
{
  for ( const QString &option : options )
  {
    arguments.AddString( "-co" );
    arguments.AddString( option.toUtf8().constData() );
  }
}

class Run
{
  public:
    Run( const RasterClip::Request &request, Plan &plan, QgsFeedback *feedback )
        : mRequest( request )
        , mPlan( plan )
        , mFeedback( feedback )
    {
    }

    ProcessingResult write()
    {
      SafeOutput output( mRequest.output );
      const QString driver = mRequest.cog ? QStringLiteral( "COG" ) : mRequest.driver;
      const bool overviewsAfter = mRequest.overviews && !mRequest.cog;
      // The warper writes only formats that can create files; COG is made from its result.
      const bool warpFirst = mPlan.warp && mRequest.cog;
      const int steps = 1 + ( overviewsAfter || warpFirst ? 1 : 0 );
      Step step{ mFeedback, 0, 100.0 / steps };

      ProcessingResult result;
      if ( !mPlan.warp )
      {
        result = translate( mPlan.source.get(), output.temporaryPath(), driver, step, true );
      }
      else if ( !warpFirst )
      {
        result = warp( output.temporaryPath(), driver, step );
      }
      else
      {
        const QString warped = output.temporaryPath() + QStringLiteral( ".warped.tif" );
        result = warp( warped, QStringLiteral( "GTiff" ), step );
        if ( result.done() )
        {
          Dataset intermediate = openRaster( warped );
          step.from += step.share;
          result = intermediate ? translate( intermediate.get(), output.temporaryPath(), driver, step, false )
                                : cannotWrite();
        }
        QFile::remove( warped );
      }
      if ( result.done() && overviewsAfter )
      {
        step.from += step.share;
        result = buildOverviews( output.temporaryPath(), step );
      }
      if ( !result.done() )
        return result;
      return output.commit();
    }

  private:
    ProcessingResult cannotWrite() const
    {
      if ( mFeedback && mFeedback->isCanceled() )
        return ProcessingResult::cancelled();
      return failedWith( ProcessingResult::Status::WriteFailed,
                         mFailures.lastFailure().isEmpty() ? QStringLiteral( "cannot write %1" ).arg( mRequest.output )
                                                           : mFailures.lastFailure() );
    }

    //! Closes \a written; GDAL's trouble while flushing counts as a failure.
    ProcessingResult closed( GDALDatasetH written )
    {
      if ( !written )
        return cannotWrite();
      GDALClose( written );
      if ( mFailures.failures() > 0 || ( mFeedback && mFeedback->isCanceled() ) )
        return cannotWrite();
      return {};
    }

    GDALDataType outputType() const
    {
      if ( mRequest.dataType != GDT_Unknown )
        return mRequest.dataType;
      return GDALGetRasterDataType( GDALGetRasterBand( mPlan.source.get(), mPlan.bands.constFirst() ) );
    }

    QStringList creationOptions( const QString &driver, int width, int height ) const
    {
      QStringList options = CreationOptions::forDriver( driver, mRequest.compression, outputType(), width, height );
      if ( driver == QLatin1String( "COG" ) )
        options << QStringLiteral( "OVERVIEWS=%1" ).arg( mRequest.overviews ? "AUTO" : "NONE" )
                << QStringLiteral( "RESAMPLING=%1" ).arg( overviewResampling( mRequest.resampling ) );
      return options;
    }

    ProcessingResult translate( GDALDatasetH source, const QString &target, const QString &driver, Step &step,
                                bool cut )
    {
      CPLStringList arguments;
      arguments.AddString( "-of" );
      arguments.AddString( driver.toUtf8().constData() );
      int width = GDALGetRasterXSize( source );
      int height = GDALGetRasterYSize( source );
      if ( cut )
      {
        arguments.AddString( "-srcwin" );
        for ( int value : { mPlan.column, mPlan.row, mPlan.columns, mPlan.rows } )
          arguments.AddString( QByteArray::number( value ).constData() );
        for ( int band : mPlan.bands )
        {
          arguments.AddString( "-b" );
          arguments.AddString( QByteArray::number( band ).constData() );
        }
        if ( mRequest.dataType != GDT_Unknown )
        {
          arguments.AddString( "-ot" );
          arguments.AddString( GDALGetDataTypeName( mRequest.dataType ) );
        }
        arguments.AddString( "-a_nodata" );
        arguments.AddString( mRequest.hasNoData ? number( mRequest.noData ).toUtf8().constData() : "none" );
        width = mPlan.columns;
        height = mPlan.rows;
      }
      addCreationOptions( arguments, creationOptions( driver, width, height ) );
      GDALTranslateOptions *options = GDALTranslateOptionsNew( arguments.List(), nullptr );
      if ( !options )
        return cannotWrite();
      GDALTranslateOptionsSetProgress( options, Step::report, &step );
      GDALDatasetH written = GDALTranslate( target.toUtf8().constData(), source, options, nullptr );
      GDALTranslateOptionsFree( options );
      return closed( written );
    }

    //! The source with only the chosen bands, in their order: the warper takes every band it is given.
    Dataset chosenBands()
    {
      const int count = GDALGetRasterCount( mPlan.source.get() );
      bool all = mPlan.bands.size() == count;
      for ( int i = 0; all && i < count; ++i )
        all = mPlan.bands.at( i ) == i + 1;
      if ( all )
        return openRaster( mRequest.source );
      CPLStringList arguments;
      arguments.AddString( "-of" );
      arguments.AddString( "VRT" );
      for ( int band : mPlan.bands )
      {
        arguments.AddString( "-b" );
        arguments.AddString( QByteArray::number( band ).constData() );
      }
      GDALTranslateOptions *options = GDALTranslateOptionsNew( arguments.List(), nullptr );
      Dataset bands( GDALTranslate( "", mPlan.source.get(), options, nullptr ) );
      GDALTranslateOptionsFree( options );
      return bands;
    }

    ProcessingResult warp( const QString &target, const QString &driver, Step &step )
    {
      Dataset source = chosenBands();
      if ( !source )
        return cannotWrite();
      CPLStringList arguments;
      const auto add = [&arguments]( const QString &argument )
      { arguments.AddString( argument.toUtf8().constData() ); };
      add( QStringLiteral( "-of" ) );
      add( driver );
      add( QStringLiteral( "-r" ) );
      add( mRequest.resampling );
      add( QStringLiteral( "-wm" ) );
      add( QString::number( warpMemoryMb ) );
      add( QStringLiteral( "-multi" ) );
      add( QStringLiteral( "-wo" ) );
      add( QStringLiteral( "NUM_THREADS=ALL_CPUS" ) );
      if ( mRequest.dataType != GDT_Unknown )
      {
        add( QStringLiteral( "-ot" ) );
        add( QString::fromUtf8( GDALGetDataTypeName( mRequest.dataType ) ) );
      }
      add( QStringLiteral( "-dstnodata" ) );
      add( mRequest.hasNoData ? number( mRequest.noData ) : QStringLiteral( "None" ) );
      int width = mPlan.columns;
      int height = mPlan.rows;
      if ( !mPlan.reproject )
      {
        // On the source's own grid: the window's edges are whole source pixels.
        const QgsRectangle window = mPlan.windowExtent();
        const double resolution = mRequest.resolution > 0 ? mRequest.resolution : 0;
        add( QStringLiteral( "-te" ) );
        for ( double value : { window.xMinimum(), window.yMinimum(), window.xMaximum(), window.yMaximum() } )
          add( number( value ) );
        add( QStringLiteral( "-tr" ) );
        add( number( resolution > 0 ? resolution : mPlan.transform[1] ) );
        add( number( resolution > 0 ? resolution : -mPlan.transform[5] ) );
        if ( resolution > 0 )
        {
          width = static_cast<int>( std::ceil( window.width() / resolution ) );
          height = static_cast<int>( std::ceil( window.height() / resolution ) );
        }
      }
      else
      {
        add( QStringLiteral( "-t_srs" ) );
        add( mRequest.crs.toWkt( QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL ) );
        if ( mRequest.resolution > 0 )
        {
          add( QStringLiteral( "-tr" ) );
          add( number( mRequest.resolution ) );
          add( number( mRequest.resolution ) );
        }
        if ( !mRequest.extent.isNull() )
        {
          add( QStringLiteral( "-te" ) );
          for ( double value : { mRequest.extent.xMinimum(), mRequest.extent.yMinimum(), mRequest.extent.xMaximum(),
                                 mRequest.extent.yMaximum() } )
            add( number( value ) );
          add( QStringLiteral( "-te_srs" ) );
          add( ( mRequest.extentCrs.isValid() ? mRequest.extentCrs : mPlan.crs )
                   .toWkt( QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL ) );
        }
        // The size is known only once GDAL has chosen the grid; tiles are the safe choice for a reprojection.
        width = height = CreationOptions::tiledAbove + 1;
      }
      QString mask;
      if ( mRequest.useMask )
      {
        mask = writeMask( mRequest );
        if ( mask.isEmpty() )
          return cannotWrite();
        add( QStringLiteral( "-cutline" ) );
        add( mask );
        if ( mPlan.reproject )
          add( QStringLiteral( "-crop_to_cutline" ) );
      }
      addCreationOptions( arguments, creationOptions( driver, width, height ) );
      GDALWarpAppOptions *options = GDALWarpAppOptionsNew( arguments.List(), nullptr );
      ProcessingResult result = cannotWrite();
      if ( options )
      {
        GDALWarpAppOptionsSetProgress( options, Step::report, &step );
        GDALDatasetH sources[] = { source.get() };
        result = closed( GDALWarp( target.toUtf8().constData(), nullptr, 1, sources, options, nullptr ) );
        GDALWarpAppOptionsFree( options );
      }
      if ( !mask.isEmpty() )
        VSIUnlink( mask.toUtf8().constData() );
      return result;
    }

    ProcessingResult buildOverviews( const QString &path, Step &step )
    {
      Dataset written( GDALOpen( path.toUtf8().constData(), GA_Update ) );
      if ( !written )
        return cannotWrite();
      QVector<int> levels;
      const int size = std::max( GDALGetRasterXSize( written.get() ), GDALGetRasterYSize( written.get() ) );
      for ( int level = 2; size / level >= 256; level *= 2 )
        levels << level;
      if ( levels.isEmpty() )
        return {};
      if ( GDALBuildOverviews( written.get(), overviewResampling( mRequest.resampling ).toUtf8().constData(),
                               levels.size(), levels.data(), 0, nullptr, Step::report, &step ) != CE_None )
        return cannotWrite();
      return closed( written.release() );
    }

    const RasterClip::Request &mRequest;
    Plan &mPlan;
    QgsFeedback *mFeedback = nullptr;
    const GdalFailureCounter mFailures;
};
} // namespace

ProcessingResult RasterClip::check( const Request &request )
{
  Plan plan;
  return makePlan( request, plan );
}

bool RasterClip::valueRange( const Request &request, Range &range )
{
  GDALAllRegister();
  const Dataset source = openRaster( request.source );
  if ( !source )
    return false;
  range = { DBL_MAX, -DBL_MAX };
  for ( int band : request.bands )
  {
    GDALRasterBandH handle = GDALGetRasterBand( source.get(), band );
    if ( !handle )
      return false;
    double minMax[2] = { 0, 0 };
    // Exact for a small raster, from overviews or a sample for a large one: a question, not a promise.
    const bool approximate =
        static_cast<qint64>( GDALGetRasterXSize( source.get() ) ) * GDALGetRasterYSize( source.get() ) > 4096 * 4096;
    if ( GDALComputeRasterMinMax( handle, approximate, minMax ) != CE_None )
      return false;
    range.minimum = std::min( range.minimum, minMax[0] );
    range.maximum = std::max( range.maximum, minMax[1] );
  }
  return !request.bands.isEmpty();
}

bool RasterClip::typeHolds( GDALDataType type, const Range &range )
{
  double lowest = -DBL_MAX;
  double highest = DBL_MAX;
  switch ( type )
  {
  case GDT_Byte:
    lowest = 0;
    highest = UCHAR_MAX;
    break;
  case GDT_UInt16:
    lowest = 0;
    highest = USHRT_MAX;
    break;
  case GDT_Int16:
    lowest = SHRT_MIN;
    highest = SHRT_MAX;
    break;
  case GDT_UInt32:
    lowest = 0;
    highest = UINT_MAX;
    break;
  case GDT_Int32:
    lowest = INT_MIN;
    highest = INT_MAX;
    break;
  case GDT_Float32:
    lowest = -FLT_MAX;
    highest = FLT_MAX;
    break;
  default:
    break;
  }
  return range.minimum >= lowest && range.maximum <= highest;
}

double RasterClip::suggestedResolution( const QString &source, const QgsCoordinateReferenceSystem &crs )
{
  GDALAllRegister();
  const Dataset dataset = openRaster( source );
  if ( !dataset || !crs.isValid() )
    return 0;
  const QByteArray wkt = crs.toWkt( QgsCoordinateReferenceSystem::WKT_PREFERRED_GDAL ).toUtf8();
  void *transformer = GDALCreateGenImgProjTransformer( dataset.get(), nullptr, nullptr, wkt.constData(), FALSE, 0, 1 );
  if ( !transformer )
    return 0;
  double transform[6];
  int width = 0;
  int height = 0;
  const CPLErr error =
      GDALSuggestedWarpOutput( dataset.get(), GDALGenImgProjTransform, transformer, transform, &width, &height );
  GDALDestroyGenImgProjTransformer( transformer );
  return error == CE_None ? transform[1] : 0;
}

ProcessingResult RasterClip::run( const Request &request, QgsFeedback *feedback )
{
  GdalSettings::boundBlockCache();
  Plan plan;
  const ProcessingResult planned = makePlan( request, plan );
  if ( !planned.done() )
    return planned;
  return Run( request, plan, feedback ).write();
}
