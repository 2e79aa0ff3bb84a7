#include "Processing/Sentinel2Product.h"

#include "Processing/Scene.h"
#include "Processing/SceneReader.h"

#include <QMap>
#include <QStringList>
#include <QXmlStreamReader>

namespace
{
struct BandRole
{
    const char *band;
    const char *description;
    double wavelength;
    //! Index of the band in the metadata's band_id lists.
    int id;
};

// The 60 m atmospheric bands (B01, B09) are left out: they are for correction, not for looking at.
const BandRole bands[] = { { "B02", "Blue", 0.490, 1 },       { "B03", "Green", 0.560, 2 },
                           { "B04", "Red", 0.665, 3 },        { "B05", "Red edge 1", 0.705, 4 },
                           { "B06", "Red edge 2", 0.740, 5 }, { "B07", "Red edge 3", 0.783, 6 },
                           { "B08", "NIR", 0.842, 7 },        { "B8A", "NIR narrow", 0.865, 8 },
                           { "B11", "SWIR1", 1.610, 11 },     { "B12", "SWIR2", 2.190, 12 } };
} // namespace

ProcessingResult Sentinel2Product::read( const QString &metadataFile, Scene &scene )
{
  const QByteArray bytes = SceneReader::readFile( metadataFile );
  if ( bytes.isEmpty() )
    return ProcessingResult::failed( QStringLiteral( "không đọc được %1" ).arg( metadataFile ),
                                     ProcessingResult::Status::ReadFailed );

  QMap<QString, QString> values;
  QStringList imageFiles;
  QMap<int, double> addOffsets;
  QXmlStreamReader xml( bytes );
  QString element;
  int bandId = -1;
  while ( !xml.atEnd() )
  {
    xml.readNext();
    if ( xml.isStartElement() )
    {
      element = xml.name().toString();
      bandId = xml.attributes().hasAttribute( QLatin1String( "band_id" ) )
                   ? xml.attributes().value( QLatin1String( "band_id" ) ).toInt()
                   : -1;
    }
    else if ( xml.isCharacters() && !xml.isWhitespace() )
    {
      const QString text = xml.text().toString().trimmed();
      if ( element == QLatin1String( "IMAGE_FILE" ) )
        imageFiles << text;
      else if ( element == QLatin1String( "BOA_ADD_OFFSET" ) && bandId >= 0 )
        addOffsets.insert( bandId, text.toDouble() );
      else
        values.insert( element, text );
    }
  }
  if ( xml.hasError() && values.isEmpty() )
    return ProcessingResult::failed( QStringLiteral( "%1 không đọc được: %2" ).arg( metadataFile, xml.errorString() ),
                                     ProcessingResult::Status::ReadFailed );
  if ( !values.value( QStringLiteral( "PROCESSING_LEVEL" ) ).contains( QLatin1String( "2A" ) ) )
    scene.problems << QStringLiteral( "%1 không phải sản phẩm Level-2A" ).arg( metadataFile );

  scene.metadataFile = metadataFile;
  scene.sensor =
      values.value( QStringLiteral( "SPACECRAFT_NAME" ), QStringLiteral( "Sentinel-2" ) ) + QStringLiteral( " MSI" );
  scene.processingLevel = values.value( QStringLiteral( "PROCESSING_LEVEL" ) );
  scene.baseline = values.value( QStringLiteral( "PROCESSING_BASELINE" ) );
  scene.acquired = QDateTime::fromString( values.value( QStringLiteral( "PRODUCT_START_TIME" ) ), Qt::ISODate );
  bool cloudKnown = false;
  const double cloud = values.value( QStringLiteral( "Cloud_Coverage_Assessment" ) ).toDouble( &cloudKnown );
  scene.cloudCover = cloudKnown ? cloud : -1;

  QString tile;
  for ( const QString &file : qAsConst( imageFiles ) )
  {
    const QString name = file.section( QLatin1Char( '/' ), -1 );
    if ( name.startsWith( QLatin1Char( 'T' ) ) )
    {
      tile = name.section( QLatin1Char( '_' ), 0, 0 );
      break;
    }
  }
  const QString mission = scene.sensor.contains( QLatin1String( "2B" ) )   ? QStringLiteral( "S2B" )
                          : scene.sensor.contains( QLatin1String( "2A" ) ) ? QStringLiteral( "S2A" )
                                                                           : QStringLiteral( "S2" );
  scene.id =
      QStringLiteral( "%1_%2_%3" ).arg( mission, tile, scene.acquired.date().toString( QStringLiteral( "yyyyMMdd" ) ) );
  scene.title = QStringLiteral( "%1 %2 %3" ).arg( scene.sensor, tile, scene.acquired.date().toString( Qt::ISODate ) );

  bool quantified = false;
  double quantification = values.value( QStringLiteral( "BOA_QUANTIFICATION_VALUE" ) ).toDouble( &quantified );
  if ( !quantified || quantification <= 0 )
  {
    scene.problems << QStringLiteral( "MTD_MSIL2A.xml thiếu BOA_QUANTIFICATION_VALUE: dùng 10000" );
    quantification = 10000;
  }
  // From baseline 04.00 on, DNs carry an offset of -1000 the metadata lists per band.
  const bool shifted = scene.baseline.toDouble() >= 4;

  const QString folder = metadataFile.left( metadataFile.lastIndexOf( QLatin1Char( '/' ) ) + 1 );
  const auto fileOf = [&]( const QString &band ) -> QString
  {
    for ( const QString &resolution : { QStringLiteral( "10m" ), QStringLiteral( "20m" ) } )
    {
      for ( const QString &file : qAsConst( imageFiles ) )
      {
        if ( !file.endsWith( QLatin1Char( '_' ) + band + QLatin1Char( '_' ) + resolution ) )
          continue;
        for ( const char *extension : { ".jp2", ".tif" } )
        {
          if ( SceneReader::exists( folder + file + QLatin1String( extension ) ) )
            return folder + file + QLatin1String( extension );
        }
        scene.problems << QStringLiteral( "thiếu file %1.jp2" ).arg( file.section( QLatin1Char( '/' ), -1 ) );
        return QString();
      }
    }
    scene.problems << QStringLiteral( "MTD_MSIL2A.xml không ghi kênh %1" ).arg( band );
    return QString();
  };

  for ( const BandRole &role : bands )
  {
    SceneBand band;
    band.file = fileOf( QString::fromLatin1( role.band ) );
    if ( band.file.isEmpty() )
      continue;
    band.description = QString::fromLatin1( role.description );
    band.wavelength = role.wavelength;
    band.scale = 1 / quantification;
    band.offset = addOffsets.value( role.id, shifted ? -1000 : 0 ) / quantification;
    scene.reflectance << band;
  }
  scene.mask.file = fileOf( QStringLiteral( "SCL" ) );
  scene.mask.description = QStringLiteral( "SCL" );
  scene.maskKind = scene.mask.file.isEmpty() ? Scene::Mask::None : Scene::Mask::SentinelScl;

  if ( scene.reflectance.isEmpty() )
    return ProcessingResult::failed( scene.problems.join( QStringLiteral( "; " ) ),
                                     ProcessingResult::Status::ReadFailed );
  return {};
}
