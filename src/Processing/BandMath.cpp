#include "Processing/BandMath.h"

#include "Processing/GdalFailureCounter.h"

#include <QFileInfo>

#include <gdal.h>
#include <qgsgdalutils.h>
#include <qgsproject.h>
#include <qgsrastercalcnode.h>

#include <algorithm>
#include <memory>

QList<BandMath::Format> BandMath::outputFormats()
{
  GDALAllRegister();
  QList<Format> formats;
  for ( int i = 0; i < GDALGetDriverCount(); ++i )
  {
    GDALDriverH driver = GDALGetDriver( i );
    if ( !driver || !QgsGdalUtils::supportsRasterCreate( driver ) )
      continue;
    const QString shortName = QString::fromUtf8( GDALGetDriverShortName( driver ) );
    if ( shortName == QLatin1String( "MEM" ) )
      continue;
    formats.append( { QString::fromUtf8( GDALGetDriverLongName( driver ) ), shortName,
                      QString::fromUtf8( GDALGetMetadataItem( driver, GDAL_DMD_EXTENSION, nullptr ) ) } );
  }
  return formats;
}

QString BandMath::outputFileName( const QString &path, const QString &extension )
{
  if ( !QFileInfo( path ).suffix().isEmpty() || extension.isEmpty() )
    return path;
  return path + QLatin1Char( '.' ) + extension;
}

bool BandMath::isValidExpression( const QString &expression )
{
  QString error;
  return std::unique_ptr<QgsRasterCalcNode>( QgsRasterCalcNode::parseRasterCalcString( expression, error ) ) != nullptr;
}

QgsRasterCalculator::Result BandMath::run( const Request &request, QgsFeedback *feedback )
{
  QString parserError;
  const std::unique_ptr<QgsRasterCalcNode> tree(
      QgsRasterCalcNode::parseRasterCalcString( request.expression, parserError ) );
  if ( !tree )
    return QgsRasterCalculator::ParserError;

  // A band of a layer no longer in the project would only fail halfway through
  // writing; refuse it before any file is touched.
  const QVector<QgsRasterCalculatorEntry> entries = QgsRasterCalculatorEntry::rasterEntries();
  for ( const QString &reference : tree->cleanRasterReferences() )
  {
    const bool known =
        std::any_of( entries.cbegin(), entries.cend(),
                     [&reference]( const QgsRasterCalculatorEntry &entry ) { return entry.ref == reference; } );
    if ( !known )
      return QgsRasterCalculator::BandError;
  }

  if ( entries.isEmpty() )
    return QgsRasterCalculator::InputLayerError;

  // The result takes the CRS of the first raster, as its extent does. It is
  // passed explicitly: QGIS 3.22's calculator drops it otherwise and writes a
  // file without any CRS.
  QgsRasterCalculator calculator( request.expression, request.outputFile, request.driver, request.extent,
                                  entries.constFirst().raster->crs(), request.columns, request.rows, entries,
                                  QgsProject::instance()->transformContext() );
  const GdalFailureCounter gdalFailures;
  const QgsRasterCalculator::Result result = calculator.processCalculation( feedback );
  if ( result == QgsRasterCalculator::Success && gdalFailures.failures() > 0 )
    return QgsRasterCalculator::CreateOutputError;
  return result;
}
