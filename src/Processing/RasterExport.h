#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>

class QgsRasterLayer;

//! Writes a raster layer's data to a file of the user's choosing.
class RasterExport
{
  public:
    /**
     * GDAL driver to write \a path with: the writable format its extension names,
     * otherwise the format of \a selectedFilter; empty when neither names one.
     */
    static QString driverForTarget( const QString &path, const QString &selectedFilter );

    /**
     * Writes the whole of \a layer's data (not its rendered picture), at full
     * resolution in its own CRS, to \a path with \a driver, through a safe output.
     */
    static ProcessingResult write( const QgsRasterLayer *layer, const QString &path, const QString &driver );
};
