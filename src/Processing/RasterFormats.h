#pragma once

#include <QList>
#include <QString>

//! The GDAL formats the raster tools can write.
class RasterFormats
{
  public:
    //! A GDAL format that can create rasters.
    struct Format
    {
        QString longName;
        QString shortName;
        //! The driver's declared extension without the dot; empty when it declares none.
        QString extension;
    };

    //! Every GDAL driver that can create rasters, in GDAL's order, except the in-memory one.
    static QList<Format> writable();
};
