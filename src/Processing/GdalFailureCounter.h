#pragma once

#include <QString>

#include <cpl_error.h>

/**
 * Counts the GDAL failures raised on this thread while it lives, and logs
 * every GDAL warning and failure. Writers that only report trouble through
 * GDAL's error handler (a full disk noticed while flushing, say) are caught
 * this way.
 */
class GdalFailureCounter
{
  public:
    GdalFailureCounter();
    ~GdalFailureCounter();
    GdalFailureCounter( const GdalFailureCounter & ) = delete;
    GdalFailureCounter &operator=( const GdalFailureCounter & ) = delete;

    int failures() const { return mFailures; }

    //! GDAL's own words for the last failure; empty when there was none.
    const QString &lastFailure() const { return mLastFailure; }

  private:
    static void CPL_STDCALL handle( CPLErr level, CPLErrorNum number, const char *message );

    int mFailures = 0;
    QString mLastFailure;
};
