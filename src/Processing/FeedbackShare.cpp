#include "Processing/FeedbackShare.h"

FeedbackShare::FeedbackShare( QgsFeedback *whole, double from, double to )
{
  if ( !whole )
    return;
  // Direct: the step runs on a worker thread with no event loop, and a cancel must reach it at once.
  connect(
      this, &QgsFeedback::progressChanged, whole,
      [whole, from, to]( double percent ) { whole->setProgress( from + percent * ( to - from ) / 100.0 ); },
      Qt::DirectConnection );
  connect( whole, &QgsFeedback::canceled, this, &QgsFeedback::cancel, Qt::DirectConnection );
  if ( whole->isCanceled() )
    cancel();
}
