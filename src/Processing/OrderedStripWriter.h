#pragma once

#include "Processing/ProcessingResult.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

class QgsFeedback;

/**
 * Takes strips that workers finish in any order and hands them to a writer
 * in order, on the thread that calls writeAll(). Workers wait before starting
 * a strip too far ahead of the writer, so only a few strips are held at once
 * and memory stays bounded whatever the image size.
 */
class OrderedStripWriter
{
  public:
    //! Writes strip \a strip; false when the write failed.
    using Write = std::function<bool( int strip, const std::vector<float> &values )>;

    OrderedStripWriter( int stripCount, int inFlight, QgsFeedback *feedback );

    //! Worker side: waits until \a strip may be computed; false when the run has stopped.
    bool waitForRoom( int strip );
    //! Worker side: hands over the finished \a strip.
    void deliver( int strip, std::vector<float> values );
    //! Stops the run with \a failure; the first failure is kept.
    void fail( const ProcessingResult &failure );
    //! Whether the run failed or was cancelled.
    bool stopped() const;

    //! Writes every strip in order as it arrives, reporting progress; returns when all are written or the run stopped.
    void writeAll( const Write &write, const ProcessingResult &writeFailure );

    //! The first failure; done when there was none.
    ProcessingResult failure() const;

  private:
    const int mStripCount;
    const int mInFlight;
    QgsFeedback *mFeedback = nullptr;
    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    std::map<int, std::vector<float>> mDone;
    int mWritten = 0;
    std::atomic<bool> mFailed{ false };
    ProcessingResult mFailure;
};
