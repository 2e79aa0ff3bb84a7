#include "Gui/Workspace.h"

#include "Core/Constants.h"
#include "Core/Utils.h"
#include "Data/DataModel.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"
#include "Gui/RecentFiles.h"
#include "Processing/SafeOutput.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <QXmlStreamReader>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <qgslayertree.h>
#include <qgsmapcanvas.h>
#include <qgsmaplayer.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsproviderregistry.h>

namespace
{
const QString failureTitle = QStringLiteral( "Mở không gian làm việc thất bại" );
// Far beyond any real project, well below what QGIS's document reader could hold.
constexpr qint64 largestProjectBytes = 32 * 1024 * 1024;
constexpr int mostArchiveEntries = 1000;
constexpr int deepestElement = 256;

void notify( const QString &title, const QString &text, Qgis::MessageLevel level )
{
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( title, text, level, Utils::messageTimeout() );
}

//! The project XML at \a path (a GDAL virtual path), or an empty array with \a reason set.
QByteArray readBounded( const QString &path, QString *reason )
{
  VSIStatBufL stat;
  if ( VSIStatL( path.toUtf8().constData(), &stat ) != 0 || !VSI_ISREG( stat.st_mode ) )
  {
    *reason = QStringLiteral( "không đọc được nội dung" );
    return {};
  }
  if ( stat.st_size > largestProjectBytes )
  {
    *reason = QStringLiteral( "nội dung quá lớn" );
    return {};
  }
  QByteArray bytes( static_cast<int>( stat.st_size ), Qt::Uninitialized );
  VSILFILE *file = VSIFOpenL( path.toUtf8().constData(), "rb" );
  const bool complete = file && VSIFReadL( bytes.data(), 1, bytes.size(), file ) == static_cast<size_t>( bytes.size() );
  if ( file )
    VSIFCloseL( file );
  if ( !complete )
  {
    *reason = QStringLiteral( "không đọc được nội dung" );
    return {};
  }
  return bytes;
}

//! Whether a layer's data is a file this program reads (GDAL or OGR) that is neither a pipe nor a device.
bool isReadableLayer( const QString &provider, const QString &source, const QDir &folder )
{
  if ( provider != QLatin1String( "gdal" ) && provider != QLatin1String( "ogr" ) )
    return false;
  QString path =
      QgsProviderRegistry::instance()->decodeUri( provider, source ).value( QStringLiteral( "path" ) ).toString();
  // Virtual rasters open read-only as vrt://; the file behind is what GDAL reads.
  if ( path.startsWith( QLatin1String( "vrt://" ) ) )
    path = path.mid( 6 ).section( QLatin1Char( '?' ), 0, 0 );
  // GDAL's virtual file systems and connection strings would reach past every check here.
  if ( path.isEmpty() || path.startsWith( QLatin1String( "/vsi" ) ) )
    return false;
  return !DataModel::isStreamOrDevice( folder.absoluteFilePath( path ) );
}

/**
 * Whether \a xml is a well-formed QGIS project of bounded depth (QGIS's own
 * reader recurses) whose layers are files of GDAL or OGR that are no pipe or
 * device, which would never end when read, and that embeds no other project;
 * relative sources are taken from \a folder.
 */
bool isProjectXml( const QByteArray &xml, const QDir &folder, QString *reason )
{
  QXmlStreamReader reader( xml );
  int depth = 0;
  bool root = true;
  QString provider;
  QString source;
  int layerDepth = -1;
  while ( !reader.atEnd() )
  {
    reader.readNext();
    if ( reader.isStartElement() )
    {
      if ( root && reader.name() != QLatin1String( "qgis" ) )
        break;
      root = false;
      if ( ++depth > deepestElement )
      {
        *reason = QStringLiteral( "cấu trúc lồng quá sâu" );
        return false;
      }
      if ( reader.attributes().value( QLatin1String( "embedded" ) ) == QLatin1String( "1" ) )
      {
        *reason = QStringLiteral( "có nhúng dự án khác" );
        return false;
      }
      if ( reader.name() == QLatin1String( "maplayer" ) )
      {
        provider = source = QString();
        layerDepth = depth;
      }
      // Only the layer's own: a raster's pipe holds another "provider" element.
      else if ( depth == layerDepth + 1 &&
                ( reader.name() == QLatin1String( "datasource" ) || reader.name() == QLatin1String( "provider" ) ) )
      {
        const bool isSource = reader.name() == QLatin1String( "datasource" );
        ( isSource ? source : provider ) = reader.readElementText( QXmlStreamReader::SkipChildElements ).trimmed();
        --depth;
      }
    }
    else if ( reader.isEndElement() )
    {
      --depth;
      if ( reader.name() != QLatin1String( "maplayer" ) )
        continue;
      layerDepth = -1;
      if ( !isReadableLayer( provider, source, folder ) )
      {
        *reason = QStringLiteral( "layer %1 không phải file dữ liệu" ).arg( source );
        return false;
      }
    }
  }
  if ( reader.hasError() || root || depth != 0 )
  {
    *reason = QStringLiteral( "không phải dự án QGIS hợp lệ" );
    return false;
  }
  return true;
}
} // namespace

bool Workspace::isWorkspaceFile( const QString &fileName )
{
  const QString suffix = QFileInfo( fileName ).suffix().toLower();
  return suffix == QLatin1String( "qgz" ) || suffix == QLatin1String( "qgs" );
}

bool Workspace::looksReadable( const QString &fileName, QString *reason )
{
  const QFileInfo info( fileName );
  if ( !info.isFile() || DataModel::isStreamOrDevice( fileName ) )
  {
    *reason = QStringLiteral( "không tìm thấy file" );
    return false;
  }
  if ( info.suffix().compare( QLatin1String( "qgs" ), Qt::CaseInsensitive ) == 0 )
  {
    const QByteArray xml = readBounded( info.absoluteFilePath(), reason );
    return !xml.isEmpty() && isProjectXml( xml, info.absoluteDir(), reason );
  }

  // The archive is looked into without unpacking it, so a zip bomb stays a small file.
  const QString archive = QStringLiteral( "/vsizip/{%1}" ).arg( info.absoluteFilePath() );
  char **entries = VSIReadDirRecursive( archive.toUtf8().constData() );
  QStringList projects;
  qint64 total = 0;
  int count = 0;
  bool unsafeName = false;
  for ( char **entry = entries; entry && *entry; ++entry, ++count )
  {
    const QString name = QString::fromUtf8( *entry );
    // QGIS unpacks every entry: none may land outside its folder.
    unsafeName = unsafeName || name.startsWith( QLatin1Char( '/' ) ) || name.contains( QLatin1String( ".." ) ) ||
                 name.contains( QLatin1Char( '\\' ) );
    VSIStatBufL stat;
    if ( VSIStatL( ( archive + '/' + name ).toUtf8().constData(), &stat ) == 0 )
      total += stat.st_size;
    if ( name.endsWith( QLatin1String( ".qgs" ), Qt::CaseInsensitive ) )
      projects << name;
  }
  CSLDestroy( entries );
  // Exactly one project, so the one checked here is the one QGIS reads.
  if ( projects.size() != 1 || unsafeName || count > mostArchiveEntries )
  {
    *reason = QStringLiteral( "không phải dự án QGIS hợp lệ" );
    return false;
  }
  const QString project = projects.constFirst();
  if ( total > largestProjectBytes )
  {
    *reason = QStringLiteral( "nội dung quá lớn" );
    return false;
  }
  const QByteArray xml = readBounded( archive + '/' + project, reason );
  return !xml.isEmpty() && isProjectXml( xml, info.absoluteDir(), reason );
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
  QString reason;
  if ( !looksReadable( fileName, &reason ) )
  {
    notify( failureTitle, QStringLiteral( "Không thể đọc không gian làm việc %1: %2" ).arg( fileName, reason ),
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
  if ( !project->read( fileName ) )
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
  const bool written = project->write( temporary.fileName() );
  QString error = project->error();
  // A temporary file is private to its owner; the workspace keeps the permissions a saved file has.
  QFile::setPermissions( temporary.fileName(), target.exists() ? QFile::permissions( target.absoluteFilePath() )
                                                               : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                     QFileDevice::ReadGroup | QFileDevice::ReadOther );
  const bool renamed = written && SafeOutput::replaceFile( temporary.fileName(), target.absoluteFilePath(), &error );
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
