#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>
#include <QVector>

class QgsFeedback;

/**
 * Exact statistics and a histogram of every band of a raster file, read by
 * GDAL from the full-resolution data with no-data left out. GDAL keeps the
 * statistics in the file's .aux.xml where the folder is writable.
 */
class RasterStatistics
{
  public:
    struct Band
    {
        int number = 0;
        double minimum = 0;
        double maximum = 0;
        double mean = 0;
        double stdDev = 0;
        qint64 validCount = 0;
        //! Lower edge of the first bucket and upper edge of the last.
        double histogramMinimum = 0;
        double histogramMaximum = 0;
        QVector<qint64> histogram;
    };

    /**
     * Computes everything for the GDAL dataset \a source, polling \a feedback
     * (may be null) for cancel; the bands are kept only when it is done.
     */
    ProcessingResult compute( const QString &source, QgsFeedback *feedback );

    //! Every band of the last computation that was done, in band order.
    const QVector<Band> &bands() const { return mBands; }

  private:
    QVector<Band> mBands;
};
