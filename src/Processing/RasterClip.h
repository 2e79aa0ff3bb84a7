#pragma once

#include "Processing/CreationOptions.h"
#include "Processing/ProcessingResult.h"

#include <QList>
#include <QString>
#include <QVector>

#include <qgscoordinatereferencesystem.h>
#include <qgscoordinatetransformcontext.h>
#include <qgsgeometry.h>
#include <qgsrectangle.h>

#include <gdal.h>

class QgsFeedback;

/**
 * Cuts an area, a set of bands, a CRS and a pixel size out of a raster and
 * writes it, with GDAL's own translate and warp. Without a new CRS or pixel
 * size the area is widened to whole source pixels and the pixels are copied,
 * never resampled, so the result lies on the source's grid.
 */
class RasterClip
{
  public:
    //! Everything a cut needs, gathered on the GUI thread; the work reads only this.
    struct Request
    {
        //! The raster as GDAL opens it.
        QString source;
        QString output;
        QString driver = QStringLiteral( "GTiff" );
        //! The area to keep; a null rectangle keeps the whole raster.
        QgsRectangle extent;
        QgsCoordinateReferenceSystem extentCrs;
        //! Polygons to cut along: pixels outside them become no-data, the result is cropped to them.
        bool useMask = false;
        QVector<QgsGeometry> mask;
        QgsCoordinateReferenceSystem maskCrs;
        //! Source bands (from 1) in output order.
        QList<int> bands;
        //! The output CRS; invalid or the source's keeps the source's.
        QgsCoordinateReferenceSystem crs;
        //! Output pixel size in the output CRS's units; 0 keeps the source's (GDAL's choice after reprojection).
        double resolution = 0;
        //! A GDAL resampling name: near, bilinear, cubic, average, mode.
        QString resampling = QStringLiteral( "near" );
        //! GDT_Unknown keeps the source's type.
        GDALDataType dataType = GDT_Unknown;
        bool hasNoData = false;
        double noData = 0;
        CreationOptions::Compression compression = CreationOptions::Compression::Deflate;
        //! A Cloud-Optimised GeoTIFF, whatever the driver.
        bool cog = false;
        bool overviews = false;
        QgsCoordinateTransformContext transformContext;
    };

    //! The lowest and highest value of the chosen bands.
    struct Range
    {
        double minimum = 0;
        double maximum = 0;
    };

    /**
     * Whether \a request can run, checked without writing anything: a band
     * out of range or none (NoBand), an area off the raster (OutsideRaster),
     * a mask without any polygon (EmptyMask), a mask without a no-data value.
     */
    static ProcessingResult check( const Request &request );

    //! The values the chosen bands hold (approximately, for a large raster); false when they cannot be read.
    static bool valueRange( const Request &request, Range &range );

    //! Whether every value of \a range fits \a type unchanged in magnitude.
    static bool typeHolds( GDALDataType type, const Range &range );

    //! The pixel size GDAL suggests for \a source in \a crs; 0 when it cannot tell.
    static double suggestedResolution( const QString &source, const QgsCoordinateReferenceSystem &crs );

    /**
     * Writes the cut through a safe output, reporting progress to \a
     * feedback and stopping within a fraction of a second when it is
     * cancelled. Values beyond \a request's data type are clamped to it.
     */
    static ProcessingResult run( const Request &request, QgsFeedback *feedback = nullptr );
};
