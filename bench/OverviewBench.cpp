// One step of the overview benchmark per run:
//   rastova-bench-overviews generate OUT.tif SIZE BANDS NOISE
//   rastova-bench-overviews levels IN.tif      the levels the program builds, as gdaladdo takes them
//   rastova-bench-overviews build IN.tif       the program's engine: seconds until the overviews can be read,
//                                              seconds until they are compressed
//   rastova-bench-overviews draw IN.tif        the map canvas, 1280 x 900, offscreen: the first draw (opening
//                                              included) and the mean of three full-extent redraws, in seconds
//   rastova-bench-overviews during IN.tif      the same canvas while the window's overview queue builds: the
//                                              first draw, the mean of up to three redraws during the build and
//                                              how many there were, the longest stall of the window's event loop
//                                              during the build in milliseconds, the seconds until the layer
//                                              reads the new overviews, the build's seconds, the mean
//                                              redraw after it

#include "BenchImage.h"
#include "Core/Utils.h"
#include "Gui/OverviewQueue.h"
#include "Processing/OverviewBuilder.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
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

//! Seconds until the canvas has first drawn \a file, opening included.
double timeFirstDraw( QgsMapCanvas &canvas, const QString &file, QgsRasterLayer *&layer )
{
  return timeDraw( canvas,
                   [&]
                   {
                     layer = new QgsRasterLayer( file, QStringLiteral( "scene" ) );
                     QgsProject::instance()->addMapLayer( layer );
                     canvas.setDestinationCrs( layer->crs() );
                     canvas.setLayers( { layer } );
                     canvas.setExtent( layer->extent() );
                     canvas.refresh();
                   } );
}

double meanRedraw( QgsMapCanvas &canvas, QgsRasterLayer *layer )
{
  double redraws = 0;
  for ( int i = 0; i < 3; ++i )
    redraws += timeDraw( canvas, [layer] { layer->triggerRepaint(); } );
  return redraws / 3;
}

int draw( const QString &file )
{
  QgsMapCanvas canvas;
  canvas.resize( 1280, 900 );
  canvas.show();
  QgsRasterLayer *layer = nullptr;
  const double first = timeFirstDraw( canvas, file, layer );
  std::printf( "%.3f %.3f\n", first, meanRedraw( canvas, layer ) );
  return 0;
}

int drawDuringBuild( const QString &file )
{
  QgsMapCanvas canvas;
  canvas.resize( 1280, 900 );
  canvas.show();
  OverviewQueue queue;
  queue.autoBuildAction()->setChecked( true );

  // A timer the event loop should serve every 10 ms: the longest gap between two ticks is the longest stall.
  QElapsedTimer clock;
  clock.start();
  bool building = false;
  qint64 lastTick = 0;
  qint64 longestStall = 0;
  QTimer ticker;
  ticker.setInterval( 10 );
  QObject::connect( &ticker, &QTimer::timeout,
                    [&]
                    {
                      const qint64 now = clock.elapsed();
                      if ( building )
                        longestStall = std::max( longestStall, now - lastTick );
                      lastTick = now;
                    } );
  ticker.start();
  qint64 buildStart = 0;
  qint64 buildEnd = 0;
  QObject::connect( &queue, &OverviewQueue::started,
                    [&]
                    {
                      building = true;
                      buildStart = lastTick = clock.elapsed();
                    } );
  QObject::connect( &queue, &OverviewQueue::idle,
                    [&]
                    {
                      building = false;
                      buildEnd = clock.elapsed();
                    } );

  QgsRasterLayer *layer = nullptr;
  const double first = timeFirstDraw( canvas, file, layer );
  // The layer reads its file anew as soon as the overviews can be read.
  qint64 readable = 0;
  QObject::connect( layer, &QgsMapLayer::dataSourceChanged,
                    [&] { readable = readable ? readable : clock.elapsed() - buildStart; } );
  // A few redraws, as a user looking around: redrawing without pause would keep the cores from the build.
  double during = 0;
  int redraws = 0;
  for ( int i = 0; i < 3 && !queue.isIdle(); ++i )
  {
    const double seconds = timeDraw( canvas, [layer] { layer->triggerRepaint(); } );
    if ( !queue.isIdle() )
    {
      during += seconds;
      ++redraws;
    }
  }
  if ( !queue.isIdle() )
  {
    QEventLoop loop;
    QObject::connect( &queue, &OverviewQueue::idle, &loop, &QEventLoop::quit );
    loop.exec();
  }
  if ( buildStart == 0 )
  {
    std::fprintf( stderr, "no overview build started\n" );
    return 1;
  }
  QEventLoop loop;
  QTimer::singleShot( 200, &loop, &QEventLoop::quit );
  loop.exec();
  std::printf( "%.3f %.3f %d %lld %.3f %.3f %.3f\n", first, redraws ? during / redraws : 0.0, redraws, longestStall,
               readable / 1000.0, ( buildEnd - buildStart ) / 1000.0, meanRedraw( canvas, layer ) );
  return 0;
}
} // namespace

int main( int argc, char *argv[] )
{
  const QByteArray mode = argc > 1 ? QByteArray( argv[1] ) : QByteArray();
  if ( mode == "generate" && argc == 6 )
    return writeBenchImage( argv[2], atoi( argv[3] ), atoi( argv[4] ), atoi( argv[5] ) ) ? 0 : 1;
  if ( ( mode != "levels" && mode != "build" && mode != "draw" && mode != "during" ) || argc != 3 )
  {
    std::fprintf( stderr, "usage: %s generate OUT SIZE BANDS NOISE | levels IN | build IN | draw IN | during IN\n", argv[0] );
    return 2;
  }
  const QString file = QString::fromUtf8( argv[2] );
  if ( mode != "draw" && mode != "during" )
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
    qint64 ready = 0;
    const ProcessingResult result =
        OverviewBuilder::build( { file, 0, true }, nullptr, [&ready, &timer] { ready = timer.elapsed(); } );
    std::printf( "%.3f %.3f %s\n", ready / 1000.0, timer.elapsed() / 1000.0, qPrintable( result.reason ) );
    return result.done() ? 0 : 1;
  }

  QgsApplication application( argc, argv, true );
  Utils::limitGdal();
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();
  const int status = mode == "draw" ? draw( file ) : drawDuringBuild( file );
  QgsProject::instance()->clear();
  QgsApplication::exitQgis();
  return status;
}
