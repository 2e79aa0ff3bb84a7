#include "Data/Controller.h"
#include "Data/MetadataViewerDialog.h"
#include "Processing/PixelValues.h"
#include "SceneFixtures.h"
#include "TestSupport.h"

#include <qgslayertree.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgspalettedrasterrenderer.h>
#include <qgsrasterlayer.h>

using namespace TestSupport;

class TestSceneWindow : public WindowTest
{
    Q_OBJECT

  private slots:
    void opensProductAsOneGroup_data()
    {
      QTest::addColumn<QString>( "product" );
      QTest::addColumn<QList<int>>( "redGreenBlue" );
      QTest::addColumn<int>( "layers" );
      QTest::addColumn<double>( "blueAtSecondPixel" );
      QTest::addColumn<QString>( "notice" );

      QTest::newRow( "Landsat 8 tar" ) << "landsat.tar" << QList<int>{ 4, 3, 2 } << 3 << 7201 * 2.75e-5 - 0.2 << "";
      QTest::newRow( "Landsat missing red" )
          << "SR_B4" << QList<int>{ -1, 3, 2 } << 3 << 7201 * 2.75e-5 - 0.2 << "SR_B4";
      QTest::newRow( "Sentinel-2 zip" ) << "s2.zip" << QList<int>{ 3, 2, 1 } << 2 << ( 7101 - 1000 ) / 10000.0 << "";
    }
    void opensProductAsOneGroup()
    {
      QFETCH( QString, product );
      QFETCH( QList<int>, redGreenBlue );
      QFETCH( int, layers );
      QFETCH( double, blueAtSecondPixel );
      QFETCH( QString, notice );

      const QString folder = absolute( QStringLiteral( "product-" ) + QTest::currentDataTag() );
      QString path;
      if ( product == "s2.zip" )
      {
        const QString safe = folder + "/S2A_MSIL2A_20230105T032131_N0509_R118_T48PWS_20230105T070000.SAFE";
        writeSentinel2( safe );
        path = folder + ".zip";
        QVERIFY( pack( safe, path ) );
      }
      else
      {
        LandsatSpec spec;
        if ( product == "SR_B4" )
          spec.missing = QStringList{ "SR_B4" };
        writeLandsat( folder, spec );
        path = folder;
        if ( product == "landsat.tar" )
        {
          path = folder + ".tar";
          QVERIFY( pack( folder, path ) );
        }
      }
      QVERIFY( MainWindow::controller()->isSupportedPath( path ) );

      MainWindow::controller()->openFileNames( { path } );
      const QList<QgsLayerTreeGroup *> groups = QgsProject::instance()->layerTreeRoot()->findGroups();
      QCOMPARE( groups.size(), 1 );
      QCOMPARE( groups.first()->findLayers().size(), layers );
      auto *reflectance = qobject_cast<QgsRasterLayer *>( groups.first()->findLayers().first()->layer() );
      const auto *renderer = dynamic_cast<const QgsMultiBandColorRenderer *>( reflectance->renderer() );
      QVERIFY( renderer );
      QCOMPARE( ( QList<int>{ renderer->redBand(), renderer->greenBand(), renderer->blueBand() } ), redGreenBlue );
      QCOMPARE( renderer->minMaxOrigin().limits(), QgsRasterMinMaxOrigin::CumulativeCut );
      // The pixel values panel reads reflectance, not digital numbers, under the band's name.
      const QgsRectangle extent = reflectance->extent();
      const double pixel = reflectance->rasterUnitsPerPixelX();
      const QList<PixelValues::Layer> values = PixelValues::at(
          { reflectance }, QgsPointXY( extent.xMinimum() + 1.5 * pixel, extent.yMaximum() - 0.5 * pixel ),
          reflectance->crs(), QgsProject::instance()->transformContext() );
      QCOMPARE( values.size(), 1 );
      const PixelValues::Band blue = values.first().bands.at( redGreenBlue.last() - 1 );
      QCOMPARE( blue.description, QStringLiteral( "Blue" ) );
      QVERIFY( !blue.noData && !blue.isInteger );
      QVERIFY( std::abs( blue.value - blueAtSecondPixel ) < 1e-6 );
      // What the product says of itself reaches the layer's information window.
      MetadataViewerDialog information;
      information.showLayerMetadata( reflectance );
      QVERIFY( information.findChild<QTextBrowser *>()->toPlainText().contains( "05/01/2023" ) );

      auto *mask = qobject_cast<QgsRasterLayer *>( groups.first()->findLayers().last()->layer() );
      QVERIFY( mask->name().endsWith( "_mask" ) );
      QVERIFY( dynamic_cast<const QgsPalettedRasterRenderer *>( mask->renderer() ) );

      const QList<Notice> shown = notices();
      QCOMPARE( shown.isEmpty(), notice.isEmpty() );
      if ( !notice.isEmpty() )
        QVERIFY( shown.last().text.contains( notice ) );
    }
};

RASTOVA_TEST( TestSceneWindow )
#include "TestSceneWindow.moc"
