#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Data/MetadataViewerDialog.h"
#include "Gui/MainWindow.h"
#include "TestSupport.h"

#include <ogrsf_frmts.h>
#include <qgslayertreeview.h>

using TestSupport::notices;

namespace
{
using TestSupport::absolute;

//! A GeoPackage of one raster table per name, as GDAL sees Sentinel-2 products or HDF files: subdatasets only.
QString writeRasterTables( const QString &path, const QStringList &tables )
{
  TestSupport::RasterSpec spec;
  spec.bands = 1;
  spec.type = GDT_Byte;
  const std::unique_ptr<GDALDataset> source = TestSupport::openRaster( TestSupport::writeRaster( "table.tif", spec ) );
  for ( const QString &table : tables )
  {
    CPLStringList options;
    options.SetNameValue( "RASTER_TABLE", table.toUtf8().constData() );
    options.SetNameValue( "APPEND_SUBDATASET", QFile::exists( path ) ? "YES" : "NO" );
    GDALClose( GetGDALDriverManager()->GetDriverByName( "GPKG" )->CreateCopy(
        path.toUtf8().constData(), source.get(), false, options.List(), nullptr, nullptr ) );
  }
  return path;
}
} // namespace

//! Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open( const QUrl &url ) { opened << url; }
};

class TestVectorData : public TestSupport::WindowTest
{
    Q_OBJECT

  private slots:
    void filesOpenEveryLayer_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "driver" ); // none: raster tables
      QTest::addColumn<QStringList>( "layers" );
      QTest::addColumn<QStringList>( "expected" );
      // clang-format off
      QTest::newRow( "GeoPackage, two layers" ) << "two.gpkg" << "GPKG" << QStringList{ "roads", "parcels" } << QStringList{ "two — parcels", "two — roads" };
      QTest::newRow( "GeoPackage, two raster tables" ) << "multi.gpkg" << "" << QStringList{ "visible", "nir" } << QStringList{ "multi — nir", "multi — visible" };
      QTest::newRow( "Shapefile" ) << "plots.shp" << "ESRI Shapefile" << QStringList{ "plots" } << QStringList{ "plots" };
      QTest::newRow( "GeoJSON" ) << "zones.geojson" << "GeoJSON" << QStringList{ "zones" } << QStringList{ "zones" };
      // clang-format on
    }
    void filesOpenEveryLayer()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, driver );
      QFETCH( QStringList, layers );
      QFETCH( QStringList, expected );
      MainWindow::controller()->openFileName( absolute( driver.isEmpty()
                                                            ? writeRasterTables( fileName, layers )
                                                            : TestSupport::writeVector( fileName, driver, layers ) ) );
      QCOMPARE( notices().size(), 0 );
      QStringList names;
      for ( QgsMapLayer *layer : QgsProject::instance()->mapLayers() )
      {
        names << layer->name();
        QVERIFY( layer->isValid() );
        QCOMPARE( layer->crs().authid(), QStringLiteral( "EPSG:32748" ) );
        if ( auto *vector = qobject_cast<QgsVectorLayer *>( layer ) )
          QCOMPARE( vector->featureCount(), 3LL );
      }
      names.sort();
      QCOMPARE( names, expected );
    }

    void exportFollowsTheExtension_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "writtenDriver" );
      QTest::addColumn<QString>( "writtenLayer" );
      QTest::newRow( "shp, named after the file" ) << "out.shp"
                                                   << "ESRI Shapefile"
                                                   << "out";
      QTest::newRow( "gpkg keeps the layer name" ) << "out.gpkg"
                                                   << "GPKG"
                                                   << "parcels";
      QTest::newRow( "geojson keeps the layer name" ) << "out.geojson"
                                                      << "GeoJSON"
                                                      << "parcels";
    }
    void exportFollowsTheExtension()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, writtenDriver );
      QFETCH( QString, writtenLayer );
      QDir().mkpath( "export" );
      MainWindow::controller()->openFileName(
          absolute( TestSupport::writeVector( "source.gpkg", "GPKG", { "parcels" } ) ) );
      QgsMapLayer *source = MainWindow::layerTreeView()->currentLayer();
      QVERIFY( source );
      source->setName( "parcels" );

      // The file dialog's format choice is left as it comes: the name alone decides.
      const QString target = absolute( "export/" + fileName );
      TestSupport::answerFileDialog( { target } );
      MainWindow::controller()->exportData();

      std::unique_ptr<GDALDataset> written( GDALDataset::Open( target.toUtf8().constData(), GDAL_OF_VECTOR ) );
      QVERIFY2( written, qPrintable( target ) );
      QCOMPARE( QString( written->GetDriver()->GetDescription() ), writtenDriver );
      QCOMPARE( written->GetLayerCount(), 1 );
      OGRLayer *layer = written->GetLayer( 0 );
      QCOMPARE( QString( layer->GetName() ), writtenLayer );
      QCOMPARE( layer->GetFeatureCount(), 3LL );
      std::unique_ptr<OGRFeature> first( layer->GetNextFeature() );
      QCOMPARE( QString::fromUtf8( first->GetFieldAsString( "ten" ) ), QStringLiteral( "Thửa 0" ) );
      QCOMPARE( first->GetFieldAsDouble( "dien_tich" ), 12.5 );
      QCOMPARE( notices().size(), 1 );
      QCOMPARE( notices()[0].text, "Đã lưu thành công: " + target + ". " );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::vectorSaveDir ), absolute( "export" ) );
    }

    void aShapefileIsReplacedWhole()
    {
      QDir().mkpath( "kept" );
      const QString target =
          absolute( TestSupport::writeVector( "kept/parcels.shp", "ESRI Shapefile", { "parcels" } ) );
      const QMap<QString, QByteArray> before = TestSupport::folderContents( "kept" );
      MainWindow::controller()->openFileName( absolute( TestSupport::writeVector( "two.gpkg", "GPKG", { "other" } ) ) );
      TestSupport::answerFileDialog( { target } );
      TestSupport::answerYes();
      MainWindow::controller()->exportData();
      QCOMPARE( notices().last().level, Qgis::Info );
      const QMap<QString, QByteArray> after = TestSupport::folderContents( "kept" );
      for ( const QString &name : after.keys() ) // nothing hidden left behind
        QVERIFY2( name.startsWith( "parcels." ), qPrintable( name ) );
      QVERIFY( after.value( "parcels.dbf" ) != before.value( "parcels.dbf" ) );
      QVERIFY( QDir( "kept" ).entryList( QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot ).isEmpty() );
    }

    void metadataShowsTheCurrentLayerAndHandlesLinks()
    {
      MainWindow::controller()->openFileName(
          absolute( TestSupport::writeVector( "first.shp", "ESRI Shapefile", { "first" } ) ) );
      MainWindow::controller()->showMetadata();
      auto *viewer = qobject_cast<MetadataViewerDialog *>( QApplication::activeModalWidget() );
      QVERIFY( viewer );
      auto *browser = viewer->findChild<QTextBrowser *>( "textBrowser" );
      QVERIFY( browser->toPlainText().contains( "first" ) );
      viewer->close();

      MainWindow::controller()->openFileName( absolute( TestSupport::writeRaster( "second.tif" ) ) );
      MainWindow::controller()->showMetadata();
      QVERIFY( viewer->isVisible() );
      QVERIFY( browser->toPlainText().contains( "second.tif" ) );
      QVERIFY( !browser->toPlainText().contains( "first.shp" ) );
      viewer->showLayerMetadata( nullptr );
      QVERIFY( browser->toPlainText().contains( "second.tif" ) );
      viewer->close();

      UrlCatcher catcher;
      QDesktopServices::setUrlHandler( "file", &catcher, "open" );
      const QUrl folder = QUrl::fromLocalFile( QDir::currentPath() );
      viewer->urlClicked( QUrl::fromLocalFile( absolute( "second.tif" ) ) );
      viewer->urlClicked( folder );
      QDesktopServices::unsetUrlHandler( "file" );
      // No file manager on the bus here, so revealing a file opens its folder; a folder opens itself.
      QCOMPARE( catcher.opened, ( QList<QUrl>{ folder, folder } ) );
    }
};

RASTOVA_TEST( TestVectorData )
#include "TestVectorData.moc"
