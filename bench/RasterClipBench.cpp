// One route of the raster export benchmark per run:
//   rastova-bench-clip generate OUT.tif SIZE BANDS
//   rastova-bench-clip clip IN.tif OUT.tif XMIN YMIN XMAX YMAX   an area, on the source's grid
//   rastova-bench-clip reproject IN.tif OUT.tif EPSG             the whole scene, bilinear

#include "BenchImage.h"
#include "Processing/RasterClip.h"

#include <QElapsedTimer>

#include <cstdio>
#include <qgsapplication.h>

int main( int argc, char *argv[] )
{
  const QByteArray mode = argc > 1 ? QByteArray( argv[1] ) : QByteArray();
  if ( mode == "generate" && argc == 5 )
    return writeBenchImage( argv[2], atoi( argv[3] ), atoi( argv[4] ) ) ? 0 : 1;
  if ( !( mode == "clip" && argc == 8 ) && !( mode == "reproject" && argc == 5 ) )
  {
    std::fprintf( stderr,
                  "usage: %s generate OUT SIZE BANDS | clip IN OUT XMIN YMIN XMAX YMAX | reproject IN OUT EPSG\n",
                  argv[0] );
    return 2;
  }
  QgsApplication application( argc, argv, false );
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();

  RasterClip::Request request;
  request.source = QString::fromUtf8( argv[2] );
  request.output = QString::fromUtf8( argv[3] );
  request.bands = { 1, 2, 3, 4 };
  if ( mode == "clip" )
  {
    request.extent = QgsRectangle( atof( argv[4] ), atof( argv[5] ), atof( argv[6] ), atof( argv[7] ) );
  }
  else
  {
    request.crs = QgsCoordinateReferenceSystem::fromEpsgId( atoi( argv[4] ) );
    request.resampling = QStringLiteral( "bilinear" );
    request.hasNoData = true;
  }
  QElapsedTimer timer;
  timer.start();
  const ProcessingResult result = RasterClip::run( request );
  std::printf( "%s %.3f s %s\n", mode.constData(), timer.elapsed() / 1000.0, qPrintable( result.reason ) );
  QgsApplication::exitQgis();
  return result.done() ? 0 : 1;
}
