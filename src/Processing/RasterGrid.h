#pragma once

#include <qgscoordinatereferencesystem.h>
#include <qgsrectangle.h>

class QgsRasterLayer;

//! The pixel grid of a raster: where it lies, in which CRS, and how many pixels it has.
struct RasterGrid
{
    QgsRectangle extent;
    int width = 0;
    int height = 0;
    QgsCoordinateReferenceSystem crs;

    static RasterGrid of( const QgsRasterLayer *layer );

    double pixelWidth() const { return extent.width() / width; }
    double pixelHeight() const { return extent.height() / height; }

    /**
     * The area of rows [firstRow, firstRow + rows), computed as
     * QgsRasterCalculator computes its row rectangles, so a resampled read of
     * it picks the same source pixels as the calculator's.
     */
    QgsRectangle stripExtent( int firstRow, int rows ) const;

    //! Rows per strip so that a strip holds about \a pixels pixels (at least one row, at most the grid).
    int stripRows( qint64 pixels ) const;

    /**
     * Same CRS, and corners less than a thousandth of one of this grid's
     * pixels apart: a result whose corners went through decimal text still
     * covers its source's area.
     */
    bool coversSameArea( const RasterGrid &other ) const;

    //! Covers the same area with the same number of pixels: pixel (x, y) is the same place in both.
    bool linesUpWith( const RasterGrid &other ) const;
};
