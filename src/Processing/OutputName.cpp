#include "Processing/OutputName.h"

#include <QFileInfo>
#include <QStringList>

#include <gdal.h>

QString OutputName::extensionOf( const QString &driver )
{
  GDALAllRegister();
  GDALDriverH handle = GDALGetDriverByName( driver.toUtf8().constData() );
  if ( !handle )
    return QString();
  const QString extension = QString::fromUtf8( GDALGetMetadataItem( handle, GDAL_DMD_EXTENSION, nullptr ) );
  if ( !extension.isEmpty() )
    return extension;
  return QString::fromUtf8( GDALGetMetadataItem( handle, GDAL_DMD_EXTENSIONS, nullptr ) )
      .split( QLatin1Char( ' ' ), Qt::SkipEmptyParts )
      .value( 0 );
}

QString OutputName::withExtension( const QString &path, const QString &extension )
{
  if ( !QFileInfo( path ).suffix().isEmpty() || extension.isEmpty() )
    return path;
  return path + QLatin1Char( '.' ) + extension;
}

QString OutputName::inFolder( const QString &folder, const QString &baseName, const QString &extension )
{
  const QString path = folder + QLatin1Char( '/' ) + baseName;
  return extension.isEmpty() ? path : path + QLatin1Char( '.' ) + extension;
}
