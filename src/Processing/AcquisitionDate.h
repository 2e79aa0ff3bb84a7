#pragma once

#include <QDate>
#include <QString>

typedef void *GDALDatasetH;

//! When an image was taken, as its metadata or its name tells.
class AcquisitionDate
{
  public:
    /**
     * The first date written in \a text: "2021-03-15" (or with ":" or "/"),
     * "20210315", or a year alone ("2021", read as its first day). Digits that
     * belong to a longer number do not count. Invalid when there is none.
     */
    static QDate inText( const QString &text );

    /**
     * The date of the raster \a dataset opened from \a source: its acquisition
     * metadata first, then a date in the file name, then in its folder's name.
     */
    static QDate ofRaster( GDALDatasetH dataset, const QString &source );
};
