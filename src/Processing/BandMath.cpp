#include "Processing/BandMath.h"

#include "Processing/BandMathEngine.h"

#include <QMap>
#include <QThread>

#include <gdal.h>
#include <qgsgdalutils.h>
#include <qgsproject.h>
#include <qgsrastercalcnode.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

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

bool BandMath::isValidExpression( const QString &expression )
{
  QString error;
  return std::unique_ptr<QgsRasterCalcNode>( QgsRasterCalcNode::parseRasterCalcString( expression, error ) ) != nullptr;
}

QgsRasterCalculator::Result BandMath::prepare( Request &request )
{
  QString parserError;
  const std::unique_ptr<QgsRasterCalcNode> tree(
      QgsRasterCalcNode::parseRasterCalcString( request.expression, parserError ) );
  if ( !tree )
    return QgsRasterCalculator::ParserError;

  const QVector<QgsRasterCalculatorEntry> entries = QgsRasterCalculatorEntry::rasterEntries();
  if ( entries.isEmpty() )
    return QgsRasterCalculator::InputLayerError;
  if ( !request.crs.isValid() )
    request.crs = entries.constFirst().raster->crs();
  request.transformContext = QgsProject::instance()->transformContext();
  request.inputs.clear();
  request.trees.clear();

  const int workers = std::clamp( QThread::idealThreadCount(), 1, 8 );
  for ( int worker = 0; worker < workers; ++worker )
    request.trees << std::shared_ptr<const QgsRasterCalcNode>(
        QgsRasterCalcNode::parseRasterCalcString( request.expression, parserError ) );
  QMap<const QgsRasterLayer *, QVector<std::shared_ptr<QgsRasterDataProvider>>> clones;
  // A band of a layer no longer in the project would only fail halfway through
  // writing; refuse it before any file is touched.
  QStringList references = tree->cleanRasterReferences();
  references.removeDuplicates();
  for ( const QString &reference : qAsConst( references ) )
  {
    const auto entry =
        std::find_if( entries.cbegin(), entries.cend(),
                      [&reference]( const QgsRasterCalculatorEntry &entry ) { return entry.ref == reference; } );
    if ( entry == entries.cend() || entry->bandNumber < 1 || entry->bandNumber > entry->raster->bandCount() )
      return QgsRasterCalculator::BandError;
    if ( !entry->raster->dataProvider() )
      return QgsRasterCalculator::InputLayerError;
    QVector<std::shared_ptr<QgsRasterDataProvider>> &providers = clones[entry->raster];
    while ( providers.size() < workers )
    {
      std::shared_ptr<QgsRasterDataProvider> clone( entry->raster->dataProvider()->clone() );
      if ( !clone )
        return QgsRasterCalculator::InputLayerError;
      providers << clone;
    }
    request.inputs.append( { reference, entry->bandNumber, entry->raster->crs(), providers } );
  }
  return QgsRasterCalculator::Success;
}

QgsRasterCalculator::Result BandMath::run( const Request &request, QgsFeedback *feedback )
{
  return BandMathEngine( request, feedback ).run();
}

QgsRasterCalculator::Result BandMath::prepareAndRun( Request request, QgsFeedback *feedback )
{
  const QgsRasterCalculator::Result prepared = prepare( request );
  return prepared == QgsRasterCalculator::Success ? run( request, feedback ) : prepared;
}
