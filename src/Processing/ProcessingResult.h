#pragma once

#include <QString>

//! How a piece of raster work ended, with the reason when it did not succeed (GDAL's own where GDAL failed).
struct ProcessingResult
{
    enum class Status
    {
      Done,
      Failed,
      Cancelled,
    };

    Status status = Status::Done;
    QString reason;

    static ProcessingResult failed( const QString &reason ) { return { Status::Failed, reason }; }
    static ProcessingResult cancelled() { return { Status::Cancelled, QString() }; }
    bool done() const { return status == Status::Done; }
};
