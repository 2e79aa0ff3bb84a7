#include "SceneFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <functional>
#include <memory>
#include <vector>

namespace TestSupport
{
namespace
{
using ValueFunction = std::function<GUInt16( int x, int y )>;

bool writeBand( const QString &path, int width, int height, double pixelSize, const ValueFunction &value,
                const QString &format = QStringLiteral( "tif" ) )
{
  GDALDriver *mem = GetGDALDriverManager()->GetDriverByName( "MEM" );
  const bool jp2 = format == QLatin1String( "jp2" );
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName( jp2 ? "JP2OpenJPEG" : "GTiff" );
  if ( !mem || !driver )
    return false;
  const char *tiffOptions[] = { "TILED=YES", "COMPRESS=DEFLATE", "ZLEVEL=1", nullptr };
  std::unique_ptr<GDALDataset> dataset( jp2 ? mem->Create( "", width, height, 1, GDT_UInt16, nullptr )
                                            : driver->Create( path.toUtf8().constData(), width, height, 1, GDT_UInt16,
                                                              const_cast<char **>( tiffOptions ) ) );
  if ( !dataset )
    return false;
  double transform[6] = { 600000, pixelSize, 0, 1700000, 0, -pixelSize };
  dataset->SetGeoTransform( transform );
  OGRSpatialReference srs;
  srs.importFromEPSG( 32648 );
  dataset->SetSpatialRef( &srs );
  std::vector<GUInt16> row( width );
  for ( int y = 0; y < height; ++y )
  {
    for ( int x = 0; x < width; ++x )
      row[x] = value( x, y );
    if ( dataset->GetRasterBand( 1 )->RasterIO( GF_Write, 0, y, width, 1, row.data(), width, 1, GDT_UInt16, 0, 0 ) !=
         CE_None )
      return false;
  }
  if ( !jp2 )
    return true;
  const char *jp2Options[] = { "REVERSIBLE=YES", "QUALITY=100", nullptr };
  return std::unique_ptr<GDALDataset>( driver->CreateCopy( path.toUtf8().constData(), dataset.get(), FALSE,
                                                           const_cast<char **>( jp2Options ), nullptr, nullptr ) ) !=
         nullptr;
}

//! \a path once \a bytes are all in it, else an empty string.
QString save( const QString &path, const QByteArray &bytes )
{
  QFile file( path );
  return file.open( QIODevice::WriteOnly ) && file.write( bytes ) == bytes.size() ? path : QString();
}

ValueFunction reflectance( int band )
{
  return [band]( int x, int y ) { return x == 0 && y == 0 ? 0 : 7000 + 100 * band + ( x + y ) % 50; };
}
} // namespace

QString writeLandsat( const QString &folder, const LandsatLayout &layout )
{
  QDir().mkpath( folder );
  const QString level = layout.levelTwo ? QStringLiteral( "L2SP" ) : QStringLiteral( "L1TP" );
  const QString id = QStringLiteral( "L%1%2_%3_125052_20230105_20230110_02_T1" )
                         .arg( layout.mission >= 8   ? 'C'
                               : layout.mission == 7 ? 'E'
                                                   : 'T' )
                         .arg( layout.mission, 2, 10, QLatin1Char( '0' ) )
                         .arg( level );
  const bool oli = layout.mission >= 8;
  const QStringList numbers =
      oli ? QStringList{ "1", "2", "3", "4", "5", "6", "7" } : QStringList{ "1", "2", "3", "4", "5", "7" };
  const QString thermal = oli ? QStringLiteral( "ST_B10" ) : QStringLiteral( "ST_B6" );

  QList<QPair<QString, QList<QPair<QString, QString>>>> groups;
  QList<QPair<QString, QString>> contents = {
      { "LANDSAT_PRODUCT_ID", id }, { "COLLECTION_NUMBER", "02" }, { "PROCESSING_LEVEL", level } };
  QList<QPair<QString, QString>> scaling;
  const auto band = [&]( const QString &ending, const ValueFunction &value )
  {
    const QString name = id + QLatin1Char( '_' ) + ending + QStringLiteral( ".TIF" );
    if ( !layout.missing.contains( ending ) )
      writeBand( QDir( folder ).filePath( name ), layout.width, layout.height, 30, value );
    return name;
  };
  for ( int i = 0; i < numbers.size(); ++i )
  {
    const QString &n = numbers.at( i );
    contents << qMakePair( QStringLiteral( "FILE_NAME_BAND_" ) + n,
                           band( ( layout.levelTwo ? "SR_B" : "B" ) + n, reflectance( i + 1 ) ) );
    scaling << qMakePair( QStringLiteral( "REFLECTANCE_MULT_BAND_" ) + n, QStringLiteral( "2.75E-05" ) )
            << qMakePair( QStringLiteral( "REFLECTANCE_ADD_BAND_" ) + n, QStringLiteral( "-0.200000" ) );
  }
  if ( layout.levelTwo )
    contents << qMakePair( QStringLiteral( "FILE_NAME_BAND_" ) + thermal, band( thermal, reflectance( 10 ) ) );
  contents << qMakePair( QStringLiteral( "FILE_NAME_QUALITY_L1_PIXEL" ),
                         band( QStringLiteral( "QA_PIXEL" ),
                               []( int x, int ) -> GUInt16 {
                                 return x < 8 ? 1 << x : x == 8 ? 0 : ( 1 << 3 ) | ( 1 << 6 );
                               } ) );
  groups << qMakePair( QStringLiteral( "PRODUCT_CONTENTS" ), contents );
  groups << qMakePair(
      QStringLiteral( "IMAGE_ATTRIBUTES" ),
      QList<QPair<QString, QString>>{ { "SPACECRAFT_ID", QStringLiteral( "LANDSAT_%1" ).arg( layout.mission ) },
                                      { "SENSOR_ID", oli ? "OLI_TIRS" : "TM" },
                                      { "WRS_PATH", "125" },
                                      { "WRS_ROW", "52" },
                                      { "CLOUD_COVER", "12.34" },
                                      { "DATE_ACQUIRED", "2023-01-05" },
                                      { "SCENE_CENTER_TIME", "03:20:31.1234560Z" } } );
  if ( layout.levelTwo )
  {
    groups << qMakePair( QStringLiteral( "LEVEL2_SURFACE_REFLECTANCE_PARAMETERS" ), scaling );
    groups << qMakePair( QStringLiteral( "LEVEL2_SURFACE_TEMPERATURE_PARAMETERS" ),
                         QList<QPair<QString, QString>>{ { "TEMPERATURE_MULT_BAND_" + thermal, "0.00341802" },
                                                         { "TEMPERATURE_ADD_BAND_" + thermal, "149.0" } } );
  }
  else
    groups << qMakePair( QStringLiteral( "LEVEL1_RADIOMETRIC_RESCALING" ), scaling );

  const bool xml = layout.xml;
  QByteArray text =
      xml ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LANDSAT_METADATA_FILE>\n" : "GROUP = LANDSAT_METADATA_FILE\n";
  for ( const auto &group : groups )
  {
    const QByteArray name = group.first.toUtf8();
    text += xml ? "  <" + name + ">\n" : "  GROUP = " + name + "\n";
    for ( const auto &item : group.second )
    {
      const QByteArray key = item.first.toUtf8(), value = item.second.toUtf8();
      const bool quoted = key.startsWith( "FILE_NAME" ) || key.endsWith( "_ID" ) || key == "PROCESSING_LEVEL" ||
                          key == "SCENE_CENTER_TIME";
      text += xml ? "    <" + key + ">" + value + "</" + key + ">\n"
                  : "    " + key + " = " + ( quoted ? '"' + value + '"' : value ) + "\n";
    }
    text += xml ? "  </" + name + ">\n" : "  END_GROUP = " + name + "\n";
  }
  text += xml ? "</LANDSAT_METADATA_FILE>\n" : "END_GROUP = LANDSAT_METADATA_FILE\nEND\n";
  return save( QDir( folder ).filePath( id + ( xml ? "_MTL.xml" : "_MTL.txt" ) ), text );
}

QString writeSentinel2( const QString &safeFolder, const Sentinel2Layout &layout )
{
  const QString granule = QStringLiteral( "GRANULE/L2A_T48PWS_A039400_20230105T033000/IMG_DATA/" );
  const char *bands[] = { "B02", "B03", "B04", "B05", "B06", "B07", "B08", "B8A", "B11", "B12", "SCL" };
  QByteArray files;
  for ( int i = 0; i < 11; ++i )
  {
    const QString band = QString::fromLatin1( bands[i] );
    const bool fine = band == "B02" || band == "B03" || band == "B04" || band == "B08";
    const QString resolution = fine ? QStringLiteral( "10m" ) : QStringLiteral( "20m" );
    const QString name = granule + QStringLiteral( "R%1/T48PWS_20230105T032131_%2_%1" ).arg( resolution, band );
    QDir( safeFolder ).mkpath( QFileInfo( name ).path() );
    const int factor = fine ? 1 : 2;
    const ValueFunction value = band == "SCL" ? []( int x, int ) -> GUInt16 { return x % 12; } : reflectance( i + 1 );
    if ( !writeBand( QDir( safeFolder ).filePath( name + QLatin1Char( '.' ) + layout.format ), layout.width / factor,
                     layout.height / factor, 10 * factor, value, layout.format ) )
      return QString();
    files += "<IMAGE_FILE>" + name.toUtf8() + "</IMAGE_FILE>\n";
  }
  QByteArray offsets;
  if ( layout.baseline.toDouble() >= 4 )
  {
    offsets = "<BOA_ADD_OFFSET_VALUES_LIST>\n";
    for ( int id = 0; id < 13; ++id )
      offsets += "<BOA_ADD_OFFSET band_id=\"" + QByteArray::number( id ) + "\">-1000</BOA_ADD_OFFSET>\n";
    offsets += "</BOA_ADD_OFFSET_VALUES_LIST>\n";
  }
  const QByteArray xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<n1:Level-2A_User_Product xmlns:n1=\"https://psd-14.sentinel2.eo.esa.int/PSD/User_Product_Level-2A.xsd\">\n"
      "<n1:General_Info>\n<Product_Info>\n"
      "<PRODUCT_START_TIME>2023-01-05T03:21:31.024Z</PRODUCT_START_TIME>\n"
      "<PRODUCT_TYPE>S2MSI2A</PRODUCT_TYPE>\n<PROCESSING_LEVEL>Level-2A</PROCESSING_LEVEL>\n"
      "<PROCESSING_BASELINE>" +
      layout.baseline.toUtf8() +
      "</PROCESSING_BASELINE>\n"
      "<Datatake datatakeIdentifier=\"GS2A_20230105T032131_039400_N05.09\"><SPACECRAFT_NAME>Sentinel-2A</"
      "SPACECRAFT_NAME></Datatake>\n"
      "<Product_Organisation>\n<Granule_List>\n<Granule imageFormat=\"JPEG2000\">\n" +
      files +
      "</Granule>\n</Granule_List>\n</Product_Organisation>\n</Product_Info>\n"
      "<Product_Image_Characteristics>\n<QUANTIFICATION_VALUES_LIST>\n"
      "<BOA_QUANTIFICATION_VALUE unit=\"none\">10000</BOA_QUANTIFICATION_VALUE>\n"
      "<AOT_QUANTIFICATION_VALUE unit=\"none\">1000.0</AOT_QUANTIFICATION_VALUE>\n"
      "</QUANTIFICATION_VALUES_LIST>\n" +
      offsets +
      "</Product_Image_Characteristics>\n</n1:General_Info>\n"
      "<n1:Quality_Indicators_Info>\n<Cloud_Coverage_Assessment>3.5</Cloud_Coverage_Assessment>\n"
      "</n1:Quality_Indicators_Info>\n</n1:Level-2A_User_Product>\n";
  return save( QDir( safeFolder ).filePath( QStringLiteral( "MTD_MSIL2A.xml" ) ), xml );
}

bool pack( const QString &folder, const QString &archive )
{
  const QFileInfo info( folder );
  const bool zip = archive.endsWith( QLatin1String( ".zip" ) );
  const QString target = QFileInfo( archive ).absoluteFilePath();
  QProcess process;
  process.setWorkingDirectory( zip ? info.absolutePath() : info.absoluteFilePath() );
  process.start( zip ? QStringLiteral( "zip" ) : QStringLiteral( "tar" ),
                 zip ? QStringList{ QStringLiteral( "-qr0" ), target, info.fileName() }
                     : QStringList{ QStringLiteral( "-cf" ), target } +
                           QDir( folder ).entryList( QDir::Files, QDir::Name ) );
  return process.waitForFinished( 600000 ) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace TestSupport
