#include "Processing/GdalSettings.h"

#include <gdal.h>

#include <algorithm>
#include <mutex>

void GdalSettings::boundBlockCache()
{
  static std::once_flag once;
  std::call_once( once,
                  []
                  {
                    constexpr GIntBig cacheBytes = 64 * 1024 * 1024;
                    GDALSetCacheMax64( std::min<GIntBig>( GDALGetCacheMax64(), cacheBytes ) );
                  } );
}
