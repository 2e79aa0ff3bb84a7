#include "Gui/CanvasBusyIndicator.h"

namespace
{
constexpr int delayedIndicatorMs = 500;
constexpr double quickRenderSeconds = 0.5;
} // namespace

CanvasBusyIndicator::CanvasBusyIndicator( QWidget *parent )
    : QProgressBar( parent )
{
  setObjectName( QStringLiteral( "mProgressBar" ) );
  setMaximumWidth( 100 );
  setMaximumHeight( 18 );
  hide();
  mDelay.setSingleShot( true );
  mDelay.setInterval( delayedIndicatorMs );
  connect( &mDelay, &QTimer::timeout, this, &CanvasBusyIndicator::showBusy );
}

void CanvasBusyIndicator::renderStarted()
{
  mRenderTime.restart();
  if ( mLastRenderSeconds > 0 && mLastRenderSeconds < quickRenderSeconds )
    mDelay.start();
  else
    showBusy();
}

void CanvasBusyIndicator::showBusy()
{
  show();
  setMaximum( 0 );
  setValue( -1 );
}

void CanvasBusyIndicator::renderFinished()
{
  mDelay.stop();
  mLastRenderSeconds = mRenderTime.isValid() ? mRenderTime.elapsed() / 1000.0 : 0;
  reset();
  hide();
}
