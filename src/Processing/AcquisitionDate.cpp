#include "Processing/AcquisitionDate.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <gdal.h>

namespace
{
// Later years are more often sizes or counters ("tile_2048") than dates.
bool plausibleYear( int year )
{
  return year >= 1950 && year <= QDate::currentDate().year() + 1;
}

// The dates a value or a name may hold, most precise first: a year found inside a full date must not win.
QDate dayIn( const QString &text )
{
  static const QRegularExpression separated( QStringLiteral( "(?<!\\d)(\\d{4})[-:/](\\d{2})[-:/](\\d{2})(?!\\d)" ) );
  static const QRegularExpression compact( QStringLiteral( "(?<!\\d)(\\d{4})(\\d{2})(\\d{2})(?!\\d)" ) );
  for ( const QRegularExpression *pattern : { &separated, &compact } )
  {
    QRegularExpressionMatchIterator matches = pattern->globalMatch( text );
    while ( matches.hasNext() )
    {
      const QRegularExpressionMatch match = matches.next();
      const QDate date( match.captured( 1 ).toInt(), match.captured( 2 ).toInt(), match.captured( 3 ).toInt() );
      if ( date.isValid() && plausibleYear( date.year() ) )
        return date;
    }
  }
  return QDate();
}
} // namespace

QDate AcquisitionDate::inText( const QString &text )
{
  const QDate day = dayIn( text );
  if ( day.isValid() )
    return day;
  static const QRegularExpression year( QStringLiteral( "(?<!\\d)(\\d{4})(?!\\d)" ) );
  QRegularExpressionMatchIterator matches = year.globalMatch( text );
  while ( matches.hasNext() )
  {
    const int value = matches.next().captured( 1 ).toInt();
    if ( plausibleYear( value ) )
      return QDate( value, 1, 1 );
  }
  return QDate();
}

QDate AcquisitionDate::ofRaster( GDALDatasetH dataset, const QString &source )
{
  if ( dataset )
  {
    // Scene readers, GeoTIFF writers and processing chains each use their own key.
    for ( const char *key : { "ACQUISITION_DATETIME", "ACQUISITION_DATE", "DATE_ACQUIRED", "TIFFTAG_DATETIME" } )
    {
      const QDate date = dayIn( QString::fromUtf8( GDALGetMetadataItem( dataset, key, nullptr ) ) );
      if ( date.isValid() )
        return date;
    }
  }
  const QFileInfo file( source );
  const QDate named = inText( file.completeBaseName() );
  return named.isValid() ? named : inText( QFileInfo( file.path() ).fileName() );
}
