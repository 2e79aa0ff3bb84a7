#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>

struct Scene;

//! A Sentinel-2 Level-2A product described by its MTD_MSIL2A.xml.
class Sentinel2Product
{
  public:
    /**
     * Fills \a scene from the MTD_MSIL2A.xml at \a metadataFile (a GDAL path);
     * the band files are those the metadata lists, relative to it. Fails only
     * when no band can be read.
     */
    static ProcessingResult read( const QString &metadataFile, Scene &scene );
};
