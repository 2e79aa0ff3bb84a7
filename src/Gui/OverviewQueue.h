#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class ProcessingTask;
class QAction;
class QgsMapLayer;
class QgsRasterLayer;

/**
 * Builds overviews in the background, one raster after another: for every
 * large raster added to the project without any, while the setting allows,
 * and for any raster on request. Layers reading a raster redraw from its new
 * overviews when they are ready; trouble is noted in the log, never in a box.
 */
class OverviewQueue : public QObject
{
    Q_OBJECT

  public:
    explicit OverviewQueue( QObject *parent = nullptr );
    //! Stops a build still going and waits for it, so nothing half-built outlives the window.
    ~OverviewQueue() override;

    //! The checkable entry of the setting that starts builds for large rasters as they are opened.
    QAction *autoBuildAction() const { return mAutoBuild; }

    //! Builds, or builds anew, the overviews of \a layer's file, whatever its size.
    void buildByHand( QgsRasterLayer *layer );

    bool isIdle() const { return mTask.isNull(); }

  public slots:
    //! Stops the running build and forgets the waiting ones.
    void cancel();

  signals:
    //! A build of \a fileName began.
    void started( const QString &fileName );
    void progressChanged( int percent );
    //! Nothing is left to build.
    void idle();

  private:
    struct Pending
    {
        QString file;
        bool byHand = false;
    };

    void layersAdded( const QList<QgsMapLayer *> &layers );
    void enqueue( const QString &file, bool byHand );
    void startNext();

    QAction *mAutoBuild = nullptr;
    QList<Pending> mPending;
    QPointer<ProcessingTask> mTask;
};
