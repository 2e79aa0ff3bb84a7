#pragma once

#include <QList>
#include <QStringList>

#include <functional>

#include <qgis.h>

class QgsRasterLayer;

/**
 * Stacks the bands of several rasters into one file and splits a raster into
 * one file per band. Work goes in strips of rows, so memory stays bounded
 * whatever the image size; every write, and the closing of every file, is
 * checked.
 */
class RasterBands
{
  public:
    //! Told the percentage done after each output band.
    using Progress = std::function<void( int percent )>;

    /**
     * The smallest data type that holds every band of \a layers without loss
     * (Byte with UInt16 gives UInt16; anything with Float32 gives at least Float32).
     */
    static Qgis::DataType stackDataType( const QList<QgsRasterLayer *> &layers );

    /**
     * Writes all bands of \a layers, in order, into \a output with GDAL driver
     * \a driver (the writer's default when empty), on the first layer's grid,
     * extent and CRS, in stackDataType(). A no-data value that all bands share
     * is kept; when they differ, the stack is written as floats (losslessly)
     * with each band's no-data pixels as NaN, since a GeoTIFF holds only one
     * no-data value. False, with \a error set, when anything could not be read
     * or written.
     */
    static bool stack( const QList<QgsRasterLayer *> &layers, const QString &output, const QString &driver,
                       const Progress &progress, QString *error );

    /**
     * Writes band i of \a layer to \a outputs[i - 1] with \a driver, each file
     * keeping its band's data type and no-data value. Refuses, before writing
     * anything, an invalid or single-band layer, a name count that differs from
     * the band count and a name given twice.
     */
    static bool split( QgsRasterLayer *layer, const QStringList &outputs, const QString &driver,
                       const Progress &progress, QString *error );
};
