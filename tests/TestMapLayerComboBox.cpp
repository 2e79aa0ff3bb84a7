#include "TestSupport.h"
#include "Widgets/MapLayerComboBox.h"

namespace
{
QStringList names( const QList<QgsMapLayer *> &layers )
{
  QStringList result;
  for ( const QgsMapLayer *layer : layers )
    result << ( layer ? layer->name() : QStringLiteral( "null" ) );
  return result;
}
} // namespace

class TestMapLayerComboBox : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup() { QgsProject::instance()->clear(); }

    void listsTheDrawnLayersOfOneType()
    {
      auto *roads = new QgsVectorLayer(
          TestSupport::absolute( TestSupport::writeVector( "roads.gpkg", "GPKG", { "roads" } ) ), "roads", "ogr" );
      auto *scene = new QgsRasterLayer( TestSupport::absolute( TestSupport::writeRaster( "scene.tif" ) ), "scene" );
      auto *dem = new QgsRasterLayer( TestSupport::absolute( TestSupport::writeRaster( "dem.tif" ) ), "dem" );
      QgsProject::instance()->addMapLayers( { roads, scene, dem } );
      QgsMapCanvas canvas;
      canvas.setLayers( { roads, scene, dem } );
      MapLayerComboBox box;
      QSignalSpy changed( &box, &MapLayerComboBox::currentLayerChanged );
      box.refresh(); // no canvas yet
      box.setMapCanvas( &canvas );
      box.setLayerType( QgsMapLayerType::RasterLayer );
      QCOMPARE( changed.count(), 0 );
      box.refresh();
      QCOMPARE( names( box.layers() ), ( QStringList{ "scene", "dem" } ) );
      QCOMPARE( changed.count(), 1 );
      QCOMPARE( changed.at( 0 ).at( 0 ).value<QgsMapLayer *>(), scene );
      QCOMPARE( box.currentLayer(), scene );

      box.setLayer( dem );
      QCOMPARE( changed.count(), 2 );
      QCOMPARE( changed.at( 1 ).at( 0 ).value<QgsMapLayer *>(), dem );
      box.setLayer( dem );
      box.setLayer( roads );
      box.setLayer( nullptr );
      QCOMPARE( changed.count(), 2 );
      QCOMPARE( box.currentLayer(), dem );

      box.setLayerType( QgsMapLayerType::VectorLayer );
      box.refresh();
      QCOMPARE( names( box.layers() ), QStringList{ "roads" } );

      // Only drawn layers count (dem is in the project but not drawn); layers of one name are both listed.
      auto *twin = new QgsRasterLayer( TestSupport::absolute( "scene.tif" ), "scene" );
      QgsProject::instance()->addMapLayer( twin );
      canvas.setLayers( { twin, scene } );
      box.setLayerType( QgsMapLayerType::RasterLayer );
      box.refresh();
      QCOMPARE( names( box.layers() ), ( QStringList{ "scene", "scene" } ) );
      box.setLayer( scene );
      QCOMPARE( box.currentLayer(), scene );
      QgsProject::instance()->removeMapLayer( scene );
      QVERIFY( !box.currentLayer() );
      QCOMPARE( names( box.layers() ), ( QStringList{ "scene", "null" } ) );

      canvas.setLayers( {} );
      changed.clear();
      box.refresh();
      QCOMPARE( changed.count(), 0 );
      QVERIFY( !box.currentLayer() );
      QVERIFY( box.layers().isEmpty() );
    }
};

RASTOVA_TEST( TestMapLayerComboBox )
#include "TestMapLayerComboBox.moc"
