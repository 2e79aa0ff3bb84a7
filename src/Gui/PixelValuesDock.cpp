#include "Gui/PixelValuesDock.h"

#include "Processing/PixelValues.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

PixelValuesDock::PixelValuesDock( QgsMapCanvas *canvas, QWidget *parent )
    : QgsDockWidget( QStringLiteral( "Giá trị điểm ảnh" ), parent )
    , mCanvas( canvas )
{
  setObjectName( QStringLiteral( "PixelValuesDock" ) );
  setAllowedAreas( Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea );
  mTree = new QTreeWidget( this );
  mTree->setObjectName( QStringLiteral( "pixelValuesTree" ) );
  mTree->setColumnCount( 2 );
  mTree->setHeaderLabels( { QStringLiteral( "Layer / kênh" ), QStringLiteral( "Giá trị" ) } );
  mTree->header()->setSectionResizeMode( 0, QHeaderView::ResizeToContents );
  mTree->setRootIsDecorated( true );
  setWidget( mTree );
}

void PixelValuesDock::showValuesAt( const QgsPointXY &point )
{
  QList<QgsRasterLayer *> rasters;
  for ( QgsMapLayer *layer : mCanvas->layers() )
  {
    if ( auto *raster = qobject_cast<QgsRasterLayer *>( layer ) )
      rasters.append( raster );
  }
  const QList<PixelValues::Layer> layers = PixelValues::at( rasters, point, mCanvas->mapSettings().destinationCrs(),
                                                            QgsProject::instance()->transformContext() );

  mTree->clear();
  for ( const PixelValues::Layer &layer : layers )
  {
    auto *top = new QTreeWidgetItem( mTree, { layer.name } );
    top->setData( 0, Qt::UserRole, layer.id );
    for ( const PixelValues::Band &band : layer.bands )
    {
      QString name = QStringLiteral( "Kênh %1" ).arg( band.number );
      if ( !band.description.isEmpty() )
        name += QStringLiteral( ": " ) + band.description;
      new QTreeWidgetItem( top, { name, PixelValues::text( band ) } );
    }
    new QTreeWidgetItem( top, { QStringLiteral( "Cột" ), QString::number( layer.column ) } );
    new QTreeWidgetItem( top, { QStringLiteral( "Hàng" ), QString::number( layer.row ) } );
  }
  mTree->expandAll();
}
