#include "Processing/BandMath.h"

#include "Processing/BandMathEngine.h"

#include <QMap>
#include <QSet>
#include <QThread>

#include <qgsrastercalcnode.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

#include <algorithm>
#include <memory>

bool BandMath::isValidExpression( const QString &expression )
{
  QString error;
  return std::unique_ptr<QgsRasterCalcNode>( QgsRasterCalcNode::parseRasterCalcString( expression, error ) ) != nullptr;
}

QVector<QgsRasterCalculatorEntry> BandMath::entries( const QList<QgsRasterLayer *> &layers )
{
  QVector<QgsRasterCalculatorEntry> all;
  QSet<QString> names;
  for ( QgsRasterLayer *layer : layers )
  {
    if ( !layer || names.contains( layer->name() ) )
      continue;
    names << layer->name();
    for ( int band = 1; band <= layer->bandCount(); ++band )
    {
      QgsRasterCalculatorEntry entry;
      entry.ref = QStringLiteral( "%1@%2" ).arg( layer->name() ).arg( band );
      entry.raster = layer;
      entry.bandNumber = band;
      all << entry;
    }
  }
  return all;
}

ProcessingResult BandMath::prepare( Request &request, const QVector<QgsRasterCalculatorEntry> &entries,
                                    const QgsCoordinateTransformContext &context )
{
  QString parserError;
  const std::unique_ptr<QgsRasterCalcNode> tree(
      QgsRasterCalcNode::parseRasterCalcString( request.expression, parserError ) );
  if ( !tree )
    return ProcessingResult::failed( parserError, ProcessingResult::Status::InvalidExpression );

  if ( entries.isEmpty() )
    return ProcessingResult::failed( QStringLiteral( "no raster to read" ), ProcessingResult::Status::ReadFailed );
  if ( !request.grid.crs.isValid() )
    request.grid.crs = entries.constFirst().raster->crs();
  request.transformContext = context;
  request.inputs.clear();
  request.trees.clear();

  const int workers = std::clamp( QThread::idealThreadCount(), 1, 8 );
  for ( int worker = 0; worker < workers; ++worker )
    request.trees << std::shared_ptr<const QgsRasterCalcNode>(
        QgsRasterCalcNode::parseRasterCalcString( request.expression, parserError ) );
  QMap<const QgsRasterLayer *, QVector<std::shared_ptr<QgsRasterDataProvider>>> clones;
  // A band of a layer no longer there would only fail halfway through
  // writing; refuse it before any file is touched.
  QStringList references = tree->cleanRasterReferences();
  references.removeDuplicates();
  for ( const QString &reference : qAsConst( references ) )
  {
    const auto entry =
        std::find_if( entries.cbegin(), entries.cend(),
                      [&reference]( const QgsRasterCalculatorEntry &entry ) { return entry.ref == reference; } );
    if ( entry == entries.cend() || !entry->raster || entry->bandNumber < 1 ||
         entry->bandNumber > entry->raster->bandCount() )
      return ProcessingResult::failed( QStringLiteral( "no raster has band %1" ).arg( reference ),
                                       ProcessingResult::Status::InvalidBand );
    const QString cannotRead = QStringLiteral( "cannot read %1" ).arg( entry->raster->source() );
    if ( !entry->raster->dataProvider() )
      return ProcessingResult::failed( cannotRead, ProcessingResult::Status::ReadFailed );
    QVector<std::shared_ptr<QgsRasterDataProvider>> &providers = clones[entry->raster];
    while ( providers.size() < workers )
    {
      std::shared_ptr<QgsRasterDataProvider> clone( entry->raster->dataProvider()->clone() );
      if ( !clone )
        return ProcessingResult::failed( cannotRead, ProcessingResult::Status::ReadFailed );
      providers << clone;
    }
    request.inputs.append( { reference, entry->bandNumber, entry->raster->crs(), providers } );
  }
  return {};
}

ProcessingResult BandMath::run( const Request &request, QgsFeedback *feedback )
{
  return BandMathEngine( request, feedback ).run();
}

ProcessingResult BandMath::prepareAndRun( Request request, const QVector<QgsRasterCalculatorEntry> &entries,
                                          const QgsCoordinateTransformContext &context, QgsFeedback *feedback )
{
  const ProcessingResult prepared = prepare( request, entries, context );
  return prepared.done() ? run( request, feedback ) : prepared;
}
