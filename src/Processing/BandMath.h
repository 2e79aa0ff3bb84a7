#pragma once

#include "Processing/CreationOptions.h"
#include "Processing/OverviewBuilder.h"
#include "Processing/ProcessingResult.h"
#include "Processing/RasterGrid.h"

#include <QList>
#include <QString>
#include <QVector>

#include <qgscoordinatereferencesystem.h>
#include <qgscoordinatetransformcontext.h>
#include <qgsrastercalculator.h>

#include <memory>

class QgsFeedback;
class QgsRasterCalcNode;
class QgsRasterDataProvider;
class QgsRasterLayer;

//! Band math on rasters, with QGIS's calculator's values, written through GDAL.
class BandMath
{
  public:
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
        //! The result's grid; when its CRS is invalid, prepare() takes the first raster's.
        RasterGrid grid;
        //! Filled by prepare().
        QgsCoordinateTransformContext transformContext;
        //! Filled by prepare(): only the bands the expression names.
        QVector<Input> inputs;
        //! Filled by prepare(): the parsed expression, one per worker, since QGIS's parser is not reentrant.
        QVector<std::shared_ptr<const QgsRasterCalcNode>> trees;
        CreationOptions::Compression compression = CreationOptions::Compression::Deflate;
        //! A result wider or taller than this gets overviews; none when negative.
        int overviewThreshold = OverviewBuilder::defaultThreshold;
        //! The result band's description: the index it holds ("NDVI"), so that it is drawn as one.
        QString description{};
    };

    //! Whether the raster calculator can parse \a expression.
    static bool isValidExpression( const QString &expression );

    //! The bands of \a layers as the expression names them ("name@band"), as QgsRasterCalculatorEntry lists them.
    static QVector<QgsRasterCalculatorEntry> entries( const QList<QgsRasterLayer *> &layers );

    /**
     * Fills the inputs, the transform context and a missing CRS of \a request
     * from \a entries, the rasters the expression may name, cloning a provider
     * per worker for each named raster. Call on the thread that owns the
     * layers. Without any raster it is ReadFailed; a band that no entry has is
     * InvalidBand.
     */
    static ProcessingResult prepare( Request &request, const QVector<QgsRasterCalculatorEntry> &entries,
                                     const QgsCoordinateTransformContext &context );

    /**
     * Computes a prepared \a request in strips on every core and writes the
     * Float32 result through a safe output, so a failed or cancelled run
     * leaves the earlier target as it was. Values are those of
     * QgsRasterCalculator, except that a pixel where a named raster has no
     * value (outside its extent, no-data, or a failed reprojection) is
     * no-data. A named raster that cannot be reprojected anywhere on the
     * output is ReadFailed.
     */
    static ProcessingResult run( const Request &request, QgsFeedback *feedback = nullptr );

    //! Prepares and runs \a request at once; for callers without a GUI thread of their own.
    static ProcessingResult prepareAndRun( Request request, const QVector<QgsRasterCalculatorEntry> &entries,
                                           const QgsCoordinateTransformContext &context,
                                           QgsFeedback *feedback = nullptr );
};
