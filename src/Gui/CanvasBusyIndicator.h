#pragma once

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>

/**
 * The status-bar sign that the map is drawing: an endless bar shown while a
 * render runs. After a quick render the next one shows it only when it takes
 * longer, so quick redraws do not make it flash.
 */
class CanvasBusyIndicator : public QProgressBar
{
    Q_OBJECT

  public:
    explicit CanvasBusyIndicator( QWidget *parent );

    void renderStarted();
    void renderFinished();

  private:
    void showBusy();

    QElapsedTimer mRenderTime;
    double mLastRenderSeconds = 0;
    QTimer mDelay;
};
