// One step of the overview benchmark per run:
//   rastova-bench-overviews generate OUT.tif SIZE BANDS
//   rastova-bench-overviews levels IN.tif      the levels the program builds, as gdaladdo takes them
//   rastova-bench-overviews build IN.tif       the program's engine
//   rastova-bench-overviews draw IN.tif        the map canvas, 1280 x 900, offscreen: the first draw (opening
//                                              included) and the mean of three full-extent redraws, in seconds

#include "BenchImage.h"
#include "Core/Utils.h"
#include "Processing/OverviewBuilder.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <gdal_priv.h>
#include <qgsapplication.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

namespace
{
//! Seconds until the canvas has drawn what \a start asks of it.
double timeDraw( QgsMapCanvas &canvas, const std::function<void()> &start )
{
  QEventLoop loop;
  QObject::connect( &canvas, &QgsMapCanvas::mapCanvasRefreshed, &loop, &QEventLoop::quit );
  QElapsedTimer timer;
  timer.start();
  start();
  loop.exec();
  return timer.elapsed() / 1000.0;
}

int draw( const QString &file )
{
  QgsMapCanvas canvas;
  canvas.resize( 1280, 900 );
  canvas.show();
  QgsRasterLayer *layer = nullptr;
  const double first = timeDraw( canvas,
                                 [&]
                                 {
                                   layer = new QgsRasterLayer( file, QStringLiteral( "scene" ) );
                                   QgsProject::instance()->addMapLayer( layer );
                                   canvas.setDestinationCrs( layer->crs() );
                                   canvas.setLayers( { layer } );
                                   canvas.setExtent( layer->extent() );
                                   canvas.refresh();
                                 } );
  double redraws = 0;
  for ( int i = 0; i < 3; ++i )
    redraws += timeDraw( canvas, [layer] { layer->triggerRepaint(); } );
  std::printf( "%.3f %.3f\n", first, redraws / 3 );
  return 0;
}
} // namespace

int main( int argc, char *argv[] )
{
  const QByteArray mode = argc > 1 ? QByteArray( argv[1] ) : QByteArray();
  if ( mode == "generate" && argc == 5 )
    return writeBenchImage( argv[2], atoi( argv[3] ), atoi( argv[4] ) ) ? 0 : 1;
  if ( ( mode != "levels" && mode != "build" && mode != "draw" ) || argc != 3 )
  {
    std::fprintf( stderr, "usage: %s generate OUT SIZE BANDS | levels IN | build IN | draw IN\n", argv[0] );
    return 2;
  }
  const QString file = QString::fromUtf8( argv[2] );
  if ( mode != "draw" )
  {
    // GDAL alone, as the engine runs: no QGIS start-up in the figures.
    GDALAllRegister();
    const GDALDatasetUniquePtr dataset( GDALDataset::Open( argv[2], GDAL_OF_RASTER ) );
    if ( !dataset )
      return 1;
    if ( mode == "levels" )
    {
      for ( int level : OverviewBuilder::levels( dataset->GetRasterXSize(), dataset->GetRasterYSize() ) )
        std::printf( "%d ", level );
      std::printf( "\n" );
      return 0;
    }
    QElapsedTimer timer;
    timer.start();
    const ProcessingResult result = OverviewBuilder::build( { file, 0, true }, nullptr );
    std::printf( "%.3f %s\n", timer.elapsed() / 1000.0, qPrintable( result.reason ) );
    return result.done() ? 0 : 1;
  }

  QgsApplication application( argc, argv, true );
  Utils::limitGdal();
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();
  const int status = draw( file );
  QgsProject::instance()->clear();
  QgsApplication::exitQgis();
  return status;
}
