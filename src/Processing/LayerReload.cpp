#include "Processing/LayerReload.h"

#include <QFileInfo>
#include <QSet>

#include <qgsmaplayer.h>
#include <qgsproviderregistry.h>
#include <qgsrasterlayer.h>
#include <qgsrasterrenderer.h>

#include <algorithm>

void LayerReload::reloadReading( const QList<QgsMapLayer *> &layers, const QStringList &fileNames )
{
  QSet<QString> files;
  for ( const QString &fileName : fileNames )
    files << QFileInfo( fileName ).absoluteFilePath();
  for ( QgsMapLayer *layer : layers )
  {
    const QString path = QgsProviderRegistry::instance()
                             ->decodeUri( layer->providerType(), layer->source() )
                             .value( QStringLiteral( "path" ) )
                             .toString();
    if ( !path.isEmpty() && files.contains( QFileInfo( path ).absoluteFilePath() ) )
    {
      // A new provider, not reload(): the file may now hold other bands, types or a grid of its own.
      layer->setDataSource( layer->source(), layer->name(), layer->providerType() );
      // A style made for bands the new file lacks cannot draw it: the layer starts afresh.
      const auto *raster = qobject_cast<QgsRasterLayer *>( layer );
      const QList<int> bands = raster && raster->renderer() ? raster->renderer()->usesBands() : QList<int>();
      if ( std::any_of( bands.cbegin(), bands.cend(), [raster]( int band ) { return band > raster->bandCount(); } ) )
        layer->setDataSource( layer->source(), layer->name(), layer->providerType(), true );
      layer->triggerRepaint();
    }
  }
}
