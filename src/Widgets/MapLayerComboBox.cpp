#include "Widgets/MapLayerComboBox.h"

#include "Core/Utils.h"

#include <QComboBox>
#include <QHBoxLayout>

#include <qgslayertreeview.h>
#include <qgsmapcanvas.h>
#include <qgsrasterlayer.h>

MapLayerComboBox::MapLayerComboBox( QWidget *parent )
    : QWidget( parent )
    , mComboBox( new QComboBox( this ) )
{
  auto *layout = new QHBoxLayout( this );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mComboBox, 0 );
  setSizePolicy( mComboBox->sizePolicy() );
  setFocusProxy( mComboBox );
  connect( mComboBox, qOverload<int>( &QComboBox::currentIndexChanged ), this,
           &MapLayerComboBox::comboBoxCurrentIndexChanged );
}

void MapLayerComboBox::setMapCanvas( QgsMapCanvas *canvas )
{
  mMapCanvas = canvas;
}

void MapLayerComboBox::setLayerType( QgsMapLayerType type )
{
  mLayerType = type;
}

void MapLayerComboBox::refresh()
{
  if ( !mMapCanvas )
    return;

  {
    const QSignalBlocker blocker( mComboBox );
    mComboBox->clear();
    mLayers.clear();
    for ( QgsMapLayer *layer : mMapCanvas->layers() )
    {
      if ( layer->type() != mLayerType )
        continue;
      QIcon icon;
      if ( auto *raster = qobject_cast<QgsRasterLayer *>( layer ) )
        icon =
            Utils::icon( raster->bandCount() < 2 ? QStringLiteral( "Band.svg" ) : QStringLiteral( "mIconRaster.svg" ) );
      mLayers << layer;
      mComboBox->addItem( icon, layer->name() );
      // Layers of one name (a series, one folder per date) are told apart by their files.
      mComboBox->setItemData( mComboBox->count() - 1, layer->publicSource(), Qt::ToolTipRole );
    }
  }

  if ( !mLayers.isEmpty() )
    emit currentLayerChanged( mLayers.constFirst() );
}

void MapLayerComboBox::setLayer( QgsMapLayer *layer )
{
  const int index = layer ? mLayers.indexOf( layer ) : -1;
  if ( index < 0 || index == mComboBox->currentIndex() )
    return;
  mComboBox->setCurrentIndex( index );
}

void MapLayerComboBox::setLayerSelectedIn( const QgsLayerTreeView *view )
{
  const QList<QgsMapLayer *> selected = view ? view->selectedLayers() : QList<QgsMapLayer *>();
  if ( !selected.isEmpty() )
    setLayer( selected.constFirst() );
}

QgsMapLayer *MapLayerComboBox::currentLayer() const
{
  const int index = mComboBox->currentIndex();
  return index < 0 || index >= mLayers.size() ? nullptr : mLayers.at( index ).data();
}

QList<QgsMapLayer *> MapLayerComboBox::layers() const
{
  QList<QgsMapLayer *> layers;
  for ( const QPointer<QgsMapLayer> &layer : mLayers )
    layers << layer.data();
  return layers;
}

void MapLayerComboBox::comboBoxCurrentIndexChanged()
{
  if ( QgsMapLayer *layer = currentLayer() )
    emit currentLayerChanged( layer );
}
