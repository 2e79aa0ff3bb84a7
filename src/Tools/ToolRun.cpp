#include "Tools/ToolRun.h"

#include "Core/Utils.h"
#include "Processing/LayerReload.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>

#include <qgsapplication.h>
#include <qgsproject.h>

#include <algorithm>

ToolRun::ToolRun( QProgressBar *progressBar, QAbstractButton *applyButton, QAbstractButton *stopButton, QObject *parent,
                  Idle idle )
    : QObject( parent )
    , mProgressBar( progressBar )
    , mApplyButton( applyButton )
    , mStopButton( stopButton )
    , mIdle( idle )
{
  if ( mIdle == Idle::Hidden )
    mStopButton->hide();
  else
    mStopButton->setEnabled( false );
  mCloseTimer.setSingleShot( true );
  connect( mStopButton, &QAbstractButton::clicked, this, &ToolRun::cancel );
}

ToolRun::~ToolRun()
{
  if ( mTask )
  {
    // The dialog's widgets may be gone already; waiting delivers the task's signals, which must not reach them.
    mTask->disconnect( this );
    mTask->cancel();
    mTask->waitForFinished();
  }
}

void ToolRun::start( const QString &description, ProcessingTask::Work work, std::function<void()> ended )
{
  mCloseTimer.stop();
  if ( mTask )
  {
    mTask->disconnect( this );
    mTask->cancel();
  }
  auto *task = new ProcessingTask( description, std::move( work ) );
  mTask = task;
  // Within a run the bar only moves forward, whatever order the reports come in.
  connect( task, &QgsTask::progressChanged, this,
           [this]( double percent )
           { mProgressBar->setValue( std::max( mProgressBar->value(), static_cast<int>( percent ) ) ); } );
  connect( task, &ProcessingTask::ended, this,
           [this, ended = std::move( ended )]
           {
             mTask.clear();
             setRunning( false );
             ended();
           } );
  mProgressBar->setValue( 0 );
  setRunning( true );
  QgsApplication::taskManager()->addTask( task );
}

bool ToolRun::succeeded( const ProcessingResult &result, QLabel *notice, const QString &cancelled,
                         const QString &failed )
{
  if ( result.status == ProcessingResult::Status::Cancelled )
    notice->setText( Utils::errorText( cancelled ) );
  if ( result.isFailure() )
  {
    qCritical().noquote() << result.reason;
    notice->setText( Utils::errorText( failed, result.reason ) );
  }
  return result.done();
}

void ToolRun::finish( const QStringList &outputs, QLabel *notice, const QString &done, QWidget *dialog )
{
  LayerReload::reloadReading( QgsProject::instance()->mapLayers().values(), outputs );
  notice->setText( Utils::successText( done ) );
  mCloseTimer.disconnect();
  connect( &mCloseTimer, &QTimer::timeout, dialog, &QWidget::close );
  mCloseTimer.start( Utils::dialogTimeout() * 1000 );
}

void ToolRun::cancel()
{
  mCloseTimer.stop();
  if ( mTask )
    mTask->cancel();
}

void ToolRun::setRunning( bool running )
{
  // The bar keeps where the run got to; emptying it at the end would show the run going backwards.
  if ( mApplyButton )
    mApplyButton->setEnabled( !running );
  if ( mIdle == Idle::Hidden )
  {
    mProgressBar->setVisible( running );
    mStopButton->setVisible( running );
  }
  else
  {
    mStopButton->setEnabled( running );
  }
}
