#pragma once

#include <QString>
#include <QVector>

#include <qgsfeedback.h>
#include <qgstaskmanager.h>

/**
 * Exact statistics and a histogram of every band of a raster file, read by
 * GDAL from the full-resolution data with no-data left out. GDAL keeps the
 * statistics in the file's .aux.xml where the folder is writable.
 */
class RasterStatistics : public QgsTask
{
    Q_OBJECT

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

    enum class Code
    {
      Success,
      OpenFailed,
      Cancelled,
      Failed
    };

    struct Result
    {
        Code code = Code::Success;
        //! GDAL's reason when GDAL failed.
        QString message;
        QVector<Band> bands;
    };

    //! Computes everything for the GDAL dataset \a source, polling \a feedback (may be null) for cancel.
    static Result compute( const QString &source, QgsFeedback *feedback );

    //! A task that computes the statistics of \a source and reports them with computed().
    explicit RasterStatistics( const QString &source );

    void cancel() override;

  signals:
    //! The run ended, on the GUI thread; cancelled runs report too.
    void computed( const RasterStatistics::Result &result );

  protected:
    bool run() override;
    void finished( bool result ) override;

  private:
    QString mSource;
    QgsFeedback mFeedback;
    Result mResult;
};

Q_DECLARE_METATYPE( RasterStatistics::Result )
