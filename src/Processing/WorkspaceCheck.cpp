#include "Processing/WorkspaceCheck.h"

#include "Processing/SceneReader.h"
#include "Processing/StreamCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <atomic>
#include <memory>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <qgsproviderregistry.h>

namespace
{
// Far beyond any real project, well below what QGIS's document reader could hold.
constexpr qint64 largestProjectBytes = 32 * 1024 * 1024;
constexpr int mostArchiveEntries = 1000;
constexpr int deepestElement = 256;

ProcessingResult refused( const QString &reason )
{
  return ProcessingResult::failed( reason, ProcessingResult::Status::ReadFailed );
}

//! Reads the project XML at \a path (a GDAL virtual path) into \a bytes, within bounds.
ProcessingResult readBounded( const QString &path, QByteArray &bytes )
{
  VSIStatBufL stat;
  if ( VSIStatL( path.toUtf8().constData(), &stat ) != 0 || !VSI_ISREG( stat.st_mode ) )
  {
    return refused( QStringLiteral( "không đọc được nội dung" ) );
  }
  if ( stat.st_size > largestProjectBytes )
  {
    return refused( QStringLiteral( "nội dung quá lớn" ) );
  }
  bytes = QByteArray( static_cast<int>( stat.st_size ), Qt::Uninitialized );
  VSILFILE *file = VSIFOpenL( path.toUtf8().constData(), "rb" );
  const bool complete = file && VSIFReadL( bytes.data(), 1, bytes.size(), file ) == static_cast<size_t>( bytes.size() );
  if ( file )
    VSIFCloseL( file );
  if ( !complete )
  {
    return refused( QStringLiteral( "không đọc được nội dung" ) );
  }
  return {};
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
  // A scene is rebuilt from its product, which is what must be a plain file or folder.
  const QString product = SceneReader::referencedProduct( path );
  if ( !product.isEmpty() )
    path = product;
  // GDAL's virtual file systems and connection strings would reach past every check here.
  if ( path.isEmpty() || path.startsWith( QLatin1String( "/vsi" ) ) )
    return false;
  return !StreamCheck::isStreamOrDevice( folder.absoluteFilePath( path ) );
}

/**
 * Whether \a xml is a well-formed QGIS project of bounded depth (QGIS's own
 * reader recurses) whose layers are files of GDAL or OGR that are no pipe or
 * device, which would never end when read, and that embeds no other project;
 * relative sources are taken from \a folder.
 */
ProcessingResult checkProjectXml( const QByteArray &xml, const QDir &folder )
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
        return refused( QStringLiteral( "cấu trúc lồng quá sâu" ) );
      }
      if ( reader.attributes().value( QLatin1String( "embedded" ) ) == QLatin1String( "1" ) )
      {
        return refused( QStringLiteral( "có nhúng dự án khác" ) );
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
        return refused( QStringLiteral( "layer %1 không phải file dữ liệu" ).arg( source ) );
      }
    }
  }
  if ( reader.hasError() || root || depth != 0 )
  {
    return refused( QStringLiteral( "không phải dự án QGIS hợp lệ" ) );
  }
  return {};
}
} // namespace

ProcessingResult WorkspaceCheck::check( const QString &fileName )
{
  const QFileInfo info( fileName );
  if ( !info.isFile() || StreamCheck::isStreamOrDevice( fileName ) )
  {
    return refused( QStringLiteral( "không tìm thấy file" ) );
  }
  if ( info.suffix().compare( QLatin1String( "qgs" ), Qt::CaseInsensitive ) == 0 )
  {
    QByteArray xml;
    const ProcessingResult read = readBounded( info.absoluteFilePath(), xml );
    return read.done() ? checkProjectXml( xml, info.absoluteDir() ) : read;
  }

  // The archive is looked into without unpacking it, so a zip bomb stays a small file. GDAL keeps what it
  // read of an archive by name and takes a file replaced within the same second at the same size for the
  // one it read before, so it reads a copy under a name of its own.
  QByteArray zipped;
  const ProcessingResult readArchive = readBounded( info.absoluteFilePath(), zipped );
  if ( !readArchive.done() )
    return readArchive;
  static std::atomic<quint64> checks{ 0 };
  const QByteArray copy = QStringLiteral( "/vsimem/workspace-check-%1.zip" ).arg( ++checks ).toUtf8();
  VSIFCloseL( VSIFileFromMemBuffer( copy.constData(), reinterpret_cast<GByte *>( zipped.data() ),
                                    static_cast<vsi_l_offset>( zipped.size() ), FALSE ) );
  const std::unique_ptr<const char, decltype( &VSIUnlink )> removeCopy( copy.constData(), &VSIUnlink );
  const QString archive = QStringLiteral( "/vsizip/{%1}" ).arg( QString::fromUtf8( copy ) );
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
    return refused( QStringLiteral( "không phải dự án QGIS hợp lệ" ) );
  }
  const QString project = projects.constFirst();
  if ( total > largestProjectBytes )
  {
    return refused( QStringLiteral( "nội dung quá lớn" ) );
  }
  QByteArray xml;
  const ProcessingResult read = readBounded( archive + '/' + project, xml );
  return read.done() ? checkProjectXml( xml, info.absoluteDir() ) : read;
}
