#include "Gui/OverviewQueue.h"

#include "Core/Platform.h"
#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Processing/LayerReload.h"
#include "Processing/OverviewBuilder.h"
#include "Processing/ProcessingTask.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>

#include <qgsapplication.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace
{
//! The file \a layer reads, when it reads one through GDAL; empty otherwise.
QString fileOf( const QgsRasterLayer *layer )
{
  if ( !layer || !layer->isValid() || layer->providerType() != QLatin1String( "gdal" ) )
    return QString();
  const QFileInfo file( layer->source() );
  return file.isFile() ? file.absoluteFilePath() : QString();
}

/**
 * Runs \a work on a thread of its own at the lowest priority, and waits for
 * it: a build must not slow the map's drawing or the window. A thread of its
 * own, since an unprivileged thread cannot raise its priority back, and the
 * task manager's threads run later tasks.
 */
void runAtLowestPriority( const std::function<void()> &work )
{
  std::thread thread(
      [&work]
      {
        Platform::lowerThisThreadsPriority();
        work();
      } );
  thread.join();
}
} // namespace

OverviewQueue::OverviewQueue( QObject *parent )
    : QObject( parent )
    , mAutoBuild( new QAction( QStringLiteral( "Tự động tạo ảnh tháp" ), this ) )
{
  mAutoBuild->setObjectName( QStringLiteral( "mAutoOverviewsAction" ) );
  mAutoBuild->setCheckable( true );
  mAutoBuild->setChecked( Utils::readSetting( Utils::Keys::autoOverviews, true ).toBool() );
  connect( mAutoBuild, &QAction::toggled, this,
           []( bool checked ) { Utils::writeSetting( Utils::Keys::autoOverviews, checked ); } );
  connect( QgsProject::instance(), &QgsProject::layersAdded, this, &OverviewQueue::layersAdded );
}

OverviewQueue::~OverviewQueue()
{
  mPending.clear();
  if ( mTask )
  {
    mTask->disconnect( this );
    mTask->cancel();
    mTask->waitForFinished();
  }
}

void OverviewQueue::layersAdded( const QList<QgsMapLayer *> &layers )
{
  if ( !mAutoBuild->isChecked() )
    return;
  const int threshold = Utils::readSetting( Utils::Keys::overviewThreshold, OverviewBuilder::defaultThreshold ).toInt();
  for ( QgsMapLayer *layer : layers )
  {
    auto *raster = qobject_cast<QgsRasterLayer *>( layer );
    const QString file = fileOf( raster );
    if ( !file.isEmpty() && std::max( raster->width(), raster->height() ) > threshold &&
         !raster->dataProvider()->hasPyramids() )
      enqueue( file, false );
  }
}

void OverviewQueue::buildByHand( QgsRasterLayer *layer )
{
  const QString file = fileOf( layer );
  if ( !file.isEmpty() )
  {
    enqueue( file, true );
    return;
  }
  qInfo().noquote() << "No overviews for" << ( layer ? layer->source() : QString() ) << "- it is not a raster file";
  if ( layer && MainWindow::messageBar() )
    MainWindow::messageBar()->pushMessage( QStringLiteral( "Tạo ảnh tháp" ),
                                           QStringLiteral( "Không tạo được ảnh tháp cho %1" ).arg( layer->name() ),
                                           Qgis::Warning, Utils::messageTimeout() );
}

void OverviewQueue::enqueue( const QString &file, bool byHand )
{
  if ( ( mTask && mTask->property( "file" ).toString() == file ) ||
       std::any_of( mPending.cbegin(), mPending.cend(),
                    [&file]( const Pending &pending ) { return pending.file == file; } ) )
    return;
  mPending << Pending{ file, byHand };
  if ( !mTask )
    startNext();
}

void OverviewQueue::cancel()
{
  mPending.clear();
  if ( mTask )
    mTask->cancel();
}

void OverviewQueue::startNext()
{
  if ( mPending.isEmpty() )
  {
    emit idle();
    return;
  }
  const Pending next = mPending.takeFirst();
  OverviewBuilder::Request request;
  request.file = next.file;
  request.rebuild = next.byHand;
  request.threshold = Utils::readSetting( Utils::Keys::overviewThreshold, OverviewBuilder::defaultThreshold ).toInt();
  // Readers pick up the overviews as soon as they can be read, and again once compressed, to let go of the larger file.
  const auto ready = [this, file = next.file]
  {
    QMetaObject::invokeMethod(
        this, [file] { LayerReload::reloadReading( QgsProject::instance()->mapLayers().values(), { file } ); },
        Qt::QueuedConnection );
  };
  auto result = std::make_shared<ProcessingResult>();
  auto *task =
      new ProcessingTask( QStringLiteral( "Tạo ảnh tháp" ), [request, result, ready]( QgsFeedback *feedback )
                          { runAtLowestPriority( [&] { *result = OverviewBuilder::build( request, feedback, ready ); } ); } );
  task->setProperty( "file", next.file );
  mTask = task;
  auto timer = std::make_shared<QElapsedTimer>();
  timer->start();
  connect( task, &QgsTask::progressChanged, this,
           [this]( double percent ) { emit progressChanged( static_cast<int>( percent ) ); } );
  connect( task, &ProcessingTask::ended, this,
           [this, next, result, timer]
           {
             mTask.clear();
             if ( result->done() )
             {
               qInfo().noquote() << "Overviews of" << next.file << "ready after" << timer->elapsed() << "ms";
               LayerReload::reloadReading( QgsProject::instance()->mapLayers().values(), { next.file } );
             }
             else if ( result->isFailure() )
             {
               qInfo().noquote() << "Overviews of" << next.file << "-" << result->reason;
               if ( next.byHand && MainWindow::messageBar() )
                 MainWindow::messageBar()->pushMessage(
                     QStringLiteral( "Tạo ảnh tháp" ),
                     QStringLiteral( "Không tạo được ảnh tháp cho %1: %2" )
                         .arg( QFileInfo( next.file ).fileName(), result->reason ),
                     Qgis::Warning, Utils::messageTimeout() );
             }
             startNext();
           } );
  emit started( next.file );
  QgsApplication::taskManager()->addTask( task );
}
