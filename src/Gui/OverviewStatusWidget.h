#pragma once

#include <QWidget>

class OverviewQueue;
class QLabel;
class QProgressBar;

//! The status bar's view of overview builds: which raster, how far, and a button to stop. Hidden when idle.
class OverviewStatusWidget : public QWidget
{
    Q_OBJECT

  public:
    OverviewStatusWidget( OverviewQueue *queue, QWidget *parent = nullptr );

  private:
    QLabel *mLabel = nullptr;
    QProgressBar *mProgressBar = nullptr;
};
