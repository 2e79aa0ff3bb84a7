#include "Processing/RasterFormats.h"

#include <gdal.h>
#include <qgsgdalutils.h>

QList<RasterFormats::Format> RasterFormats::writable()
{
  GDALAllRegister();
  QList<Format> formats;
  for ( int i = 0; i < GDALGetDriverCount(); ++i )
  {
    GDALDriverH driver = GDALGetDriver( i );
    if ( !driver || !QgsGdalUtils::supportsRasterCreate( driver ) )
      continue;
    const QString shortName = QString::fromUtf8( GDALGetDriverShortName( driver ) );
    if ( shortName == QLatin1String( "MEM" ) )
      continue;
    formats.append( { QString::fromUtf8( GDALGetDriverLongName( driver ) ), shortName,
                      QString::fromUtf8( GDALGetMetadataItem( driver, GDAL_DMD_EXTENSION, nullptr ) ) } );
  }
  return formats;
}
