// One route of the band math benchmark per run, so each can be measured alone:
//   rastova-bench-bandmath generate OUT.tif SIZE     a 4-band UInt16 image SIZE x SIZE
//   rastova-bench-bandmath rastova IN.tif OUT.tif    NDVI through the program's engine
//   rastova-bench-bandmath qgis IN.tif OUT.tif       NDVI through QgsRasterCalculator alone

#include "Tools/BandMath.h"

#include <QElapsedTimer>

#include <cstdio>
#include <gdal_priv.h>
#include <qgsapplication.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <vector>

namespace
{
const QString ndvi = QStringLiteral( "( \"img@4\" - \"img@3\" ) / ( \"img@4\" + \"img@3\" )" );

int generate( const char *path, int size )
{
  GDALAllRegister();
  char **options = CSLSetNameValue( nullptr, "TILED", "YES" );
  std::unique_ptr<GDALDataset> dataset(
      GetGDALDriverManager()->GetDriverByName( "GTiff" )->Create( path, size, size, 4, GDT_UInt16, options ) );
  CSLDestroy( options );
  if ( !dataset )
    return 1;
  double transform[6] = { -8240000, 10, 0, -3500000, 0, -10 };
  dataset->SetGeoTransform( transform );
  OGRSpatialReference srs;
  srs.importFromEPSG( 3857 );
  dataset->SetSpatialRef( &srs );
  std::vector<GUInt16> row( static_cast<std::size_t>( size ) );
  for ( int band = 1; band <= 4; ++band )
  {
    for ( int y = 0; y < size; ++y )
    {
      for ( int x = 0; x < size; ++x )
        row[static_cast<std::size_t>( x )] = static_cast<GUInt16>( band * 900 + ( x * 7 + y * 13 ) % 1000 );
      if ( dataset->GetRasterBand( band )->RasterIO( GF_Write, 0, y, size, 1, row.data(), size, 1, GDT_UInt16, 0, 0 ) !=
           CE_None )
        return 1;
    }
  }
  return 0;
}
} // namespace

int main( int argc, char *argv[] )
{
  if ( argc == 4 && QByteArray( argv[1] ) == "generate" )
    return generate( argv[2], atoi( argv[3] ) );
  if ( argc != 4 || ( QByteArray( argv[1] ) != "rastova" && QByteArray( argv[1] ) != "qgis" ) )
  {
    std::fprintf( stderr, "usage: %s generate OUT SIZE | rastova IN OUT | qgis IN OUT\n", argv[0] );
    return 2;
  }
  QgsApplication application( argc, argv, false );
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();
  auto *layer = new QgsRasterLayer( QString::fromUtf8( argv[2] ), QStringLiteral( "img" ), QStringLiteral( "gdal" ) );
  QgsProject::instance()->addMapLayer( layer );

  QElapsedTimer timer;
  timer.start();
  int result = 0;
  if ( QByteArray( argv[1] ) == "rastova" )
  {
    BandMath::Request request;
    request.expression = ndvi;
    request.outputFile = QString::fromUtf8( argv[3] );
    request.driver = QStringLiteral( "GTiff" );
    request.extent = layer->extent();
    request.columns = layer->width();
    request.rows = layer->height();
    result = BandMath::run( request );
  }
  else
  {
    QgsRasterCalculator calculator(
        ndvi, QString::fromUtf8( argv[3] ), QStringLiteral( "GTiff" ), layer->extent(), layer->crs(), layer->width(),
        layer->height(), QgsRasterCalculatorEntry::rasterEntries(), QgsProject::instance()->transformContext() );
    result = calculator.processCalculation();
  }
  std::printf( "%s %.3f s, result %d\n", argv[1], timer.elapsed() / 1000.0, result );
  QgsApplication::exitQgis();
  return result;
}
