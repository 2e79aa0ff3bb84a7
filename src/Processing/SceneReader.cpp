#include "Processing/SceneReader.h"

#include "Processing/LandsatProduct.h"
#include "Processing/Sentinel2Product.h"
#include "Processing/StreamCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <cpl_vsi.h>
#include <gdal_priv.h>

#include <memory>
#include <mutex>
#include <vector>

namespace
{
const char *landsatQaFunction = "rastova_landsat_qa";
const QString referenceMark = QStringLiteral( "#rastova-scene=" );

bool isMetadataName( const QString &name )
{
  return name.endsWith( QLatin1String( "_MTL.txt" ), Qt::CaseInsensitive ) ||
         name.endsWith( QLatin1String( "_MTL.xml" ), Qt::CaseInsensitive ) ||
         name.compare( QLatin1String( "MTD_MSIL2A.xml" ), Qt::CaseInsensitive ) == 0;
}

//! The archive's root as a GDAL path, or the path itself when it is no archive GDAL reads in place.
QString containerRoot( const QString &path )
{
  // A pipe or device never ends: reading one would hang the window.
  if ( StreamCheck::isStreamOrDevice( path ) )
    return QString();
  const QString suffix = QFileInfo( path ).suffix().toLower();
  if ( suffix == QLatin1String( "tar" ) )
    return QStringLiteral( "/vsitar/" ) + path;
  if ( suffix == QLatin1String( "zip" ) )
    return QStringLiteral( "/vsizip/" ) + path;
  return QFileInfo( path ).isDir() ? path : QString();
}

//! Files of \a root, two levels deep at most (a .SAFE folder inside a zip or folder), relative to it.
QStringList listing( const QString &root )
{
  QStringList names;
  char **entries = VSIReadDirRecursive( root.toUtf8().constData() );
  for ( char **entry = entries; entry && *entry; ++entry )
  {
    const QString name = QString::fromUtf8( *entry );
    if ( name.count( QLatin1Char( '/' ) ) <= 1 )
      names << name;
  }
  CSLDestroy( entries );
  return names;
}

// Landsat Collection 2 QA_PIXEL: one class per pixel, the strongest reason first; the class is the bit's number.
int landsatClass( unsigned bits )
{
  if ( bits & 1 )
    return 0;
  for ( int bit : { 3, 1, 2, 4, 5, 7, 6 } )
  {
    if ( bits & ( 1u << bit ) )
      return bit;
  }
  return 8;
}

CPLErr landsatQa( void **sources, int count, void *data, int xSize, int ySize, GDALDataType sourceType,
                  GDALDataType bufferType, int pixelSpace, int lineSpace )
{
  if ( count != 1 )
    return CE_Failure;
  std::vector<GUInt16> in( xSize );
  std::vector<GByte> out( xSize );
  const int sourceBytes = GDALGetDataTypeSizeBytes( sourceType );
  for ( int y = 0; y < ySize; ++y )
  {
    GDALCopyWords( static_cast<GByte *>( sources[0] ) + static_cast<size_t>( y ) * xSize * sourceBytes, sourceType,
                   sourceBytes, in.data(), GDT_UInt16, 2, xSize );
    for ( int x = 0; x < xSize; ++x )
      out[x] = static_cast<GByte>( landsatClass( in[x] ) );
    GDALCopyWords( out.data(), GDT_Byte, 1, static_cast<GByte *>( data ) + static_cast<size_t>( y ) * lineSpace,
                   bufferType, pixelSpace, xSize );
  }
  return CE_None;
}

struct Source
{
    QString file;
    int width = 0;
    int height = 0;
    GDALDataType type = GDT_Unknown;
    int blockWidth = 0;
    int blockHeight = 0;
    double transform[6] = { 0, 1, 0, 0, 0, 1 };
    QString srs;
};

bool describe( const QString &file, Source &source )
{
  if ( StreamCheck::isStreamOrDevice( file ) )
    return false;
  const std::unique_ptr<GDALDataset> dataset(
      GDALDataset::Open( file.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY ) );
  if ( !dataset || dataset->GetRasterCount() < 1 )
    return false;
  GDALRasterBand *band = dataset->GetRasterBand( 1 );
  source.file = file;
  source.width = dataset->GetRasterXSize();
  source.height = dataset->GetRasterYSize();
  source.type = band->GetRasterDataType();
  band->GetBlockSize( &source.blockWidth, &source.blockHeight );
  dataset->GetGeoTransform( source.transform );
  source.srs = QString::fromUtf8( dataset->GetProjectionRef() );
  return true;
}

struct VrtBand
{
    Source source;
    SceneBand band;
    bool noData = true;
    QString function;
};

void writeMetadata( QXmlStreamWriter &xml, const QList<QPair<QString, QString>> &items )
{
  xml.writeStartElement( QStringLiteral( "Metadata" ) );
  for ( const auto &item : items )
  {
    if ( item.second.isEmpty() )
      continue;
    xml.writeStartElement( QStringLiteral( "MDI" ) );
    xml.writeAttribute( QStringLiteral( "key" ), item.first );
    xml.writeCharacters( item.second );
    xml.writeEndElement();
  }
  xml.writeEndElement();
}

//! Writes a VRT of \a bands on the grid of \a grid to \a path.
bool writeVrt( const QString &path, const Source &grid, const QVector<VrtBand> &bands, const Scene &scene )
{
  QSaveFile file( path );
  if ( !file.open( QIODevice::WriteOnly ) )
    return false;
  QXmlStreamWriter xml( &file );
  xml.setAutoFormatting( true );
  xml.writeStartElement( QStringLiteral( "VRTDataset" ) );
  xml.writeAttribute( QStringLiteral( "rasterXSize" ), QString::number( grid.width ) );
  xml.writeAttribute( QStringLiteral( "rasterYSize" ), QString::number( grid.height ) );
  xml.writeTextElement( QStringLiteral( "SRS" ), grid.srs );
  QStringList transform;
  for ( double value : grid.transform )
    transform << QString::number( value, 'g', 17 );
  xml.writeTextElement( QStringLiteral( "GeoTransform" ), transform.join( QStringLiteral( ", " ) ) );
  writeMetadata( xml, { { QStringLiteral( "SENSOR" ), scene.sensor },
                        { QStringLiteral( "ACQUISITION_DATETIME" ), scene.acquired.toString( Qt::ISODateWithMs ) },
                        { QStringLiteral( "CLOUD_COVER" ),
                          scene.cloudCover >= 0 ? QString::number( scene.cloudCover ) : QString() },
                        { QStringLiteral( "PROCESSING_LEVEL" ), scene.processingLevel },
                        { QStringLiteral( "PROCESSING_BASELINE" ), scene.baseline },
                        { QStringLiteral( "PRODUCT_METADATA" ), scene.metadataFile } } );
  int number = 0;
  for ( const VrtBand &band : bands )
  {
    xml.writeStartElement( QStringLiteral( "VRTRasterBand" ) );
    xml.writeAttribute( QStringLiteral( "dataType" ), QString::fromLatin1( GDALGetDataTypeName(
                                                          band.function.isEmpty() ? band.source.type : GDT_Byte ) ) );
    xml.writeAttribute( QStringLiteral( "band" ), QString::number( ++number ) );
    if ( !band.function.isEmpty() )
    {
      xml.writeAttribute( QStringLiteral( "subClass" ), QStringLiteral( "VRTDerivedRasterBand" ) );
      xml.writeTextElement( QStringLiteral( "PixelFunctionType" ), band.function );
      xml.writeTextElement( QStringLiteral( "SourceTransferType" ), QStringLiteral( "UInt16" ) );
    }
    xml.writeTextElement( QStringLiteral( "Description" ), band.band.description );
    if ( band.band.wavelength > 0 )
      writeMetadata( xml, { { QStringLiteral( "CENTRAL_WAVELENGTH_UM" ), QString::number( band.band.wavelength ) },
                            { QStringLiteral( "SOURCE_FILE" ), QFileInfo( band.source.file ).fileName() } } );
    if ( band.noData )
      xml.writeTextElement( QStringLiteral( "NoDataValue" ), QStringLiteral( "0" ) );
    if ( band.band.offset != 0 || band.band.scale != 1 )
    {
      xml.writeTextElement( QStringLiteral( "Offset" ), QString::number( band.band.offset, 'g', 17 ) );
      xml.writeTextElement( QStringLiteral( "Scale" ), QString::number( band.band.scale, 'g', 17 ) );
    }
    xml.writeStartElement( QStringLiteral( "SimpleSource" ) );
    xml.writeAttribute( QStringLiteral( "resampling" ), QStringLiteral( "nearest" ) );
    xml.writeStartElement( QStringLiteral( "SourceFilename" ) );
    xml.writeAttribute( QStringLiteral( "relativeToVRT" ), QStringLiteral( "0" ) );
    xml.writeCharacters( band.source.file );
    xml.writeEndElement();
    xml.writeTextElement( QStringLiteral( "SourceBand" ), QStringLiteral( "1" ) );
    // Described here so that opening the scene does not open every band file.
    xml.writeStartElement( QStringLiteral( "SourceProperties" ) );
    xml.writeAttribute( QStringLiteral( "RasterXSize" ), QString::number( band.source.width ) );
    xml.writeAttribute( QStringLiteral( "RasterYSize" ), QString::number( band.source.height ) );
    xml.writeAttribute( QStringLiteral( "DataType" ), QString::fromLatin1( GDALGetDataTypeName( band.source.type ) ) );
    xml.writeAttribute( QStringLiteral( "BlockXSize" ), QString::number( band.source.blockWidth ) );
    xml.writeAttribute( QStringLiteral( "BlockYSize" ), QString::number( band.source.blockHeight ) );
    xml.writeEndElement();
    for ( const auto &rect : { std::make_pair( QStringLiteral( "SrcRect" ), &band.source ),
                               std::make_pair( QStringLiteral( "DstRect" ), &grid ) } )
    {
      xml.writeStartElement( rect.first );
      xml.writeAttribute( QStringLiteral( "xOff" ), QStringLiteral( "0" ) );
      xml.writeAttribute( QStringLiteral( "yOff" ), QStringLiteral( "0" ) );
      xml.writeAttribute( QStringLiteral( "xSize" ), QString::number( rect.second->width ) );
      xml.writeAttribute( QStringLiteral( "ySize" ), QString::number( rect.second->height ) );
      xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
  }
  xml.writeEndElement();
  return !xml.hasError() && file.commit();
}

/**
 * The bands of \a wanted that GDAL reads, each described; the grid is the one of the first band of the finest
 * pixel. Unreadable band files are added to the scene's problems.
 */
QVector<VrtBand> readable( const QVector<SceneBand> &wanted, Scene &scene, Source &grid, bool noData )
{
  QVector<VrtBand> bands;
  for ( const SceneBand &band : wanted )
  {
    VrtBand vrtBand;
    vrtBand.band = band;
    vrtBand.noData = noData;
    if ( !describe( band.file, vrtBand.source ) )
    {
      scene.problems << QStringLiteral( "không đọc được %1" ).arg( QFileInfo( band.file ).fileName() );
      continue;
    }
    if ( bands.isEmpty() || std::abs( vrtBand.source.transform[1] ) < std::abs( grid.transform[1] ) )
      grid = vrtBand.source;
    bands << vrtBand;
  }
  return bands;
}
} // namespace

QByteArray SceneReader::readFile( const QString &path, qint64 limit )
{
  if ( StreamCheck::isStreamOrDevice( path ) )
    return QByteArray();
  VSILFILE *file = VSIFOpenL( path.toUtf8().constData(), "rb" );
  if ( !file )
    return QByteArray();
  QByteArray bytes;
  char buffer[65536];
  size_t read = 0;
  while ( bytes.size() < limit && ( read = VSIFReadL( buffer, 1, sizeof buffer, file ) ) > 0 )
    bytes.append( buffer, static_cast<int>( read ) );
  VSIFCloseL( file );
  return bytes;
}

bool SceneReader::exists( const QString &path )
{
  VSIStatBufL stat;
  return VSIStatL( path.toUtf8().constData(), &stat ) == 0;
}

QString SceneReader::metadataFile( const QString &path )
{
  if ( path.isEmpty() )
    return QString();
  if ( isMetadataName( QFileInfo( path ).fileName() ) )
    return QFileInfo( path ).isFile() ? path : QString();
  const QString root = containerRoot( path );
  if ( root.isEmpty() )
    return QString();
  QStringList names = listing( root );
  // Text MTL before its XML twin: both say the same.
  std::stable_sort( names.begin(), names.end(),
                    []( const QString &a, const QString &b )
                    {
                      return a.endsWith( QLatin1String( ".txt" ), Qt::CaseInsensitive ) &&
                             !b.endsWith( QLatin1String( ".txt" ), Qt::CaseInsensitive );
                    } );
  for ( const QString &name : qAsConst( names ) )
  {
    if ( isMetadataName( name.section( QLatin1Char( '/' ), -1 ) ) )
      return root + QLatin1Char( '/' ) + name;
  }
  return QString();
}

bool SceneReader::isProduct( const QString &path )
{
  if ( !metadataFile( path ).isEmpty() )
    return true;
  if ( containerRoot( path ).isEmpty() )
    return false;
  static const QRegularExpression productName( QStringLiteral( "^(S2[ABCD]_MSIL2A_.*|L[CETO]0[4-9]_L[12].*)$" ) );
  return productName.match( QFileInfo( path ).fileName() ).hasMatch();
}

ProcessingResult SceneReader::open( const QString &path, const QString &folder, Scene &scene )
{
  registerPixelFunctions();
  const QString metadata = metadataFile( path );
  if ( metadata.isEmpty() )
  {
    const bool sentinel = path.contains( QLatin1String( ".SAFE" ), Qt::CaseInsensitive ) ||
                          QFileInfo( path ).fileName().startsWith( QLatin1String( "S2" ) );
    return ProcessingResult::failed(
        QStringLiteral( "không tìm thấy %1 trong %2" )
            .arg( sentinel ? QStringLiteral( "MTD_MSIL2A.xml" )
                           : QStringLiteral( "file siêu dữ liệu (_MTL.txt hoặc MTD_MSIL2A.xml)" ),
                  path ),
        ProcessingResult::Status::ReadFailed );
  }
  const ProcessingResult read = metadata.endsWith( QLatin1String( ".xml" ), Qt::CaseInsensitive ) &&
                                        QFileInfo( metadata ).fileName().startsWith( QLatin1String( "MTD_" ) )
                                    ? Sentinel2Product::read( metadata, scene )
                                    : LandsatProduct::read( metadata, scene );
  if ( !read.done() )
    return read;

  if ( !QDir().mkpath( folder ) )
    return ProcessingResult::failed( QStringLiteral( "không tạo được thư mục %1" ).arg( folder ),
                                     ProcessingResult::Status::WriteFailed );
  // One name per product file, so two copies of a product never share their layers.
  const QString stem = QDir( folder ).filePath(
      scene.id + QLatin1Char( '_' ) +
      QString::fromLatin1( QCryptographicHash::hash( metadata.toUtf8(), QCryptographicHash::Md5 ).toHex().left( 8 ) ) );
  const QString cannotWrite = QStringLiteral( "không ghi được %1" );

  Source grid;
  const QVector<VrtBand> reflectance = readable( scene.reflectance, scene, grid, true );
  if ( reflectance.isEmpty() )
    return ProcessingResult::failed( scene.problems.join( QStringLiteral( "; " ) ),
                                     ProcessingResult::Status::ReadFailed );
  scene.reflectanceLayer = stem + QStringLiteral( ".vrt" );
  if ( !writeVrt( scene.reflectanceLayer, grid, reflectance, scene ) )
    return ProcessingResult::failed( cannotWrite.arg( scene.reflectanceLayer ), ProcessingResult::Status::WriteFailed );
  scene.reflectance.clear();
  for ( const VrtBand &band : reflectance )
    scene.reflectance << band.band;

  Source thermalGrid;
  const QVector<VrtBand> thermal = readable( scene.thermal, scene, thermalGrid, true );
  scene.thermal.clear();
  if ( !thermal.isEmpty() )
  {
    scene.thermalLayer = stem + QStringLiteral( "_thermal.vrt" );
    if ( !writeVrt( scene.thermalLayer, thermalGrid, thermal, scene ) )
      return ProcessingResult::failed( cannotWrite.arg( scene.thermalLayer ), ProcessingResult::Status::WriteFailed );
    scene.thermal << thermal.constFirst().band;
  }

  if ( scene.maskKind != Scene::Mask::None )
  {
    Source maskGrid;
    QVector<VrtBand> mask = readable( { scene.mask }, scene, maskGrid, false );
    if ( mask.isEmpty() )
      scene.maskKind = Scene::Mask::None;
    else
    {
      if ( scene.maskKind == Scene::Mask::LandsatQa )
        mask.first().function = QString::fromLatin1( landsatQaFunction );
      scene.maskLayer = stem + QStringLiteral( "_mask.vrt" );
      if ( !writeVrt( scene.maskLayer, maskGrid, mask, scene ) )
        return ProcessingResult::failed( cannotWrite.arg( scene.maskLayer ), ProcessingResult::Status::WriteFailed );
    }
  }
  return {};
}

QString SceneReader::reference( const QString &product, const QString &kind )
{
  return product + referenceMark + kind;
}

QString SceneReader::referencedProduct( const QString &source, QString *kind )
{
  const int mark = source.lastIndexOf( referenceMark );
  if ( mark <= 0 )
    return QString();
  const QString layer = source.mid( mark + referenceMark.size() );
  if ( layer != QLatin1String( "reflectance" ) && layer != QLatin1String( "thermal" ) &&
       layer != QLatin1String( "mask" ) )
    return QString();
  if ( kind )
    *kind = layer;
  return source.left( mark );
}

QVector<SceneMaskClass> SceneReader::maskClasses( Scene::Mask kind )
{
  switch ( kind )
  {
  case Scene::Mask::LandsatQa:
    return { { 0, QStringLiteral( "Không có dữ liệu" ), QColor( 0, 0, 0, 0 ) },
             { 1, QStringLiteral( "Mây giãn nở" ), QColor( 200, 200, 200 ) },
             { 2, QStringLiteral( "Mây ti" ), QColor( 150, 220, 255 ) },
             { 3, QStringLiteral( "Mây" ), QColor( 255, 255, 255 ) },
             { 4, QStringLiteral( "Bóng mây" ), QColor( 60, 60, 60 ) },
             { 5, QStringLiteral( "Tuyết/băng" ), QColor( 180, 240, 250 ) },
             { 6, QStringLiteral( "Quang đãng" ), QColor( 60, 180, 75 ) },
             { 7, QStringLiteral( "Nước" ), QColor( 30, 90, 220 ) },
             { 8, QStringLiteral( "Không xác định" ), QColor( 255, 0, 255 ) } };
  case Scene::Mask::SentinelScl:
    return { { 0, QStringLiteral( "Không có dữ liệu" ), QColor( 0, 0, 0, 0 ) },
             { 1, QStringLiteral( "Điểm ảnh bão hòa hoặc lỗi" ), QColor( 255, 0, 0 ) },
             { 2, QStringLiteral( "Vùng tối" ), QColor( 47, 47, 47 ) },
             { 3, QStringLiteral( "Bóng mây" ), QColor( 100, 50, 0 ) },
             { 4, QStringLiteral( "Thực vật" ), QColor( 0, 160, 0 ) },
             { 5, QStringLiteral( "Đất trống" ), QColor( 255, 230, 90 ) },
             { 6, QStringLiteral( "Nước" ), QColor( 0, 0, 255 ) },
             { 7, QStringLiteral( "Không phân loại" ), QColor( 128, 128, 128 ) },
             { 8, QStringLiteral( "Mây, xác suất trung bình" ), QColor( 192, 192, 192 ) },
             { 9, QStringLiteral( "Mây, xác suất cao" ), QColor( 255, 255, 255 ) },
             { 10, QStringLiteral( "Mây ti mỏng" ), QColor( 100, 200, 255 ) },
             { 11, QStringLiteral( "Tuyết/băng" ), QColor( 255, 150, 255 ) } };
  case Scene::Mask::None:
    break;
  }
  return {};
}

void SceneReader::registerPixelFunctions()
{
  static std::once_flag once;
  std::call_once( once, [] { GDALAddDerivedBandPixelFunc( landsatQaFunction, landsatQa ); } );
}
