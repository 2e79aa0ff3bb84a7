#pragma once

#include <QString>

#include <cpl_port.h>

//! GDAL settings that hold for the whole process.
class GdalSettings
{
  public:
    /**
     * Caps GDAL's block cache for a run. Written blocks otherwise wait in a
     * cache of 5 % of the machine's memory, which one large result fills;
     * capped, raster work keeps bounded memory and runs faster. Every run
     * calls it, so the cap holds whatever raised the cache since; runs may
     * overlap, so it is never saved and restored around one.
     */
    static void boundBlockCache();

    //! The cap boundBlockCache() keeps: 64 MiB, or less when GDAL had less to begin with.
    static GIntBig blockCacheBound();

    /**
     * Makes GDAL keep the auxiliary files (statistics, overviews) of rasters
     * in read-only folders in \a folder. GDAL reads the setting once, with
     * the first raster it opens, so call this before; a folder set in the
     * environment wins.
     */
    static void keepSidecarsIn( const QString &folder );
};
