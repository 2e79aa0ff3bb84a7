#include "Processing/SafeOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include <memory>

namespace
{
const QString marker = QStringLiteral( ".rastova-" );

QString nameWithBase( const QString &fileName, const QString &oldBase, const QString &newBase )
{
  return newBase + fileName.mid( oldBase.size() );
}
} // namespace

SafeOutput::SafeOutput( const QString &target )
    : mTarget( QFileInfo( target ).absoluteFilePath() )
{
  const QFileInfo info( mTarget );
  mFolder = info.absolutePath();
  mTargetBase = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
  mTemporaryBase = QLatin1Char( '.' ) + mTargetBase + marker + QUuid::createUuid().toString( QUuid::Id128 ).left( 12 );
  mTemporary = mFolder + QLatin1Char( '/' ) + mTemporaryBase;
  if ( !info.suffix().isEmpty() )
    mTemporary += QLatin1Char( '.' ) + info.suffix();
}

SafeOutput::~SafeOutput()
{
  if ( !mFinished )
    discard();
}

QStringList SafeOutput::temporaryFiles() const
{
  // Names carry a unique marker, so everything that starts with it is ours,
  // including sidecars a driver writes only when the dataset is closed.
  return QDir( mFolder ).entryList( { mTemporaryBase + QLatin1Char( '*' ) },
                                    QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot );
}

QStringList SafeOutput::targetFiles() const
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
  char **list = GDALGetFileList( dataset );
  for ( char **item = list; item && *item; ++item )
  {
    // Only the target's own sidecars: a VRT, say, also lists its sources.
    const QFileInfo file( QString::fromUtf8( *item ) );
    if ( file.absolutePath() == mFolder && file.fileName().startsWith( mTargetBase + QLatin1Char( '.' ) ) &&
         !files.contains( file.fileName() ) )
      files << file.fileName();
  }
  CSLDestroy( list );
  GDALClose( dataset );
  return files;
}

bool SafeOutput::commit( QString *error )
{
  const QStringList written = temporaryFiles();
  const QString mainFile = QFileInfo( mTemporary ).fileName();
  if ( written.isEmpty() )
  {
    *error = QStringLiteral( "nothing was written to %1" ).arg( mTemporary );
    return false;
  }
  const QStringList former = targetFiles();
  QStringList replaced;
  // The main file goes last, so the target keeps its earlier content until every sidecar is in place.
  QStringList order = written;
  if ( order.removeOne( mainFile ) )
    order << mainFile;
  for ( const QString &name : qAsConst( order ) )
  {
    const QString finalName = nameWithBase( name, mTemporaryBase, mTargetBase );
    const QString from = mFolder + QLatin1Char( '/' ) + name;
    const QString to = mFolder + QLatin1Char( '/' ) + finalName;
    if ( VSIRename( from.toUtf8().constData(), to.toUtf8().constData() ) != 0 )
    {
      *error =
          QStringLiteral( "cannot rename %1 to %2: %3" ).arg( from, to, QString::fromLocal8Bit( strerror( errno ) ) );
      return false;
    }
    replaced << finalName;
  }
  for ( const QString &name : former )
  {
    if ( !replaced.contains( name ) )
      QFile::remove( mFolder + QLatin1Char( '/' ) + name );
  }
  mFinished = true;
  return true;
}

void SafeOutput::discard()
{
  for ( const QString &name : temporaryFiles() )
  {
    const QString path = mFolder + QLatin1Char( '/' ) + name;
    if ( QFileInfo( path ).isDir() )
      QDir( path ).removeRecursively();
    else
      QFile::remove( path );
  }
  mFinished = true;
}

bool SafeOutput::isTemporary( const QString &path )
{
  static const QRegularExpression pattern( QStringLiteral( "^\\..+\\.rastova-[0-9a-f]{12}(\\.|$)" ) );
  return pattern.match( QFileInfo( path ).fileName() ).hasMatch();
}
