#include "Processing/SafeOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include <cerrno>
#include <cstring>

namespace
{
const QString folderPrefix = QStringLiteral( ".rastova-" );
}

SafeOutput::SafeOutput( const QString &target )
    : mTarget( QFileInfo( target ).absoluteFilePath() )
{
  mFolder = QFileInfo( mTarget ).absolutePath();
  // Same folder, so the final step is a rename on one file system, never a copy.
  mWorkFolder =
      std::make_unique<QTemporaryDir>( mFolder + QLatin1Char( '/' ) + folderPrefix + QStringLiteral( "XXXXXX" ) );
  mTemporary = mWorkFolder->path() + QLatin1Char( '/' ) + QFileInfo( mTarget ).fileName();
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
  const QString baseName = QFileInfo( mTarget ).completeBaseName();
  char **list = GDALGetFileList( dataset );
  for ( char **item = list; item && *item; ++item )
  {
    // Only the target's own sidecars: a VRT, say, also lists its sources.
    const QFileInfo file( QString::fromUtf8( *item ) );
    if ( file.absolutePath() == mFolder && file.fileName().startsWith( baseName + QLatin1Char( '.' ) ) &&
         !files.contains( file.fileName() ) )
      files << file.fileName();
  }
  CSLDestroy( list );
  GDALClose( dataset );
  return files;
}

bool SafeOutput::commit( QString *error )
{
  if ( !mWorkFolder || !mWorkFolder->isValid() )
  {
    *error = QStringLiteral( "cannot create a temporary folder in %1" ).arg( mFolder );
    return false;
  }
  QStringList written = QDir( mWorkFolder->path() ).entryList( QDir::Files | QDir::Hidden | QDir::System );
  const QString mainFile = QFileInfo( mTarget ).fileName();
  if ( !written.contains( mainFile ) && !QFileInfo( mTemporary ).isDir() )
  {
    *error = QStringLiteral( "nothing was written to %1" ).arg( mTemporary );
    return false;
  }
  const QStringList former = formerFiles();
  // The main file goes last, so the target keeps its earlier content until every sidecar is in place.
  if ( written.removeOne( mainFile ) || QFileInfo( mTemporary ).isDir() )
    written << mainFile;
  for ( const QString &name : qAsConst( written ) )
  {
    const QString from = mWorkFolder->path() + QLatin1Char( '/' ) + name;
    const QString to = mFolder + QLatin1Char( '/' ) + name;
    if ( VSIRename( from.toUtf8().constData(), to.toUtf8().constData() ) != 0 )
    {
      *error =
          QStringLiteral( "cannot rename %1 to %2: %3" ).arg( from, to, QString::fromLocal8Bit( strerror( errno ) ) );
      return false;
    }
  }
  for ( const QString &name : former )
  {
    if ( !written.contains( name ) )
      QFile::remove( mFolder + QLatin1Char( '/' ) + name );
  }
  discard();
  return true;
}

void SafeOutput::discard()
{
  mWorkFolder.reset();
}
