#include "Gui/Workspace.h"

#include "Core/Constants.h"
#include "Core/Utils.h"
#include "Data/SceneModel.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"
#include "Gui/RecentFiles.h"
#include "Processing/SafeOutput.h"
#include "Processing/Scene.h"
#include "Processing/WorkspaceCheck.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <qgslayertree.h>
#include <qgsmapcanvas.h>
#include <qgsmaplayer.h>
#include <qgsmessagebar.h>
#include <qgspathresolver.h>
#include <qgsproject.h>

namespace
{
const QString failureTitle = QStringLiteral( "Mở không gian làm việc thất bại" );

void notify( const QString &title, const QString &text, Qgis::MessageLevel level )
{
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( title, text, level, Utils::messageTimeout() );
}

} // namespace

bool Workspace::isWorkspaceFile( const QString &fileName )
{
  const QString suffix = QFileInfo( fileName ).suffix().toLower();
  return suffix == QLatin1String( "qgz" ) || suffix == QLatin1String( "qgs" );
}

QString Workspace::displayName()
{
  const QString fileName = QgsProject::instance()->fileName();
  return fileName.isEmpty() ? QString() : QFileInfo( fileName ).completeBaseName();
}

bool Workspace::hasUnsavedChanges()
{
  return QgsProject::instance()->isDirty() && QgsProject::instance()->count() > 0;
}

bool Workspace::offerToSave()
{
  if ( !hasUnsavedChanges() )
    return true;
  MessageBox question( MainWindow::instance(), Constants::applicationName,
                       QStringLiteral( "Không gian làm việc có thay đổi chưa lưu. Bạn có muốn lưu các thay đổi đó?" ),
                       Utils::iconPath( QStringLiteral( "mActionFileSave.svg" ) ),
                       QDialogButtonBox::Save | QDialogButtonBox::Discard | QDialogButtonBox::Cancel );
  question.exec();
  switch ( question.answer() )
  {
  case QDialogButtonBox::Save:
    return save();
  case QDialogButtonBox::Discard:
    return true;
  default:
    return false;
  }
}

void Workspace::trackChanges()
{
  QgsProject *project = QgsProject::instance();
  const auto markDirty = [project] { project->setDirty( true ); };
  connect( project, &QgsProject::layersAdded, this,
           [this, markDirty]( const QList<QgsMapLayer *> &layers )
           {
             // The tools restyle a layer and ask for a repaint without always saying the style changed.
             for ( QgsMapLayer *layer : layers )
             {
               connect( layer, &QgsMapLayer::styleChanged, this, markDirty );
               connect( layer, &QgsMapLayer::rendererChanged, this, markDirty );
               connect( layer, &QgsMapLayer::repaintRequested, this, markDirty );
             }
           } );
  QgsLayerTree *root = project->layerTreeRoot();
  connect( root, &QgsLayerTreeNode::addedChildren, this, markDirty );
  connect( root, &QgsLayerTreeNode::removedChildren, this, markDirty );
  connect( root, &QgsLayerTreeNode::visibilityChanged, this, markDirty );
  connect( root, &QgsLayerTreeNode::nameChanged, this, markDirty );
  const auto announce = [this, project]
  {
    const QString name = displayName();
    const QString changed = project->isDirty() ? QStringLiteral( "*" ) : QString();
    emit titleChanged( name.isEmpty()
                           ? Constants::applicationName + changed
                           : QStringLiteral( "%1%2 - %3" ).arg( name, changed, Constants::applicationName ) );
  };
  connect( project, &QgsProject::isDirtyChanged, this, announce );
  connect( project, &QgsProject::fileNameChanged, this, announce );
  announce();
}

bool Workspace::open( const QString &fileName )
{
  // A workspace sent while a question is open (removing layers, say) would pull the layers from under it.
  if ( QApplication::activeModalWidget() )
  {
    QTimer::singleShot( 500, this, [this, fileName] { open( fileName ); } );
    return true;
  }
  const ProcessingResult readable = WorkspaceCheck::check( fileName );
  if ( !readable.done() )
  {
    notify( failureTitle, QStringLiteral( "Không thể đọc không gian làm việc %1: %2" ).arg( fileName, readable.reason ),
            Qgis::Critical );
    return false;
  }

  QgsProject *project = QgsProject::instance();
  if ( project->isDirty() && project->count() > 0 )
  {
    MessageBox question(
        MainWindow::instance(), Constants::applicationName,
        QStringLiteral( "Không gian làm việc hiện tại có thay đổi chưa lưu. Bạn có muốn bỏ các thay đổi đó?" ),
        Utils::iconPath( QStringLiteral( "Rastova.svg" ) ), QDialogButtonBox::Yes | QDialogButtonBox::No );
    if ( question.exec() != QDialog::Accepted )
      return false;
  }

  const QString previous = project->fileName();
  // Scenes are stored by their product and rebuilt from it, wherever the product has moved with the workspace.
  QHash<QString, Scene> scenes;
  const QDir folder = QFileInfo( fileName ).absoluteDir();
  const QString rebuild = QgsPathResolver::setPathPreprocessor(
      [&scenes, folder]( const QString &path ) { return SceneModel::layerPath( path, folder, scenes ); } );
  const bool read = project->read( fileName );
  QgsPathResolver::removePathPreprocessor( rebuild );
  if ( !read )
  {
    // QGIS keeps the name of the file it could not read; a later save would overwrite that file.
    project->setFileName( project->count() > 0 ? previous : QString() );
    notify( failureTitle,
            QStringLiteral( "Không thể đọc không gian làm việc %1: %2" ).arg( fileName, project->error() ),
            Qgis::Critical );
    return false;
  }

  // A layer without its data could not be drawn or used by any tool, so it is named and left out.
  QStringList missing;
  QStringList missingIds;
  for ( QgsMapLayer *layer : project->mapLayers() )
  {
    if ( layer->isValid() )
      continue;
    missing << QStringLiteral( "%1 (%2)" ).arg( layer->name(), layer->publicSource() );
    missingIds << layer->id();
  }
  if ( !missing.isEmpty() )
  {
    project->removeMapLayers( missingIds );
    // Saved under its own name, the workspace would lose those layers for good (an unmounted drive, say).
    project->setFileName( QString() );
    notify( QStringLiteral( "Thiếu dữ liệu" ),
            QStringLiteral( "Không tìm thấy dữ liệu của %1 layer: %2" )
                .arg( missing.size() )
                .arg( missing.join( QLatin1Char( '|' ) ) ),
            Qgis::Warning );
  }
  RecentFiles::add( fileName );
  return true;
}

void Workspace::openChosen()
{
  const QString fileName = QFileDialog::getOpenFileName(
      MainWindow::instance(), QStringLiteral( "Mở không gian làm việc" ),
      Utils::rememberedFolder( Utils::Keys::workspaceDir ), QStringLiteral( "Không gian làm việc (*.qgz *.qgs)" ) );
  if ( fileName.isEmpty() )
    return;
  Utils::rememberFolderOf( Utils::Keys::workspaceDir, fileName );
  open( fileName );
}

bool Workspace::save()
{
  const QString fileName = QgsProject::instance()->fileName();
  return isWorkspaceFile( fileName ) ? saveTo( fileName ) : saveAs();
}

bool Workspace::saveAs()
{
  const QString current = QgsProject::instance()->fileName();
  QString fileName =
      QFileDialog::getSaveFileName( MainWindow::instance(), QStringLiteral( "Lưu không gian làm việc" ),
                                    current.isEmpty() ? Utils::rememberedFolder( Utils::Keys::workspaceDir ) : current,
                                    QStringLiteral( "Không gian làm việc (*.qgz)" ) );
  if ( fileName.isEmpty() )
    return false;
  if ( !isWorkspaceFile( fileName ) )
  {
    fileName += QLatin1String( ".qgz" );
    // The file dialog asked about the name as typed, not about this one.
    if ( QFileInfo::exists( fileName ) )
    {
      MessageBox question( MainWindow::instance(), Constants::applicationName,
                           QStringLiteral( "%1 đã có. Bạn có muốn thay thế?" ).arg( QFileInfo( fileName ).fileName() ),
                           Utils::iconPath( QStringLiteral( "Rastova.svg" ) ),
                           QDialogButtonBox::Yes | QDialogButtonBox::No );
      if ( question.exec() != QDialog::Accepted )
        return false;
    }
  }
  Utils::rememberFolderOf( Utils::Keys::workspaceDir, fileName );
  return saveTo( fileName );
}

bool Workspace::saveTo( const QString &fileName )
{
  QgsProject *project = QgsProject::instance();
  const QString previous = project->fileName();
  const QFileInfo target( fileName );
  const QString title = QStringLiteral( "Lưu không gian làm việc thất bại" );

  // Written beside the target, so relative paths come out the same, then renamed over it in one step.
  QTemporaryFile temporary( target.absoluteDir().filePath(
      QStringLiteral( ".%1-XXXXXX.%2" ).arg( target.completeBaseName(), target.suffix() ) ) );
  if ( !temporary.open() )
  {
    notify( title, QStringLiteral( "Không thể ghi vào thư mục %1" ).arg( target.absolutePath() ), Qgis::Critical );
    return false;
  }
  temporary.close();

  project->setFilePathStorage( Qgis::FilePathType::Relative );
  const QString writer = QgsPathResolver::setPathWriter( &SceneModel::workspacePath );
  const bool written = project->write( temporary.fileName() );
  QgsPathResolver::removePathWriter( writer );
  QString error = project->error();
  // A temporary file is private to its owner; the workspace keeps the permissions a saved file has.
  QFile::setPermissions( temporary.fileName(), target.exists() ? QFile::permissions( target.absoluteFilePath() )
                                                               : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                     QFileDevice::ReadGroup | QFileDevice::ReadOther );
  if ( written )
    error = SafeOutput::replaceFile( temporary.fileName(), target.absoluteFilePath() ).reason;
  const bool renamed = written && error.isEmpty();
  if ( !renamed )
  {
    project->setFileName( previous );
    notify( title,
            QStringLiteral( "Không thể lưu %1%2" )
                .arg( fileName, error.isEmpty() ? QString() : QStringLiteral( ": " ) + error ),
            Qgis::Critical );
    return false;
  }
  temporary.setAutoRemove( false );
  project->setFileName( target.absoluteFilePath() );
  project->setDirty( false );
  RecentFiles::add( target.absoluteFilePath() );
  return true;
}
