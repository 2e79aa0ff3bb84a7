#include "Processing/GdalSettings.h"

#include <QDir>

#include <cpl_conv.h>
#include <gdal.h>

#include <algorithm>

GIntBig GdalSettings::blockCacheBound()
{
  // What GDAL had before the program first bounded it, if that was less.
  static const GIntBig bound = std::min<GIntBig>( GDALGetCacheMax64(), 64 * 1024 * 1024 );
  return bound;
}

void GdalSettings::boundBlockCache()
{
  const GIntBig bound = blockCacheBound();
  if ( GDALGetCacheMax64() > bound )
    GDALSetCacheMax64( bound );
}

void GdalSettings::keepSidecarsIn( const QString &folder )
{
  if ( CPLGetConfigOption( "GDAL_PAM_PROXY_DIR", nullptr ) || !QDir().mkpath( folder ) )
    return;
  CPLSetConfigOption( "GDAL_PAM_PROXY_DIR", QDir::toNativeSeparators( folder ).toUtf8().constData() );
}
