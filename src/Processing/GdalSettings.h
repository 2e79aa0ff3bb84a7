#pragma once

//! GDAL settings that hold for the whole process.
class GdalSettings
{
  public:
    /**
     * Caps GDAL's block cache, once per process. Written blocks otherwise wait
     * in a cache of 5 % of the machine's memory, which one large result fills;
     * capped, raster work keeps bounded memory and runs faster. Runs may
     * overlap, so the cap is never saved and restored around one.
     */
    static void boundBlockCache();
};
