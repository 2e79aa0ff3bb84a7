#include "Processing/CreationOptions.h"

#include <cpl_string.h>

QString CreationOptions::name( Compression compression )
{
  switch ( compression )
  {
  case Compression::None:
    return QStringLiteral( "NONE" );
  case Compression::Deflate:
    return QStringLiteral( "DEFLATE" );
  case Compression::Lzw:
    return QStringLiteral( "LZW" );
  case Compression::Zstd:
    return QStringLiteral( "ZSTD" );
  }
  return QString();
}

QStringList CreationOptions::forDriver( const QString &driver, Compression compression, GDALDataType type, int width,
                                        int height )
{
  const bool geoTiff = driver == QLatin1String( "GTiff" );
  if ( !geoTiff && driver != QLatin1String( "COG" ) )
    return {};
  QStringList options;
  if ( compression != Compression::None )
  {
    options << QStringLiteral( "COMPRESS=%1" ).arg( name( compression ) );
    if ( !geoTiff )
      options << QStringLiteral( "PREDICTOR=YES" );
    else if ( GDALDataTypeIsFloating( type ) )
      options << QStringLiteral( "PREDICTOR=3" );
    else
      options << QStringLiteral( "PREDICTOR=2" );
  }
  if ( geoTiff && ( width > tiledAbove || height > tiledAbove ) )
    options << QStringLiteral( "TILED=YES" );
  options << QStringLiteral( "BIGTIFF=IF_SAFER" );
  return options;
}

char **CreationOptions::toGdal( const QStringList &options )
{
  char **list = nullptr;
  for ( const QString &option : options )
    list = CSLAddString( list, option.toUtf8().constData() );
  return list;
}
