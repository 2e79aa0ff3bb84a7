#pragma once

#include <QString>
#include <QStringList>

#include <gdal.h>

/**
 * The creation options every raster writer of the program passes to GDAL:
 * the compression the user chose, with the predictor that fits the data
 * type, and tiles for a GeoTIFF too large to read comfortably in strips.
 */
class CreationOptions
{
  public:
    enum class Compression
    {
      None,
      Deflate,
      Lzw,
      Zstd,
    };

    //! Above this many pixels across or down, a GeoTIFF is written in tiles.
    static constexpr int tiledAbove = 2048;

    //! GDAL's name of \a compression ("NONE", "DEFLATE", "LZW", "ZSTD").
    static QString name( Compression compression );

    /**
     * The options for a \a width x \a height raster of \a type written by
     * \a driver: compression for GeoTIFF and COG (horizontal differencing for
     * integers, floating-point prediction for floats), tiles for a large
     * GeoTIFF, BigTIFF when the size needs it; nothing for other drivers.
     */
    static QStringList forDriver( const QString &driver, Compression compression, GDALDataType type, int width,
                                  int height );

    //! The same options as GDAL's string list; free it with CSLDestroy.
    static char **toGdal( const QStringList &options );
};
