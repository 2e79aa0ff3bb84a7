#include "Processing/OrderedStripWriter.h"

#include <qgsfeedback.h>

#include <chrono>

OrderedStripWriter::OrderedStripWriter( int stripCount, int inFlight, QgsFeedback *feedback )
    : mStripCount( stripCount )
    , mInFlight( inFlight )
    , mFeedback( feedback )
{
}

bool OrderedStripWriter::stopped() const
{
  return mFailed || ( mFeedback && mFeedback->isCanceled() );
}

bool OrderedStripWriter::waitForRoom( int strip )
{
  std::unique_lock<std::mutex> lock( mMutex );
  // Polled as well, since a cancel comes without a notification.
  while ( strip >= mWritten + mInFlight && !stopped() )
    mChanged.wait_for( lock, std::chrono::milliseconds( 50 ) );
  return !stopped();
}

void OrderedStripWriter::deliver( int strip, std::vector<float> values )
{
  std::lock_guard<std::mutex> lock( mMutex );
  mDone.emplace( strip, std::move( values ) );
  mChanged.notify_all();
}

void OrderedStripWriter::fail( const ProcessingResult &failure )
{
  std::lock_guard<std::mutex> lock( mMutex );
  if ( !mFailed )
  {
    mFailure = failure;
    mFailed = true;
  }
  mChanged.notify_all();
}

ProcessingResult OrderedStripWriter::failure() const
{
  std::lock_guard<std::mutex> lock( mMutex );
  return mFailure;
}

void OrderedStripWriter::writeAll( const Write &write, const ProcessingResult &writeFailure )
{
  for ( int strip = 0; strip < mStripCount; ++strip )
  {
    std::vector<float> values;
    {
      std::unique_lock<std::mutex> lock( mMutex );
      while ( !mDone.count( strip ) && !stopped() )
        mChanged.wait_for( lock, std::chrono::milliseconds( 50 ) );
      if ( stopped() )
        return;
      values = std::move( mDone[strip] );
      mDone.erase( strip );
    }
    if ( !write( strip, values ) )
      fail( writeFailure );
    {
      std::lock_guard<std::mutex> lock( mMutex );
      ++mWritten;
      mChanged.notify_all();
    }
    if ( mFeedback )
      mFeedback->setProgress( 100.0 * ( strip + 1 ) / mStripCount );
  }
}
