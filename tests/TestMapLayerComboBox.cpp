#include "Core/Utils.h"
#include "TestSupport.h"
#include "Widgets/FileWidget.h"
#include "Widgets/MapLayerComboBox.h"

using namespace TestSupport;

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
      auto *roads = new QgsVectorLayer( absolute( writeVector( "roads.gpkg", "GPKG", { "roads" } ) ), "roads", "ogr" );
      auto *scene = new QgsRasterLayer( absolute( writeRaster( "scene.tif" ) ), "scene" );
      auto *dem = new QgsRasterLayer( absolute( writeRaster( "dem.tif" ) ), "dem" );
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
      auto *twin = new QgsRasterLayer( absolute( "scene.tif" ), "scene" );
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

    void choicesFillThePathAndRememberTheFolder_data()
    {
      QTest::addColumn<int>( "mode" );
      QTest::addColumn<QString>( "chosen" );
      QTest::newRow( "save" ) << int( FileWidget::SaveFile ) << absolute( "data/out.tif" );
      QTest::newRow( "open" ) << int( FileWidget::OpenFile ) << absolute( "data/in.tif" );
      QTest::newRow( "folder" ) << int( FileWidget::Directory ) << absolute( "data/bands" );
    }
    void choicesFillThePathAndRememberTheFolder()
    {
      QFETCH( int, mode );
      QFETCH( QString, chosen );
      QDir().mkpath( "data/bands" );
      QDir().mkpath( "first" );
      writeRaster( "data/in.tif" );
      const QString first = absolute( "first" );
      Utils::writeSetting( Utils::Keys::lastFileNameDir, first );
      FileWidget widget;
      widget.setMode( mode );
      // A choice, then a cancel: the second dialog still starts where the first did, and the choice stays.
      QStringList starts;
      for ( const QString &answer : { chosen, QString() } )
      {
        whenModal(
            [&starts, answer]( QWidget *dialog )
            {
              auto *files = qobject_cast<QFileDialog *>( dialog );
              starts << files->directory().absolutePath();
              files->findChild<QLineEdit *>( "fileNameEdit" )->setText( answer );
              QMetaObject::invokeMethod( files, answer.isEmpty() ? "reject" : "accept" );
            } );
        widget.openFileDialog();
      }
      QCOMPARE( starts, ( QStringList{ first, first } ) );
      QCOMPARE( widget.filePath(), chosen );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::lastFileNameDir ), absolute( "data" ) );

      widget.findChild<QLineEdit *>()->setText( "   /typed/by hand.tif  " );
      QCOMPARE( widget.filePath(), QStringLiteral( "/typed/by hand.tif" ) );
    }
};

RASTOVA_TEST( TestMapLayerComboBox )
#include "TestMapLayerComboBox.moc"
