#pragma once

#include "Processing/ProcessingResult.h"
#include "Processing/ProcessingTask.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QAbstractButton;
class QLabel;
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
    //! What the progress bar and the stop button do between runs.
    enum class Idle
    {
      //! Both hidden.
      Hidden,
      //! Both shown, the stop button disabled.
      Disabled,
    };

    //! \a applyButton may be null for a dialog whose run starts without one.
    ToolRun( QProgressBar *progressBar, QAbstractButton *applyButton, QAbstractButton *stopButton, QObject *parent,
             Idle idle = Idle::Hidden );
    //! Cancels a run still going and waits for it, so nothing half-written outlives the dialog.
    ~ToolRun() override;

    bool isRunning() const { return !mTask.isNull(); }

    /**
     * Shows in \a notice, in pink, how \a result went wrong (\a cancelled, or
     * \a failed with the reason on a second line, also logged); true when it
     * succeeded and nothing was shown.
     */
    static bool succeeded( const ProcessingResult &result, QLabel *notice, const QString &cancelled,
                           const QString &failed );

    /**
     * Starts \a work on the task manager; \a ended is called on the GUI thread
     * afterwards. A run still going is cancelled and forgotten.
     */
    void start( const QString &description, ProcessingTask::Work work, std::function<void()> ended );

    //! Asks the running work to stop, within a strip, and drops a pending close.
    void cancel();

    /**
     * Ends a successful run: layers on the written \a outputs read them anew,
     * \a notice shows \a done, and \a dialog closes after the dialog time-out,
     * unless a new run starts or the dialog is closed first (so a late close
     * never ends a newer run).
     */
    void finish( const QStringList &outputs, QLabel *notice, const QString &done, QWidget *dialog );

  private:
    void setRunning( bool running );

    QProgressBar *mProgressBar = nullptr;
    QAbstractButton *mApplyButton = nullptr;
    QAbstractButton *mStopButton = nullptr;
    Idle mIdle = Idle::Hidden;
    QPointer<ProcessingTask> mTask;
    QTimer mCloseTimer;
};
