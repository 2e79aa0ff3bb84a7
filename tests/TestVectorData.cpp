#include "Data/Controller.h"
#include "Data/MetadataViewerDialog.h"
#include "TestSupport.h"

namespace
{
using TestSupport::absolute;
} // namespace

//! Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
  public:
    QList<QUrl> opened;
    Q_SLOT void open( const QUrl &url ) { opened << url; }
};

class TestVectorData : public TestSupport::WindowTest
{
    Q_OBJECT

  private slots:
    void filesOpenEveryLayerAndTheCurrentOneIsDescribed()
    {
      // Raster tables, as GDAL sees Sentinel-2 products or HDF files: subdatasets only.
      const std::unique_ptr<GDALDataset> table = TestSupport::openRaster(
          TestSupport::writeRaster( "table.tif", TestSupport::RasterSpec{ 20, 10, 1, GDT_Byte } ) );
      for ( const char *name : { "visible", "nir" } )
      {
        CPLStringList options;
        options.SetNameValue( "RASTER_TABLE", name );
        options.SetNameValue( "APPEND_SUBDATASET", QFile::exists( "multi.gpkg" ) ? "YES" : "NO" );
        GDALClose( GetGDALDriverManager()->GetDriverByName( "GPKG" )->CreateCopy( "multi.gpkg", table.get(), false,
                                                                                  options.List(), nullptr, nullptr ) );
      }
      MainWindow::controller()->openFileName( absolute( "multi.gpkg" ) );
      MainWindow::controller()->openFileName(
          absolute( TestSupport::writeVector( "two.gpkg", "GPKG", { "roads", "parcels" } ) ) );
      QCOMPARE( TestSupport::notices().size(), 0 );
      QStringList names;
      for ( QgsMapLayer *layer : QgsProject::instance()->mapLayers() )
        names << layer->name();
      names.sort();
      QCOMPARE( names, ( QStringList{ "multi — nir", "multi — visible", "two — parcels", "two — roads" } ) );

      // The information window describes the current layer, one of the last file's.
      MainWindow::controller()->showMetadata();
      auto *viewer = qobject_cast<MetadataViewerDialog *>( QApplication::activeModalWidget() );
      QVERIFY( viewer );
      QVERIFY( viewer->findChild<QTextBrowser *>( "textBrowser" )->toPlainText().contains( "two.gpkg" ) );
      viewer->close();
      UrlCatcher catcher;
      QDesktopServices::setUrlHandler( "file", &catcher, "open" );
      const QUrl folder = QUrl::fromLocalFile( QDir::currentPath() );
      viewer->urlClicked( QUrl::fromLocalFile( absolute( "two.gpkg" ) ) );
      viewer->urlClicked( folder );
      QDesktopServices::unsetUrlHandler( "file" );
      // No file manager on the bus here, so revealing a file opens its folder; a folder opens itself.
      QCOMPARE( catcher.opened, ( QList<QUrl>{ folder, folder } ) );
    }
};

RASTOVA_TEST( TestVectorData )
#include "TestVectorData.moc"
