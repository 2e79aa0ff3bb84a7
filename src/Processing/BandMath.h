#pragma once

#include <QList>
#include <QString>
#include <QVector>

#include <qgscoordinatereferencesystem.h>
#include <qgscoordinatetransformcontext.h>
#include <qgsrastercalculator.h>
#include <qgsrectangle.h>

#include <memory>

class QgsFeedback;
class QgsRasterCalcNode;
class QgsRasterDataProvider;

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

    //! One band the expression names, with what the run needs to read it off the GUI thread.
    struct Input
    {
        //! The reference as the expression writes it, without quotes ("dem@1").
        QString reference;
        int band = 0;
        QgsCoordinateReferenceSystem crs;
        //! One provider per worker thread: providers are not thread-safe.
        QVector<std::shared_ptr<QgsRasterDataProvider>> providers;
    };

    //! What to compute and where to write it.
    struct Request
    {
        QString expression;
        QString outputFile;
        QString driver;
        //! In the result's CRS.
        QgsRectangle extent;
        int columns = 0;
        int rows = 0;
        //! The result's CRS, that of the extent; when invalid, prepare() takes the project's first raster's.
        QgsCoordinateReferenceSystem crs;
        QgsCoordinateTransformContext transformContext;
        //! Filled by prepare(): only the bands the expression names.
        QVector<Input> inputs;
        //! Filled by prepare(): the parsed expression, one per worker, since QGIS's parser is not reentrant.
        QVector<std::shared_ptr<const QgsRasterCalcNode>> trees;
    };

    //! Every GDAL driver that can create rasters, in GDAL's order, except the in-memory one.
    static QList<Format> outputFormats();

    //! Whether the raster calculator can parse \a expression.
    static bool isValidExpression( const QString &expression );

    /**
     * Fills the transform context, the inputs and a missing CRS of \a request from the
     * current project, cloning a provider per worker for each named raster.
     * Call on the GUI thread. Without any raster in the project it is an
     * InputLayerError; a band that no project layer has is a BandError.
     */
    static QgsRasterCalculator::Result prepare( Request &request );

    /**
     * Computes a prepared \a request in strips on every core and writes the
     * Float32 result through a safe output, so a failed or cancelled run
     * leaves the earlier target as it was. Values are those of
     * QgsRasterCalculator, except that a pixel where a named raster has no
     * value (outside its extent, no-data, or a failed reprojection) is
     * no-data. A named raster that cannot be reprojected anywhere on the
     * output is an InputLayerError.
     */
    static QgsRasterCalculator::Result run( const Request &request, QgsFeedback *feedback = nullptr );

    //! Prepares and runs \a request at once; for callers without a GUI thread of their own.
    static QgsRasterCalculator::Result prepareAndRun( Request request, QgsFeedback *feedback = nullptr );
};
