// One route of the band math benchmark per run, so each can be measured alone:
//   rastova-bench-bandmath generate OUT.tif SIZE     a 4-band UInt16 image SIZE x SIZE
//   rastova-bench-bandmath idle IN.tif               loads QGIS and the image only: the memory baseline
//   rastova-bench-bandmath rastova IN.tif OUT.tif    NDVI through the program's engine
//   rastova-bench-bandmath qgis IN.tif OUT.tif       NDVI through QgsRasterCalculator alone

#include "BenchImage.h"
#include "Processing/BandMath.h"

#include <QElapsedTimer>

#include <cstdio>
#include <gdal.h>
#include <memory>
#include <qgsapplication.h>
#include <qgscoordinatetransformcontext.h>
#include <qgsrasterlayer.h>

namespace
{
const QString ndvi = QStringLiteral( "( \"img@4\" - \"img@3\" ) / ( \"img@4\" + \"img@3\" )" );

} // namespace

int main( int argc, char *argv[] )
{
  if ( argc == 4 && QByteArray( argv[1] ) == "generate" )
    return writeBenchImage( argv[2], atoi( argv[3] ), 4 ) ? 0 : 1;
  const QByteArray route = argc > 1 ? QByteArray( argv[1] ) : QByteArray();
  if ( !( argc == 3 && route == "idle" ) && !( argc == 4 && ( route == "rastova" || route == "qgis" ) ) )
  {
    std::fprintf( stderr, "usage: %s generate OUT SIZE | idle IN | rastova IN OUT | qgis IN OUT\n", argv[0] );
    return 2;
  }
  QgsApplication application( argc, argv, false );
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();
  auto layer = std::make_unique<QgsRasterLayer>( QString::fromUtf8( argv[2] ), QStringLiteral( "img" ),
                                                 QStringLiteral( "gdal" ) );
  const QVector<QgsRasterCalculatorEntry> entries = BandMath::entries( { layer.get() } );
  // Opening the layer may have read blocks; every route starts with an empty block cache.
  const GIntBig cache = GDALGetCacheMax64();
  GDALSetCacheMax64( 0 );
  GDALSetCacheMax64( cache );

  QElapsedTimer timer;
  timer.start();
  int result = 0;
  if ( route == "rastova" )
  {
    BandMath::Request request;
    request.expression = ndvi;
    request.outputFile = QString::fromUtf8( argv[3] );
    request.driver = QStringLiteral( "GTiff" );
    request.grid = RasterGrid::of( layer.get() );
    const ProcessingResult outcome = BandMath::prepareAndRun( request, entries, QgsCoordinateTransformContext() );
    if ( !outcome.done() )
      std::fprintf( stderr, "%s\n", qPrintable( outcome.reason ) );
    result = static_cast<int>( outcome.status );
  }
  else if ( route == "qgis" )
  {
    QgsRasterCalculator calculator( ndvi, QString::fromUtf8( argv[3] ), QStringLiteral( "GTiff" ), layer->extent(),
                                    layer->crs(), layer->width(), layer->height(), entries,
                                    QgsCoordinateTransformContext() );
    result = calculator.processCalculation();
  }
  std::printf( "%s %.3f s, result %d\n", argv[1], timer.elapsed() / 1000.0, result );
  layer.reset();
  QgsApplication::exitQgis();
  return result;
}
