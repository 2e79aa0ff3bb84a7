#include "Processing/LandsatProduct.h"

#include "Processing/Scene.h"
#include "Processing/SceneReader.h"

#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

namespace
{
struct BandRole
{
    const char *band;
    const char *description;
    double wavelength;
};

// OLI numbers its bands from the coastal band, TM and ETM+ from blue.
const BandRole oliBands[] = { { "1", "Coastal", 0.443 }, { "2", "Blue", 0.482 }, { "3", "Green", 0.561 },
                              { "4", "Red", 0.655 },     { "5", "NIR", 0.865 },  { "6", "SWIR1", 1.609 },
                              { "7", "SWIR2", 2.201 } };
const BandRole tmBands[] = { { "1", "Blue", 0.485 }, { "2", "Green", 0.56 }, { "3", "Red", 0.66 },
                             { "4", "NIR", 0.835 },  { "5", "SWIR1", 1.65 }, { "7", "SWIR2", 2.215 } };

QString folderOf( const QString &path )
{
  return path.left( path.lastIndexOf( QLatin1Char( '/' ) ) + 1 );
}
} // namespace

QMap<QString, QString> LandsatProduct::parse( const QByteArray &bytes )
{
  QMap<QString, QString> values;
  if ( bytes.trimmed().startsWith( '<' ) )
  {
    QXmlStreamReader xml( bytes );
    QStringList path;
    while ( !xml.atEnd() )
    {
      xml.readNext();
      if ( xml.isStartElement() )
        path << xml.name().toString();
      else if ( xml.isEndElement() )
        path.removeLast();
      else if ( xml.isCharacters() && !xml.isWhitespace() && path.size() >= 2 )
        values.insert( path.at( path.size() - 2 ) + QLatin1Char( '/' ) + path.last(), xml.text().toString().trimmed() );
    }
    return values;
  }

  QString group;
  for ( const QByteArray &rawLine : bytes.split( '\n' ) )
  {
    const QString line = QString::fromUtf8( rawLine ).trimmed();
    const int equals = line.indexOf( QLatin1Char( '=' ) );
    if ( equals < 0 )
      continue;
    const QString key = line.left( equals ).trimmed();
    QString value = line.mid( equals + 1 ).trimmed();
    if ( value.size() >= 2 && value.startsWith( QLatin1Char( '"' ) ) && value.endsWith( QLatin1Char( '"' ) ) )
      value = value.mid( 1, value.size() - 2 );
    if ( key == QLatin1String( "GROUP" ) )
      group = value;
    else if ( key != QLatin1String( "END_GROUP" ) )
      values.insert( group + QLatin1Char( '/' ) + key, value );
  }
  return values;
}

ProcessingResult LandsatProduct::read( const QString &metadataFile, Scene &scene )
{
  const QByteArray bytes = SceneReader::readFile( metadataFile );
  if ( bytes.isEmpty() )
    return ProcessingResult::failed( QStringLiteral( "không đọc được %1" ).arg( metadataFile ),
                                     ProcessingResult::Status::ReadFailed );
  const QMap<QString, QString> mtl = parse( bytes );
  const auto value = [&mtl]( const char *key ) { return mtl.value( QString::fromLatin1( key ) ); };

  const QString spacecraft = value( "IMAGE_ATTRIBUTES/SPACECRAFT_ID" );
  const QString productId = value( "PRODUCT_CONTENTS/LANDSAT_PRODUCT_ID" );
  const int mission = QRegularExpression( QStringLiteral( "(\\d+)$" ) ).match( spacecraft ).captured( 1 ).toInt();
  if ( mission < 4 || mission > 9 )
    return ProcessingResult::failed(
        QStringLiteral( "%1 không phải MTL của Landsat 4-9 (thiếu SPACECRAFT_ID)" ).arg( metadataFile ),
        ProcessingResult::Status::ReadFailed );

  scene.metadataFile = metadataFile;
  scene.sensor = QStringLiteral( "Landsat %1 %2" ).arg( mission ).arg( value( "IMAGE_ATTRIBUTES/SENSOR_ID" ) );
  scene.processingLevel = value( "PRODUCT_CONTENTS/PROCESSING_LEVEL" );
  scene.baseline = value( "PRODUCT_CONTENTS/COLLECTION_NUMBER" );
  const QString time = value( "IMAGE_ATTRIBUTES/SCENE_CENTER_TIME" ).left( 12 );
  scene.acquired = QDateTime::fromString( value( "IMAGE_ATTRIBUTES/DATE_ACQUIRED" ) + QLatin1Char( 'T' ) + time,
                                          QStringLiteral( "yyyy-MM-ddTHH:mm:ss.zzz" ) );
  if ( !scene.acquired.isValid() )
    scene.acquired =
        QDateTime( QDate::fromString( value( "IMAGE_ATTRIBUTES/DATE_ACQUIRED" ), Qt::ISODate ), QTime( 0, 0 ) );
  scene.acquired.setTimeSpec( Qt::UTC );
  bool cloudKnown = false;
  const double cloud = value( "IMAGE_ATTRIBUTES/CLOUD_COVER" ).toDouble( &cloudKnown );
  scene.cloudCover = cloudKnown ? cloud : -1;
  const QString path = value( "IMAGE_ATTRIBUTES/WRS_PATH" ).rightJustified( 3, QLatin1Char( '0' ) );
  const QString row = value( "IMAGE_ATTRIBUTES/WRS_ROW" ).rightJustified( 3, QLatin1Char( '0' ) );
  const QString date = scene.acquired.date().toString( QStringLiteral( "yyyyMMdd" ) );
  scene.id = QStringLiteral( "L%1%2_%3%4_%5" )
                 .arg( productId.isEmpty() ? QStringLiteral( "C" ) : productId.mid( 1, 1 ) )
                 .arg( mission, 2, 10, QLatin1Char( '0' ) )
                 .arg( path, row, date );
  scene.title =
      QStringLiteral( "%1 %2/%3 %4" ).arg( scene.sensor, path, row, scene.acquired.date().toString( Qt::ISODate ) );

  const QString folder = folderOf( metadataFile );
  const auto fileOf = [&]( const QString &key, const QString &what ) -> QString
  {
    const QString name = mtl.value( QStringLiteral( "PRODUCT_CONTENTS/" ) + key );
    if ( name.isEmpty() )
    {
      scene.problems << QStringLiteral( "MTL không ghi file %1 (%2)" ).arg( what, key );
      return QString();
    }
    if ( !SceneReader::exists( folder + name ) )
    {
      scene.problems << QStringLiteral( "thiếu file %1" ).arg( name );
      return QString();
    }
    return folder + name;
  };

  const bool oli = mission >= 8;
  const bool levelTwo = mtl.contains(
      QStringLiteral( "LEVEL2_SURFACE_REFLECTANCE_PARAMETERS/REFLECTANCE_MULT_BAND_%1" ).arg( oli ? 2 : 1 ) );
  if ( !levelTwo )
    scene.problems << QStringLiteral( "sản phẩm %1 không có hệ số phản xạ bề mặt (REFLECTANCE_MULT_BAND_n): các kênh "
                                      "mở ở giá trị số gốc" )
                          .arg( scene.processingLevel.isEmpty() ? QStringLiteral( "này" ) : scene.processingLevel );
  const BandRole *begin = oli ? std::begin( oliBands ) : std::begin( tmBands );
  const BandRole *end = oli ? std::end( oliBands ) : std::end( tmBands );
  for ( const BandRole *role = begin; role != end; ++role )
  {
    const QString number = QString::fromLatin1( role->band );
    SceneBand band;
    band.description = QString::fromLatin1( role->description );
    band.wavelength = role->wavelength;
    band.file = fileOf( QStringLiteral( "FILE_NAME_BAND_" ) + number, ( levelTwo ? "SR_B" : "B" ) + number );
    if ( band.file.isEmpty() )
      continue;
    if ( levelTwo )
    {
      const QString group = QStringLiteral( "LEVEL2_SURFACE_REFLECTANCE_PARAMETERS/" );
      bool hasScale = false, hasOffset = false;
      band.scale = mtl.value( group + QStringLiteral( "REFLECTANCE_MULT_BAND_" ) + number ).toDouble( &hasScale );
      band.offset = mtl.value( group + QStringLiteral( "REFLECTANCE_ADD_BAND_" ) + number ).toDouble( &hasOffset );
      if ( !hasScale || !hasOffset )
      {
        scene.problems << QStringLiteral( "MTL thiếu REFLECTANCE_MULT/ADD_BAND_%1" ).arg( number );
        band.scale = 1;
        band.offset = 0;
      }
    }
    scene.reflectance << band;
  }

  const QString thermalName = oli ? QStringLiteral( "ST_B10" ) : QStringLiteral( "ST_B6" );
  if ( levelTwo && mtl.contains( QStringLiteral( "PRODUCT_CONTENTS/FILE_NAME_BAND_" ) + thermalName ) )
  {
    SceneBand thermal;
    thermal.description = QStringLiteral( "Surface temperature (K)" );
    thermal.wavelength = oli ? 10.895 : 11.45;
    thermal.file = fileOf( QStringLiteral( "FILE_NAME_BAND_" ) + thermalName, thermalName );
    const QString group = QStringLiteral( "LEVEL2_SURFACE_TEMPERATURE_PARAMETERS/" );
    thermal.scale = mtl.value( group + QStringLiteral( "TEMPERATURE_MULT_BAND_" ) + thermalName ).toDouble();
    thermal.offset = mtl.value( group + QStringLiteral( "TEMPERATURE_ADD_BAND_" ) + thermalName ).toDouble();
    if ( !thermal.file.isEmpty() && thermal.scale != 0 )
      scene.thermal << thermal;
  }

  scene.mask.file = fileOf( QStringLiteral( "FILE_NAME_QUALITY_L1_PIXEL" ), QStringLiteral( "QA_PIXEL" ) );
  scene.mask.description = QStringLiteral( "QA_PIXEL" );
  scene.maskKind = scene.mask.file.isEmpty() ? Scene::Mask::None : Scene::Mask::LandsatQa;

  if ( scene.reflectance.isEmpty() )
    return ProcessingResult::failed( scene.problems.join( QStringLiteral( "; " ) ),
                                     ProcessingResult::Status::ReadFailed );
  return {};
}
