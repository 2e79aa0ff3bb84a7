#pragma once

#include "Processing/CreationOptions.h"
#include "Processing/OverviewBuilder.h"
#include "Processing/ProcessingResult.h"
#include "Processing/RasterGrid.h"

#include <QList>
#include <QStringList>

#include <memory>

#include <qgis.h>

class QgsFeedback;
class QgsRasterDataProvider;
class QgsRasterLayer;

/**
 * Stacks the bands of several rasters into one file and splits a raster into
 * one file per band. Work goes in strips of rows, so memory stays bounded
 * whatever the image size; every write, and the closing of every file, is
 * checked, and a file is replaced only by a complete result.
 */
class RasterBands
{
  public:
    //! Everything a stack needs, made on the GUI thread; the work reads only this.
    struct StackRequest
    {
        //! Copies of the images' providers, in stacking order.
        QList<std::shared_ptr<QgsRasterDataProvider>> sources;
        //! The first image's grid, on which every image is read.
        RasterGrid grid;
        QString output;
        //! GDAL driver; the writer's default when empty.
        QString driver;
        CreationOptions::Compression compression = CreationOptions::Compression::Deflate;
        //! One description per output band: "<layer> — <band description or Kênh N>".
        QStringList bandNames{};
        //! A result wider or taller than this gets overviews; none when negative.
        int overviewThreshold = OverviewBuilder::defaultThreshold;
    };

    //! Everything a split needs, made on the GUI thread; the work reads only this.
    struct SplitRequest
    {
        std::shared_ptr<QgsRasterDataProvider> source;
        RasterGrid grid;
        //! One file per band, in band order.
        QStringList outputs;
        QString driver;
        CreationOptions::Compression compression = CreationOptions::Compression::Deflate;
        //! The source's band descriptions, kept by each band's file.
        QStringList bandNames{};
        //! Results wider or taller than this get overviews; none when negative.
        int overviewThreshold = OverviewBuilder::defaultThreshold;
    };

    //! How the no-data pixels of a stack's sources reach the output.
    struct NoDataPlan
    {
        //! No source band has a no-data value.
        bool none = true;
        //! Every source band shares this one value, written as it is.
        double common = 0;
        //! The bands differ, so each band's no-data pixels become NaN in a float output.
        bool toNaN = false;
    };

    static StackRequest
    stackRequest( const QList<QgsRasterLayer *> &layers, const QString &output, const QString &driver,
                  CreationOptions::Compression compression = CreationOptions::Compression::Deflate );
    static SplitRequest
    splitRequest( QgsRasterLayer *layer, const QStringList &outputs, const QString &driver,
                  CreationOptions::Compression compression = CreationOptions::Compression::Deflate );

    //! GDAL's description of every band of \a source, empty where a band has none.
    static QStringList bandDescriptions( const QString &source );

    /**
     * The smallest data type that holds every band of \a sources without loss
     * (Byte with UInt16 gives UInt16; anything with Float32 gives at least Float32).
     */
    static Qgis::DataType stackDataType( const QList<std::shared_ptr<QgsRasterDataProvider>> &sources );

    //! The no-data plan of a stack of \a sources.
    static NoDataPlan noDataPlan( const QList<std::shared_ptr<QgsRasterDataProvider>> &sources );

    /**
     * Writes all bands of the request's sources, in order, on its grid, in
     * stackDataType(). A no-data value that all bands share is kept; when the
     * bands differ in it, the stack is written as floats (losslessly) with
     * every no-data pixel as NaN and NaN declared as the no-data value, since
     * a GeoTIFF holds only one no-data value.
     */
    static ProcessingResult stack( const StackRequest &request, QgsFeedback *feedback );

    /**
     * Writes band i of the source to outputs[i - 1], each file keeping its
     * band's data type and no-data value. Refuses, before writing anything, an
     * invalid or single-band source, a name count that differs from the band
     * count and a name given twice. Existing files are replaced only once
     * every band was written.
     */
    static ProcessingResult split( const SplitRequest &request, QgsFeedback *feedback );
};
