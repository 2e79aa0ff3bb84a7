#include "Processing/SafeOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cpl_string.h>
#include <gdal.h>

#include <filesystem>

namespace
{
const QString folderPrefix = QStringLiteral( ".rastova-" );

// Files named after a dataset's base name that only ever describe that dataset.
const QStringList sidecarSuffixes = { QStringLiteral( "hdr" ), QStringLiteral( "tfw" ), QStringLiteral( "tifw" ),
                                      QStringLiteral( "wld" ), QStringLiteral( "prj" ), QStringLiteral( "shx" ),
                                      QStringLiteral( "dbf" ), QStringLiteral( "cpg" ), QStringLiteral( "qix" ),
                                      QStringLiteral( "sbn" ), QStringLiteral( "sbx" ), QStringLiteral( "aux" ),
                                      QStringLiteral( "rrd" ), QStringLiteral( "ige" ) };

ProcessingResult writeFailed( const QString &reason )
{
  return ProcessingResult::failed( reason, ProcessingResult::Status::WriteFailed );
}
} // namespace

SafeOutput::SafeOutput( const QString &target )
    : mTarget( QFileInfo( target ).absoluteFilePath() )
{
  mFolder = QFileInfo( mTarget ).absolutePath();
  // Same folder, so the final step is a rename on one file system, never a copy.
  mWorkFolder =
      std::make_unique<QTemporaryDir>( mFolder + QLatin1Char( '/' ) + folderPrefix + QStringLiteral( "XXXXXX" ) );
  // Where the folder could not be made, a path under a missing folder makes every writer fail before it writes.
  const QString workFolder = mWorkFolder->isValid()
                                 ? mWorkFolder->path()
                                 : mFolder + QLatin1Char( '/' ) + folderPrefix + QStringLiteral( "unavailable" );
  mTemporary = workFolder + QLatin1Char( '/' ) + QFileInfo( mTarget ).fileName();
}

SafeOutput::~SafeOutput() = default;

QStringList SafeOutput::formerFiles() const
{
  QStringList files;
  if ( QFileInfo::exists( mTarget ) )
    files << QFileInfo( mTarget ).fileName();
  CPLPushErrorHandler( CPLQuietErrorHandler );
  GDALDatasetH dataset = GDALOpenEx( mTarget.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                     nullptr, nullptr, nullptr );
  CPLPopErrorHandler();
  if ( !dataset )
    return files;
  const QString fileName = QFileInfo( mTarget ).fileName();
  const QString baseName = QFileInfo( mTarget ).completeBaseName();
  // A VRT lists its sources too: of its files only those named after the whole file are its own.
  const bool listsOthers =
      QString::fromUtf8( GDALGetDriverShortName( GDALGetDatasetDriver( dataset ) ) ) == QLatin1String( "VRT" );
  char **list = GDALGetFileList( dataset );
  for ( char **item = list; item && *item; ++item )
  {
    const QFileInfo file( QString::fromUtf8( *item ) );
    const QString name = file.fileName();
    const bool namedAfterFile = name.startsWith( fileName + QLatin1Char( '.' ) );
    const bool sidecar = !listsOthers && name.startsWith( baseName + QLatin1Char( '.' ) ) &&
                         sidecarSuffixes.contains( name.mid( baseName.size() + 1 ), Qt::CaseInsensitive );
    if ( file.absolutePath() == mFolder && ( namedAfterFile || sidecar ) && !files.contains( name ) )
      files << name;
  }
  CSLDestroy( list );
  GDALClose( dataset );
  return files;
}

ProcessingResult SafeOutput::commit()
{
  if ( !mWorkFolder || !mWorkFolder->isValid() )
  {
    return writeFailed( QStringLiteral( "cannot create a temporary folder in %1" ).arg( mFolder ) );
  }
  QStringList written = QDir( mWorkFolder->path() ).entryList( QDir::Files | QDir::Hidden | QDir::System );
  const QString mainFile = QFileInfo( mTarget ).fileName();
  if ( !written.contains( mainFile ) && !QFileInfo( mTemporary ).isDir() )
  {
    return writeFailed( QStringLiteral( "nothing was written to %1" ).arg( mTemporary ) );
  }
  const QStringList former = formerFiles();
  // The main file goes last, so the target keeps its earlier content until every sidecar is in place.
  if ( written.removeOne( mainFile ) || QFileInfo( mTemporary ).isDir() )
    written << mainFile;
  for ( const QString &name : qAsConst( written ) )
  {
    const QString from = mWorkFolder->path() + QLatin1Char( '/' ) + name;
    const QString to = mFolder + QLatin1Char( '/' ) + name;
    const ProcessingResult replaced = replaceFile( from, to );
    if ( !replaced.done() )
      return replaced;
  }
  for ( const QString &name : former )
  {
    if ( !written.contains( name ) )
      QFile::remove( mFolder + QLatin1Char( '/' ) + name );
  }
  discard();
  return {};
}

void SafeOutput::discard()
{
  mWorkFolder.reset();
}

ProcessingResult SafeOutput::replaceFile( const QString &from, const QString &to )
{
  // std::filesystem replaces an existing file on every system; a plain rename does not on Windows.
  std::error_code failure;
  std::filesystem::rename( std::filesystem::u8path( from.toStdString() ), std::filesystem::u8path( to.toStdString() ),
                           failure );
  if ( !failure )
    return {};
  return writeFailed(
      QStringLiteral( "cannot rename %1 to %2: %3" ).arg( from, to, QString::fromStdString( failure.message() ) ) );
}
