// Writes a synthetic four-band scene (red, green, blue, near infrared; UInt16
// reflectance x 10000 with the scale that says so, the bands' wavelengths, an
// acquisition date, no-data 0 outside a tilted footprint) in UTM 48N, so a new
// user has something realistic to open, stretch, profile and compute on.

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace
{
constexpr int width = 1200;
constexpr int height = 1000;
constexpr double pixelSize = 30.0;
constexpr double originX = 560000.0;
constexpr double originY = 2330000.0;

using Signature = std::array<double, 4>; // red, green, blue, nir

constexpr Signature water{ 300, 520, 720, 160 };
constexpr Signature forest{ 420, 720, 450, 3400 };
constexpr Signature greenCrop{ 480, 930, 470, 4100 };
constexpr Signature ripeCrop{ 1250, 1180, 700, 2700 };
constexpr Signature bareSoil{ 1750, 1500, 1180, 2300 };
constexpr Signature urban{ 1500, 1380, 960, 1950 };

double hash( int x, int y, int seed )
{
  std::uint32_t h = static_cast<std::uint32_t>( x ) * 374761393u + static_cast<std::uint32_t>( y ) * 668265263u +
                    static_cast<std::uint32_t>( seed ) * 2246822519u;
  h = ( h ^ ( h >> 13 ) ) * 1274126177u;
  return ( ( h ^ ( h >> 16 ) ) & 0xffffff ) / double( 0xffffff );
}

double valueNoise( double x, double y, int seed )
{
  const int x0 = static_cast<int>( std::floor( x ) );
  const int y0 = static_cast<int>( std::floor( y ) );
  const double fx = x - x0, fy = y - y0;
  const double sx = fx * fx * ( 3 - 2 * fx ), sy = fy * fy * ( 3 - 2 * fy );
  const double top = hash( x0, y0, seed ) * ( 1 - sx ) + hash( x0 + 1, y0, seed ) * sx;
  const double bottom = hash( x0, y0 + 1, seed ) * ( 1 - sx ) + hash( x0 + 1, y0 + 1, seed ) * sx;
  return top * ( 1 - sy ) + bottom * sy;
}

double fractalNoise( double x, double y, int seed )
{
  double sum = 0, amplitude = 0.5, frequency = 1;
  for ( int octave = 0; octave < 5; ++octave )
  {
    sum += amplitude * valueNoise( x * frequency, y * frequency, seed + octave );
    amplitude *= 0.5;
    frequency *= 2;
  }
  return sum;
}

Signature landCover( int col, int row )
{
  const double x = col / 180.0, y = row / 180.0;
  const double river = std::abs( row - ( 520 + 120 * std::sin( col / 170.0 ) + 40 * fractalNoise( x, 0.5, 7 ) ) );
  if ( river < 9 + 4 * fractalNoise( x * 3, y * 3, 11 ) )
    return water;
  const double relief = fractalNoise( x, y, 1 );
  if ( relief > 0.62 )
    return forest;
  const bool town = std::hypot( col - 860, row - 330 ) < 150 + 60 * fractalNoise( x * 2, y * 2, 3 );
  if ( town )
    return ( col % 40 < 3 || row % 36 < 3 ) ? bareSoil : urban;
  // Fields: a tilted grid of parcels, each with its own crop stage.
  const int parcelX = static_cast<int>( std::floor( ( col * 0.96 + row * 0.28 ) / 46 ) );
  const int parcelY = static_cast<int>( std::floor( ( row * 0.96 - col * 0.28 ) / 30 ) );
  const double stage = hash( parcelX, parcelY, 5 );
  if ( stage < 0.5 )
    return greenCrop;
  if ( stage < 0.8 )
    return ripeCrop;
  return relief > 0.5 ? forest : bareSoil;
}

bool insideFootprint( int col, int row )
{
  // Scenes are delivered on a tilted swath; the corners are no-data.
  const double u = ( col - width / 2.0 ) * std::cos( 0.2 ) + ( row - height / 2.0 ) * std::sin( 0.2 );
  const double v = -( col - width / 2.0 ) * std::sin( 0.2 ) + ( row - height / 2.0 ) * std::cos( 0.2 );
  return std::abs( u ) < width * 0.46 && std::abs( v ) < height * 0.44;
}
} // namespace

int main( int argc, char *argv[] )
{
  if ( argc != 2 )
  {
    std::fprintf( stderr, "usage: %s OUTPUT.tif\n", argv[0] );
    return 2;
  }
  GDALAllRegister();
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName( "GTiff" );
  char **options = nullptr;
  options = CSLSetNameValue( options, "COMPRESS", "DEFLATE" );
  options = CSLSetNameValue( options, "TILED", "YES" );
  options = CSLSetNameValue( options, "PHOTOMETRIC", "MINISBLACK" );
  GDALDataset *dataset = driver ? driver->Create( argv[1], width, height, 4, GDT_UInt16, options ) : nullptr;
  CSLDestroy( options );
  if ( !dataset )
  {
    std::fprintf( stderr, "cannot create %s: %s\n", argv[1], CPLGetLastErrorMsg() );
    return 1;
  }

  double transform[6] = { originX, pixelSize, 0, originY, 0, -pixelSize };
  dataset->SetGeoTransform( transform );
  OGRSpatialReference srs;
  srs.importFromEPSG( 32648 );
  dataset->SetSpatialRef( &srs );

  std::mt19937 random( 42 );
  std::normal_distribution<double> sensorNoise( 0.0, 1.0 );
  std::vector<std::vector<std::uint16_t>> bands( 4, std::vector<std::uint16_t>( std::size_t( width ) * height ) );
  for ( int row = 0; row < height; ++row )
  {
    for ( int col = 0; col < width; ++col )
    {
      const std::size_t index = std::size_t( row ) * width + col;
      if ( !insideFootprint( col, row ) )
        continue; // stays 0, the no-data value
      const Signature signature = landCover( col, row );
      const double brightness = 0.85 + 0.3 * fractalNoise( col / 40.0, row / 40.0, 9 );
      for ( int band = 0; band < 4; ++band )
      {
        const double value = signature[band] * brightness + 25 * sensorNoise( random );
        bands[band][index] = static_cast<std::uint16_t>( std::clamp( value, 1.0, 10000.0 ) );
      }
    }
  }

  dataset->SetMetadataItem( "ACQUISITION_DATE", "2024-03-15" );
  const char *names[] = { "Red", "Green", "Blue", "NIR" };
  const char *wavelengths[] = { "0.655", "0.561", "0.482", "0.865" };
  const GDALColorInterp interpretations[] = { GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_Undefined };
  bool written = true;
  for ( int band = 0; band < 4; ++band )
  {
    GDALRasterBand *rasterBand = dataset->GetRasterBand( band + 1 );
    rasterBand->SetNoDataValue( 0 );
    rasterBand->SetDescription( names[band] );
    rasterBand->SetColorInterpretation( interpretations[band] );
    rasterBand->SetMetadataItem( "CENTRAL_WAVELENGTH_UM", wavelengths[band] );
    rasterBand->SetScale( 0.0001 );
    written = written && rasterBand->RasterIO( GF_Write, 0, 0, width, height, bands[band].data(), width, height,
                                               GDT_UInt16, 0, 0 ) == CE_None;
  }
  int levels[] = { 2, 4, 8 };
  written = written && dataset->BuildOverviews( "AVERAGE", 3, levels, 0, nullptr, nullptr, nullptr ) == CE_None;
  GDALClose( dataset );
  if ( !written )
  {
    std::fprintf( stderr, "cannot write %s: %s\n", argv[1], CPLGetLastErrorMsg() );
    return 1;
  }
  return 0;
}
