#include "BenchImage.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace
{
//! A scrambled number for each pixel, the same in every run.
std::uint32_t pseudoRandom( int x, int y, int band )
{
  std::uint32_t h = static_cast<std::uint32_t>( x ) * 2654435761u ^ static_cast<std::uint32_t>( y ) * 2246822519u ^
                    static_cast<std::uint32_t>( band ) * 3266489917u;
  h ^= h >> 15;
  h *= 2246822519u;
  return h ^ ( h >> 13 );
}
} // namespace

bool writeBenchImage( const char *path, int size, int bands, int noise )
{
  GDALAllRegister();
  char **options = CSLSetNameValue( nullptr, "TILED", "YES" );
  options = CSLSetNameValue( options, "INTERLEAVE", "BAND" );
  std::unique_ptr<GDALDataset> dataset(
      GetGDALDriverManager()->GetDriverByName( "GTiff" )->Create( path, size, size, bands, GDT_UInt16, options ) );
  CSLDestroy( options );
  if ( !dataset )
    return false;
  double transform[6] = { -8240000, 10, 0, -3500000, 0, -10 };
  dataset->SetGeoTransform( transform );
  OGRSpatialReference srs;
  srs.importFromEPSG( 3857 );
  dataset->SetSpatialRef( &srs );
  std::vector<GUInt16> row( static_cast<std::size_t>( size ) );
  for ( int band = 1; band <= bands; ++band )
  {
    for ( int y = 0; y < size; ++y )
    {
      for ( int x = 0; x < size; ++x )
        row[static_cast<std::size_t>( x )] =
            static_cast<GUInt16>( band * 900 + ( x * 7 + y * 13 ) % 1000 + ( noise > 0 ? pseudoRandom( x, y, band ) % noise : 0 ) );
      if ( dataset->GetRasterBand( band )->RasterIO( GF_Write, 0, y, size, 1, row.data(), size, 1, GDT_UInt16, 0, 0 ) !=
           CE_None )
        return false;
    }
  }
  return true;
}
