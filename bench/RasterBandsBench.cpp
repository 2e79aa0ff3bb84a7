// One route of the image combination / separation benchmark per run:
//   rastova-bench-bands generate OUT.tif SIZE BANDS
//   rastova-bench-bands stack OUT.tif IN.tif...     the program's engine
//   rastova-bench-bands split IN.tif OUTDIR         the program's engine

#include "BenchImage.h"
#include "Processing/RasterBands.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <qgsapplication.h>
#include <qgsrasterlayer.h>

#include <memory>

int main( int argc, char *argv[] )
{
  const QByteArray mode = argc > 1 ? QByteArray( argv[1] ) : QByteArray();
  if ( mode == "generate" && argc == 5 )
    return writeBenchImage( argv[2], atoi( argv[3] ), atoi( argv[4] ) ) ? 0 : 1;
  if ( !( mode == "stack" && argc >= 4 ) && !( mode == "split" && argc == 4 ) )
  {
    std::fprintf( stderr, "usage: %s generate OUT SIZE BANDS | stack OUT IN... | split IN OUTDIR\n", argv[0] );
    return 2;
  }
  QgsApplication application( argc, argv, false );
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();

  std::vector<std::unique_ptr<QgsRasterLayer>> layers;
  for ( int i = mode == "stack" ? 3 : 2; i < ( mode == "stack" ? argc : 3 ); ++i )
    layers.push_back( std::make_unique<QgsRasterLayer>(
        QString::fromUtf8( argv[i] ), QFileInfo( QString::fromUtf8( argv[i] ) ).completeBaseName() ) );
  QElapsedTimer timer;
  timer.start();
  ProcessingResult result;
  if ( mode == "stack" )
  {
    QList<QgsRasterLayer *> inputs;
    for ( const auto &layer : layers )
      inputs << layer.get();
    result = RasterBands::stack(
        RasterBands::stackRequest( inputs, QString::fromUtf8( argv[2] ), QStringLiteral( "GTiff" ) ), nullptr );
  }
  else
  {
    QStringList outputs;
    for ( int band = 1; band <= layers.front()->bandCount(); ++band )
      outputs << QDir( QString::fromUtf8( argv[3] ) ).filePath( QStringLiteral( "band%1.tif" ).arg( band ) );
    result = RasterBands::split( RasterBands::splitRequest( layers.front().get(), outputs, QStringLiteral( "GTiff" ) ),
                                 nullptr );
  }
  std::printf( "%s %.3f s %s\n", mode.constData(), timer.elapsed() / 1000.0, qPrintable( result.reason ) );
  layers.clear();
  QgsApplication::exitQgis();
  return result.done() ? 0 : 1;
}
