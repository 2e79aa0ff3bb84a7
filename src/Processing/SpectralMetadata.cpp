#include "Processing/SpectralMetadata.h"

#include "Processing/AcquisitionDate.h"
#include "Processing/StreamCheck.h"

#include <gdal.h>

#include <cmath>

namespace
{
QString item( GDALRasterBandH band, const char *key, const char *domain = nullptr )
{
  return QString::fromUtf8( GDALGetMetadataItem( band, key, domain ) ).trimmed();
}

// "0.865", "865 nm", "865.0 Nanometers": the leading number.
double leadingNumber( const QString &text )
{
  bool ok = false;
  const double value = text.section( QLatin1Char( ' ' ), 0, 0, QString::SectionSkipEmpty ).toDouble( &ok );
  return ok && value > 0 && std::isfinite( value ) ? value : 0;
}
} // namespace

double SpectralMetadata::wavelengthNanometres( GDALRasterBandH band )
{
  for ( const char *domain : { static_cast<const char *>( nullptr ), "IMAGERY" } )
  {
    const double micrometres = leadingNumber( item( band, "CENTRAL_WAVELENGTH_UM", domain ) );
    if ( micrometres > 0 )
      return micrometres * 1000;
  }
  for ( const auto &[value, units] :
        { std::make_pair( "WAVELENGTH", "WAVELENGTH_UNITS" ), std::make_pair( "wavelength", "wavelength_units" ) } )
  {
    const QString text = item( band, value );
    const double number = leadingNumber( text );
    if ( number <= 0 )
      continue;
    const QString unit = ( item( band, units ) + QLatin1Char( ' ' ) + text.section( QLatin1Char( ' ' ), 1 ) ).toLower();
    if ( unit.contains( QLatin1String( "nano" ) ) || unit.contains( QLatin1String( "nm" ) ) )
      return number;
    if ( unit.contains( QLatin1String( "micro" ) ) || unit.contains( QLatin1String( "um" ) ) ||
         unit.contains( QStringLiteral( "µm" ) ) )
      return number * 1000;
    return number < 100 ? number * 1000 : number;
  }
  return 0;
}

SpectralMetadata SpectralMetadata::read( const QString &source )
{
  SpectralMetadata metadata;
  if ( StreamCheck::isStreamOrDevice( source ) )
    return metadata;
  GDALDatasetH dataset =
      GDALOpenEx( source.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr );
  if ( !dataset )
    return metadata;
  metadata.date = AcquisitionDate::ofRaster( dataset, source );
  for ( int number = 1; number <= GDALGetRasterCount( dataset ); ++number )
  {
    GDALRasterBandH band = GDALGetRasterBand( dataset, number );
    Band info;
    info.description = QString::fromUtf8( GDALGetDescription( band ) ).trimmed();
    info.wavelength = wavelengthNanometres( band );
    info.date = AcquisitionDate::inText( info.description );
    metadata.bands << info;
  }
  GDALClose( dataset );
  return metadata;
}
