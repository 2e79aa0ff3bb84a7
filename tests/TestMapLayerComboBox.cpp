#include "Core/Utils.h"
#include "TestSupport.h"
#include "Widgets/MapLayerComboBox.h"

namespace
{
QImage picture( const QIcon &icon )
{
  return icon.pixmap( 16, 16 ).toImage();
}

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

  private:
    QgsMapCanvas *mCanvas = nullptr;
    QgsRasterLayer *mScene = nullptr;
    QgsRasterLayer *mDem = nullptr;
    QgsVectorLayer *mRoads = nullptr;

  private slots:
    void init()
    {
      mCanvas = new QgsMapCanvas();
      TestSupport::RasterSpec single;
      single.bands = 1;
      mRoads = new QgsVectorLayer(
          QDir::current().absoluteFilePath( TestSupport::writeVector( "roads.gpkg", "GPKG", { "roads" } ) ), "roads",
          "ogr" );
      mScene =
          new QgsRasterLayer( QDir::current().absoluteFilePath( TestSupport::writeRaster( "scene.tif" ) ), "scene" );
      mDem = new QgsRasterLayer( QDir::current().absoluteFilePath( TestSupport::writeRaster( "dem.tif", single ) ),
                                 "dem" );
      QgsProject::instance()->addMapLayers( { mRoads, mScene, mDem } );
      mCanvas->setLayers( { mRoads, mScene, mDem } );
    }
    void cleanup()
    {
      delete mCanvas;
      QgsProject::instance()->clear();
    }

    void listsTheCanvasRastersWithBandIcons()
    {
      MapLayerComboBox box;
      QSignalSpy changed( &box, &MapLayerComboBox::currentLayerChanged );
      box.setMapCanvas( mCanvas );
      box.setLayerType( QgsMapLayerType::RasterLayer );
      QCOMPARE( changed.count(), 0 );
      box.refresh();
      QCOMPARE( names( box.layers() ), ( QStringList{ "scene", "dem" } ) );
      QCOMPARE( changed.count(), 1 );
      QCOMPARE( changed.at( 0 ).at( 0 ).value<QgsMapLayer *>(), mScene );
      QCOMPARE( box.currentLayer(), mScene );
      auto *combo = box.findChild<QComboBox *>();
      QCOMPARE( picture( combo->itemIcon( 0 ) ), picture( Utils::icon( "mIconRaster.svg" ) ) );
      QCOMPARE( picture( combo->itemIcon( 1 ) ), picture( Utils::icon( "Band.svg" ) ) );

      box.setLayer( mDem );
      QCOMPARE( changed.count(), 2 );
      QCOMPARE( changed.at( 1 ).at( 0 ).value<QgsMapLayer *>(), mDem );
      box.setLayer( mDem );
      box.setLayer( mRoads );
      box.setLayer( nullptr );
      QCOMPARE( changed.count(), 2 );
      QCOMPARE( box.currentLayer(), mDem );
    }

    void vectorsHaveNoIcon()
    {
      MapLayerComboBox box;
      box.setMapCanvas( mCanvas );
      box.setLayerType( QgsMapLayerType::VectorLayer );
      box.refresh();
      QCOMPARE( names( box.layers() ), QStringList{ "roads" } );
      QVERIFY( box.findChild<QComboBox *>()->itemIcon( 0 ).isNull() );
    }

    void emptyOrMissingCanvasListsNothing()
    {
      MapLayerComboBox box;
      QSignalSpy changed( &box, &MapLayerComboBox::currentLayerChanged );
      box.refresh();
      QgsMapCanvas empty;
      box.setMapCanvas( &empty );
      box.refresh();
      QCOMPARE( changed.count(), 0 );
      QVERIFY( !box.currentLayer() );
      QVERIFY( box.layers().isEmpty() );
    }

    void hiddenLayersAreLeftOutAndTwinsKept()
    {
      auto *twin = new QgsRasterLayer( QDir::current().absoluteFilePath( "scene.tif" ), "scene" );
      QgsProject::instance()->addMapLayer( twin );
      mCanvas->setLayers( { twin, mScene } ); // dem is in the project but not drawn
      MapLayerComboBox box;
      box.setMapCanvas( mCanvas );
      box.refresh();
      QCOMPARE( names( box.layers() ), ( QStringList{ "scene", "scene" } ) );
      box.setLayer( mScene );
      QCOMPARE( box.currentLayer(), mScene );
    }

    void aRemovedLayerIsNeverHandedOut()
    {
      MapLayerComboBox box;
      box.setMapCanvas( mCanvas );
      box.refresh();
      QgsProject::instance()->removeMapLayer( mScene );
      QVERIFY( !box.currentLayer() );
      QCOMPARE( names( box.layers() ), ( QStringList{ "null", "dem" } ) );
    }
};

RASTOVA_TEST( TestMapLayerComboBox )
#include "TestMapLayerComboBox.moc"
