#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Data/MetadataViewerDialog.h"
#include "TestSupport.h"

#include <ogrsf_frmts.h>

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
    void filesOpenEveryLayer()
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
    }

    void exportFollowsTheExtension_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "writtenDriver" );
      QTest::addColumn<QString>( "writtenLayer" );
      // clang-format off
      QTest::newRow( "shp, named after the file" ) << "out.shp" << "ESRI Shapefile" << "out";
      QTest::newRow( "gpkg keeps the layer name" ) << "out.gpkg" << "GPKG" << "parcels";
      QTest::newRow( "geojson, which is only ever opened for reading" ) << "out.geojson" << "GeoJSON" << "parcels";
      // clang-format on
    }
    void exportFollowsTheExtension()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, writtenDriver );
      QFETCH( QString, writtenLayer );
      QDir( "replaced" ).removeRecursively();
      QDir().mkpath( "replaced" );
      MainWindow::controller()->openFileName(
          absolute( TestSupport::writeVector( "parcels.gpkg", "GPKG", { "parcels" } ) ) );
      // Each export replaces an earlier file (a whole Shapefile set) of another layer.
      const QString target =
          absolute( TestSupport::writeVector( "replaced/" + fileName, writtenDriver, { "earlier" } ) );
      // Marked, so that an earlier file left in place shows even where the data is the same.
      const QMap<QString, QByteArray> earlier = TestSupport::folderContents( "replaced" );
      for ( auto file = earlier.cbegin(); file != earlier.cend(); ++file )
        TestSupport::writeBytes( "replaced/" + file.key(), file.value() + "earlier" );
      // The file dialog's format choice is left as it comes: the name alone decides.
      TestSupport::answerFileDialog( { target } );
      TestSupport::answerMessage( "&Yes" );
      MainWindow::controller()->exportData();
      const QStringList left = QDir( "replaced" ).entryList( QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot );
      QCOMPARE( left.filter( QRegularExpression( "^(?!out\\.)" ) ), QStringList() ); // nothing of the work left behind
      for ( const QString &name : earlier.keys() )
        QVERIFY2( !TestSupport::folderContents( "replaced" ).value( name ).endsWith( "earlier" ), qPrintable( name ) );

      std::unique_ptr<GDALDataset> written( GDALDataset::Open( target.toUtf8().constData(), GDAL_OF_VECTOR ) );
      QVERIFY2( written, qPrintable( target ) );
      OGRLayer *layer = written->GetLayer( 0 );
      const std::unique_ptr<OGRFeature> first( layer->GetNextFeature() );
      QCOMPARE( ( QStringList{ written->GetDriver()->GetDescription(), layer->GetName(),
                               QString::number( layer->GetFeatureCount() ), first->GetFieldAsString( "ten" ) } ),
                ( QStringList{ writtenDriver, writtenLayer, "3", "Thửa 0" } ) ); // the text in its encoding
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::vectorSaveDir ), absolute( "replaced" ) );
    }

    void metadataShowsTheCurrentLayerAndHandlesLinks()
    {
      MainWindow::controller()->openFileName( absolute( TestSupport::writeRaster( "first.tif" ) ) );
      MainWindow::controller()->openFileName( absolute( TestSupport::writeRaster( "second.tif" ) ) );
      MainWindow::controller()->showMetadata();
      auto *viewer = qobject_cast<MetadataViewerDialog *>( QApplication::activeModalWidget() );
      QVERIFY( viewer );
      QVERIFY( viewer->findChild<QTextBrowser *>( "textBrowser" )->toPlainText().contains( "second.tif" ) );
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
