#pragma once

#include <qgsfeedback.h>
#include <qgstaskmanager.h>

#include <functional>

/**
 * Runs one piece of raster work on QGIS's task manager, off the GUI thread.
 * The work gets a feedback object that carries progress and cancel; it must
 * only use what it owns (cloned providers, copied requests), never the layers
 * the canvas draws. ended() comes on the GUI thread once the work returned,
 * whether it finished, failed or was cancelled.
 */
class ProcessingTask : public QgsTask
{
    Q_OBJECT

  public:
    using Work = std::function<void( QgsFeedback *feedback )>;

    ProcessingTask( const QString &description, Work work );

    void cancel() override;

  signals:
    //! The work has returned; emitted on the GUI thread.
    void ended();

  protected:
    bool run() override;
    void finished( bool result ) override;

  private:
    Work mWork;
    QgsFeedback mFeedback;
};
