#pragma once

#include "Processing/ProcessingTask.h"

#include <QObject>
#include <QPointer>

class QAbstractButton;
class QProgressBar;

/**
 * A tool dialog's background run: while the work goes on, the progress bar
 * follows it, Apply is disabled so no second run starts on top of it, and the
 * stop button is shown. The callback comes on the GUI thread when the work
 * has returned, however it ended.
 */
class ToolRun : public QObject
{
    Q_OBJECT

  public:
    ToolRun( QProgressBar *progressBar, QAbstractButton *applyButton, QAbstractButton *stopButton, QObject *parent );
    //! Cancels a run still going and waits for it, so nothing half-written outlives the dialog.
    ~ToolRun() override;

    bool isRunning() const { return !mTask.isNull(); }

    //! Starts \a work on the task manager; \a ended is called on the GUI thread afterwards.
    void start( const QString &description, ProcessingTask::Work work, std::function<void()> ended );

    //! Asks the running work to stop; it ends within a strip.
    void cancel();

  private:
    void setRunning( bool running );

    QProgressBar *mProgressBar = nullptr;
    QAbstractButton *mApplyButton = nullptr;
    QAbstractButton *mStopButton = nullptr;
    QPointer<ProcessingTask> mTask;
};
