#include "Processing/SpectralProfile.h"

#include "Processing/SafeOutput.h"

#include <QFile>
#include <QMap>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace
{
// The shortest text that reads back as the same value; a Float32 band's value as the float it is.
QString csvNumber( double value )
{
  char text[64];
  const float single = static_cast<float>( value );
  const std::to_chars_result written = static_cast<double>( single ) == value
                                           ? std::to_chars( text, text + sizeof text, single )
                                           : std::to_chars( text, text + sizeof text, value );
  return QString::fromLatin1( text, static_cast<int>( written.ptr - text ) );
}

QString csvField( const QString &text )
{
  if ( !text.contains( QLatin1Char( ',' ) ) && !text.contains( QLatin1Char( '"' ) ) &&
       !text.contains( QLatin1Char( '\n' ) ) )
    return text;
  return QLatin1Char( '"' ) + QString( text ).replace( QLatin1Char( '"' ), QLatin1String( "\"\"" ) ) +
         QLatin1Char( '"' );
}
} // namespace

bool SpectralProfile::hasWavelengths() const
{
  return !points.isEmpty() &&
         std::all_of( points.cbegin(), points.cend(), []( const Point &point ) { return point.wavelength > 0; } );
}

QList<SpectralProfile> SpectralProfile::of( const QList<PixelValues::Layer> &layers, const QgsPointXY &point,
                                            int decimals )
{
  QList<SpectralProfile> profiles;
  const QString place =
      QStringLiteral( "(%1, %2)" ).arg( point.x(), 0, 'f', decimals ).arg( point.y(), 0, 'f', decimals );
  for ( const PixelValues::Layer &layer : layers )
  {
    if ( layer.bands.size() < 2 )
      continue;
    SpectralProfile profile;
    profile.name = layer.name + QLatin1Char( ' ' ) + place;
    for ( const PixelValues::Band &band : layer.bands )
      profile.points << Point{ band.number, band.wavelength, band.noData ? std::nan( "" ) : band.value };
    profiles << profile;
  }
  return profiles;
}

QString SpectralProfile::csv( const QList<SpectralProfile> &profiles )
{
  QMap<int, double> wavelengths;
  QVector<QMap<int, double>> values( profiles.size() );
  for ( int column = 0; column < profiles.size(); ++column )
  {
    for ( const Point &point : profiles.at( column ).points )
    {
      if ( !wavelengths.contains( point.band ) || ( wavelengths.value( point.band ) <= 0 && point.wavelength > 0 ) )
        wavelengths.insert( point.band, point.wavelength );
      values[column].insert( point.band, point.value );
    }
  }
  QStringList header{ QStringLiteral( "band" ), QStringLiteral( "wavelength_nm" ) };
  for ( const SpectralProfile &profile : profiles )
    header << csvField( profile.name );
  QString text = header.join( QLatin1Char( ',' ) ) + QLatin1Char( '\n' );
  for ( auto band = wavelengths.cbegin(); band != wavelengths.cend(); ++band )
  {
    QStringList row{ QString::number( band.key() ), band.value() > 0 ? csvNumber( band.value() ) : QString() };
    for ( const QMap<int, double> &column : qAsConst( values ) )
    {
      const double value = column.value( band.key(), std::nan( "" ) );
      row << ( std::isnan( value ) ? QString() : csvNumber( value ) );
    }
    text += row.join( QLatin1Char( ',' ) ) + QLatin1Char( '\n' );
  }
  return text;
}

ProcessingResult SpectralProfile::writeCsv( const QList<SpectralProfile> &profiles, const QString &fileName )
{
  SafeOutput output( fileName );
  QFile file( output.temporaryPath() );
  const QByteArray bytes = csv( profiles ).toUtf8();
  if ( !file.open( QIODevice::WriteOnly ) || file.write( bytes ) != bytes.size() || !file.flush() )
    return ProcessingResult::failed( file.errorString(), ProcessingResult::Status::WriteFailed );
  file.close();
  return output.commit();
}
