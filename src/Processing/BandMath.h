#pragma once

#include <QList>
#include <QString>

#include <qgsrastercalculator.h>
#include <qgsrectangle.h>

class QgsFeedback;

//! Band math on the rasters of the current project, written through GDAL.
class BandMath
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

    //! What to compute and where to write it.
    struct Request
    {
        QString expression;
        QString outputFile;
        QString driver;
        //! In the CRS of the project's first raster, which the result also takes.
        QgsRectangle extent;
        int columns = 0;
        int rows = 0;
    };

    //! Every GDAL driver that can create rasters, in GDAL's order, except the in-memory one.
    static QList<Format> outputFormats();

    //! \a path with "." and \a extension added when the path has no suffix and the extension is known.
    static QString outputFileName( const QString &path, const QString &extension );

    //! Whether the raster calculator can parse \a expression.
    static bool isValidExpression( const QString &expression );

    /**
     * Computes \a request over all raster layers of the project and writes the
     * Float32 result. Without any raster in the project it is an InputLayerError.
     * A band that no project layer has is a BandError, found
     * before anything is written. A write that GDAL reports failing (a full
     * disk, for one) is a CreateOutputError, though the calculator itself would
     * call it a success.
     */
    static QgsRasterCalculator::Result run( const Request &request, QgsFeedback *feedback = nullptr );
};
