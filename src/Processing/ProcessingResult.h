#pragma once

#include <QString>

/**
 * How a piece of work ended: done, cancelled, or failed in one of a few ways a
 * dialog tells apart, with a reason a user can read (GDAL's own where GDAL
 * failed).
 */
struct ProcessingResult
{
    enum class Status
    {
      Done,
      Cancelled,
      //! Any other failure; the reason says what.
      Failed,
      InvalidExpression,
      InvalidBand,
      ReadFailed,
      WriteFailed,
      OutOfMemory,
      CalculationFailed,
      //! No band chosen, or one the raster does not have.
      NoBand,
      //! The area asked for does not meet the raster.
      OutsideRaster,
      //! A mask without any polygon.
      EmptyMask,
    };

    Status status = Status::Done;
    QString reason;

    static ProcessingResult failed( const QString &reason, Status status = Status::Failed )
    {
      return { status, reason };
    }
    static ProcessingResult cancelled() { return { Status::Cancelled, QString() }; }
    bool done() const { return status == Status::Done; }
    bool isFailure() const { return status != Status::Done && status != Status::Cancelled; }
};
