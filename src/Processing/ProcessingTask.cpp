#include "Processing/ProcessingTask.h"

ProcessingTask::ProcessingTask( const QString &description, Work work )
    : QgsTask( description, QgsTask::CanCancel )
    , mWork( std::move( work ) )
{
  connect(
      &mFeedback, &QgsFeedback::progressChanged, this, [this]( double percent ) { setProgress( percent ); },
      Qt::DirectConnection );
}

void ProcessingTask::cancel()
{
  mFeedback.cancel();
  QgsTask::cancel();
}

bool ProcessingTask::run()
{
  mWork( &mFeedback );
  return !mFeedback.isCanceled();
}

void ProcessingTask::finished( bool )
{
  emit ended();
}
