#include "RasterFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>

namespace TestSupport
{

FileSizeLimit::FileSizeLimit( qint64 bytes )
    : mActive( bytes > 0 )
{
  if ( !mActive )
    return;
  // Growing past the limit would otherwise end the process with SIGXFSZ.
  std::signal( SIGXFSZ, SIG_IGN );
  rlimit limit{};
  getrlimit( RLIMIT_FSIZE, &limit );
  mPrevious = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>( bytes );
  setrlimit( RLIMIT_FSIZE, &limit );
}

FileSizeLimit::~FileSizeLimit()
{
  if ( !mActive )
    return;
  rlimit limit{};
  getrlimit( RLIMIT_FSIZE, &limit );
  limit.rlim_cur = mPrevious;
  setrlimit( RLIMIT_FSIZE, &limit );
}

QMap<QString, QByteArray> folderContents( const QString &folder )
{
  QMap<QString, QByteArray> contents;
  const QDir root( QDir( folder ).absolutePath() );
  for ( QDirIterator it( root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories ); it.hasNext(); )
  {
    QFile reader( it.next() );
    reader.open( QIODevice::ReadOnly );
    contents.insert( root.relativeFilePath( it.filePath() ), reader.readAll() );
  }
  return contents;
}

double valueAt( int band, int x, int y )
{
  return band * 1000 + y * 37 + x * 3 + ( x * y ) % 7;
}

QgsPointXY pixelCentre( const RasterLayout &layout, int column, int row )
{
  return QgsPointXY( layout.originX + ( column + 0.5 ) * layout.pixelSize,
                     layout.originY - ( row + 0.5 ) * layout.pixelSize );
}

QString writeRaster( const QString &path, const RasterLayout &layout )
{
  GDALAllRegister();
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName( "GTiff" );
  std::unique_ptr<GDALDataset> dataset(
      driver->Create( path.toUtf8().constData(), layout.width, layout.height, layout.bands, layout.type, nullptr ) );
  if ( !dataset )
  {
    QTest::qFail( qPrintable( QStringLiteral( "GDAL cannot create %1" ).arg( path ) ), __FILE__, __LINE__ );
    return QString();
  }
  double transform[6] = { layout.originX, layout.pixelSize, 0, layout.originY, 0, -layout.pixelSize };
  dataset->SetGeoTransform( transform );
  OGRSpatialReference srs;
  srs.importFromEPSG( layout.epsg );
  dataset->SetSpatialRef( &srs );
  for ( auto item = layout.metadata.cbegin(); item != layout.metadata.cend(); ++item )
    dataset->SetMetadataItem( item.key().toUtf8().constData(), item.value().toUtf8().constData() );
  QVector<double> values( layout.width * layout.height );
  for ( int band = 1; band <= layout.bands; ++band )
  {
    for ( int y = 0; y < layout.height; ++y )
      for ( int x = 0; x < layout.width; ++x )
        values[y * layout.width + x] = valueAt( band, x, y ) * layout.scale + layout.offset;
    GDALRasterBand *rasterBand = dataset->GetRasterBand( band );
    if ( layout.hasNoData )
      rasterBand->SetNoDataValue( layout.noData );
    if ( band <= layout.descriptions.size() )
      rasterBand->SetDescription( layout.descriptions.at( band - 1 ).toUtf8().constData() );
    if ( band <= layout.wavelengths.size() )
      rasterBand->SetMetadataItem( "CENTRAL_WAVELENGTH_UM", QByteArray::number( layout.wavelengths.at( band - 1 ) ) );
    if ( layout.bandScale != 1 || layout.bandOffset != 0 )
    {
      rasterBand->SetScale( layout.bandScale );
      rasterBand->SetOffset( layout.bandOffset );
    }
    if ( rasterBand->RasterIO( GF_Write, 0, 0, layout.width, layout.height, values.data(), layout.width, layout.height,
                               GDT_Float64, 0, 0 ) != CE_None )
      QTest::qFail( "GDAL cannot write the fixture", __FILE__, __LINE__ );
  }
  return path;
}

QString writeVector( const QString &path, const QString &driverName, const QStringList &layerNames )
{
  GDALAllRegister();
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName( driverName.toUtf8().constData() );
  std::unique_ptr<GDALDataset> dataset(
      driver ? driver->Create( path.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr ) : nullptr );
  if ( !dataset )
  {
    QTest::qFail( qPrintable( QStringLiteral( "OGR cannot create %1" ).arg( path ) ), __FILE__, __LINE__ );
    return QString();
  }
  OGRSpatialReference srs;
  srs.importFromEPSG( 32748 );
  srs.SetAxisMappingStrategy( OAMS_TRADITIONAL_GIS_ORDER );
  for ( const QString &name : layerNames )
  {
    OGRLayer *layer = dataset->CreateLayer( name.toUtf8().constData(), &srs, wkbPolygon, nullptr );
    OGRFieldDefn nameField( "ten", OFTString ), areaField( "dien_tich", OFTReal );
    layer->CreateField( &nameField );
    layer->CreateField( &areaField );
    for ( int i = 0; i < 3; ++i )
    {
      OGRFeature feature( layer->GetLayerDefn() );
      feature.SetField( "ten", QStringLiteral( "Thửa %1" ).arg( i ).toUtf8().constData() );
      feature.SetField( "dien_tich", 12.5 * ( i + 1 ) );
      OGRPolygon polygon;
      OGRLinearRing ring;
      const double x = 500000 + 100 * i, y = 9000000 - 100 * i;
      for ( const QPointF &corner : { QPointF( 0, 0 ), QPointF( 50, 0 ), QPointF( 50, -50 ), QPointF( 0, 0 ) } )
        ring.addPoint( x + corner.x(), y + corner.y() );
      polygon.addRing( &ring );
      feature.SetGeometry( &polygon );
      if ( layer->CreateFeature( &feature ) != OGRERR_NONE )
        QTest::qFail( "OGR cannot write the fixture", __FILE__, __LINE__ );
    }
  }
  return path;
}

QString absolute( const QString &path )
{
  return QDir::current().absoluteFilePath( path );
}

QString writeBytes( const QString &path, const QByteArray &bytes )
{
  QFile file( path );
  if ( !file.open( QIODevice::WriteOnly ) || file.write( bytes ) != bytes.size() )
    QTest::qFail( qPrintable( QStringLiteral( "cannot write %1" ).arg( path ) ), __FILE__, __LINE__ );
  return path;
}

QVector<double> readBand( const QString &path, int band )
{
  std::unique_ptr<GDALDataset> dataset( GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER ) );
  if ( !dataset || band > dataset->GetRasterCount() )
    return {};
  const int width = dataset->GetRasterXSize();
  const int height = dataset->GetRasterYSize();
  QVector<double> values( width * height );
  if ( dataset->GetRasterBand( band )->RasterIO( GF_Read, 0, 0, width, height, values.data(), width, height,
                                                 GDT_Float64, 0, 0 ) != CE_None )
    return {};
  return values;
}

std::unique_ptr<GDALDataset> openRaster( const QString &path )
{
  return std::unique_ptr<GDALDataset>( GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER ) );
}

QString checkWritten( const QString &path, const QList<SourceBand> &sources, GDALDataType type, double noData )
{
  const std::unique_ptr<GDALDataset> out = openRaster( path );
  if ( !out || out->GetRasterCount() != sources.size() )
    return QStringLiteral( "%1 does not open with %2 bands" ).arg( path ).arg( sources.size() );
  for ( int band = 1; band <= sources.size(); ++band )
  {
    const SourceBand &source = sources[band - 1];
    const std::unique_ptr<GDALDataset> in = openRaster( source.path );
    GDALRasterBand *written = out->GetRasterBand( band );
    int has = 0;
    const double declared = written->GetNoDataValue( &has );
    const QString where = QStringLiteral( "band %1: " ).arg( band );
    if ( !in || out->GetRasterXSize() != in->GetRasterXSize() || out->GetRasterYSize() != in->GetRasterYSize() )
      return where + QStringLiteral( "not the size of %1" ).arg( source.path );
    if ( written->GetRasterDataType() != type )
      return where + GDALGetDataTypeName( written->GetRasterDataType() );
    if ( !has || !( declared == noData || ( std::isnan( declared ) && std::isnan( noData ) ) ) )
      return where + QStringLiteral( "no-data %1" ).arg( has ? QString::number( declared ) : QStringLiteral( "none" ) );
    if ( readBand( path, band ) != readBand( source.path, source.band ) )
      return where + QStringLiteral( "values differ from band %1 of %2" ).arg( source.band ).arg( source.path );
  }
  return QString();
}

} // namespace TestSupport
