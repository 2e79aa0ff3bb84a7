#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>
#include <QVector>

#include <functional>

class QgsFeedback;

/**
 * Builds a raster's overviews (GDAL's reduced copies of the image), so that a
 * map drawn at a small scale reads a few pixels instead of the whole file.
 * Levels halve the size down to about 256 pixels; continuous data is
 * averaged, categorical or paletted bands take the nearest pixel; the copies
 * are DEFLATE-compressed.
 */
class OverviewBuilder
{
  public:
    //! Rasters wider or taller than this many pixels get overviews.
    static constexpr int defaultThreshold = 4096;

    struct Request
    {
        QString file;
        //! Built only for a raster wider or taller than this that has no overviews.
        int threshold = defaultThreshold;
        //! Build whatever the size, replacing overviews of an earlier build.
        bool rebuild = false;
        //! The smallest level is about this many pixels across.
        int smallest = 256;
    };

    //! The reduction factors for a raster of \a width x \a height: 2, 4, 8… until the larger side is about \a
    //! smallest.
    static QVector<int> levels( int width, int height, int smallest = 256 );

    /**
     * Gives the raster of \a request an external overview file, "file.ovr"
     * beside it. Where nothing can be written beside it (a read-only medium),
     * the file goes to GDAL's folder for sidecars of such files
     * (GDAL_PAM_PROXY_DIR) and is named in the raster's auxiliary data there,
     * so every GDAL reader of this process finds it. The file is built
     * hidden, uncompressed, and renamed into place when complete, so readers
     * have the overviews as early as GDAL's own tool gives them; it is then
     * rewritten compressed on every core and renamed over itself. A cancel or
     * failure before the first rename leaves nothing; one after it leaves the
     * uncompressed file. Done without writing anything when the request needs
     * nothing. A format that cannot take overviews fails with GDAL's reason.
     * \a ready is called on the building thread after the first rename.
     */
    static ProcessingResult build( const Request &request, QgsFeedback *feedback,
                                   const std::function<void()> &ready = {} );

    /**
     * Adds overviews to a raster just written at \a path (still in its safe
     * output) when it is wider or taller than \a threshold (none when it is
     * negative): inside the file where its format holds them, else beside it,
     * so they move with it when committed.
     */
    static ProcessingResult addToWritten( const QString &path, int threshold, QgsFeedback *feedback );

    //! The part, in percent, of a writer's progress its writing takes when the result is \a width x \a height.
    static double writingShare( int width, int height, int threshold );
};
