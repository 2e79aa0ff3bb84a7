#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Data/MetadataViewerDialog.h"
#include "SceneFixtures.h"
#include "TestSupport.h"

#include <ogrsf_frmts.h>
#include <qgslayertree.h>
#include <qgsmultibandcolorrenderer.h>
#include <qgspalettedrasterrenderer.h>
#include <qgsrasterfilewriter.h>
#include <qgsrasterlayer.h>

using namespace TestSupport;

namespace
{
QString rasterFilterFor( const QString &driver )
{
  for ( const QgsRasterFileWriter::FilterFormatDetails &format : QgsRasterFileWriter::supportedFiltersAndFormats() )
    if ( format.driverName == driver )
      return format.filterString;
  return QString();
}
} // namespace

//! Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
  public:
    QList<QUrl> opened;
    Q_SLOT void open( const QUrl &url ) { opened << url; }
};

class TestRasterData : public WindowTest
{
    Q_OBJECT

  private slots:
    void addingReportsWhatFailedAndRemembersTheFolder_data()
    {
      QTest::addColumn<QString>( "command" );
      QTest::addColumn<bool>( "cancelled" );
      QTest::newRow( "rasters" ) << "raster" << false;
      QTest::newRow( "vectors" ) << "vector" << false;
      QTest::newRow( "any data, in one notice" ) << "data" << false;
      QTest::newRow( "rasters, cancelled" ) << "raster" << true;
      QTest::newRow( "any data, cancelled" ) << "data" << true;
    }
    void addingReportsWhatFailedAndRemembersTheFolder()
    {
      QFETCH( QString, command );
      QFETCH( bool, cancelled );
      const bool vector = command == "vector";
      QDir().mkpath( "add" );
      const QString good = absolute( vector ? writeVector( "add/good.shp", "ESRI Shapefile", { "good" } )
                                            : writeRaster( "add/good.tif" ) );
      const QStringList failed = {
          absolute( writeBytes( vector ? "add/broken.gpkg" : "add/broken.tif", "II*\0garbage" ) ),
          absolute( writeBytes( vector ? "add/readme.geojson" : "add/readme.tif", "hello" ) ) };
      // Adding reports each file on its own; opening reports them all at once.
      QStringList expected;
      for ( const QString &file : cancelled           ? QStringList()
                                  : command == "data" ? QStringList{ failed.join( '|' ) }
                                                      : failed )
        expected << "Không thể đọc file " + file;

      answerFileDialog( cancelled ? QStringList() : QStringList{ failed[0], good, failed[1] } );
      command == "raster" ? MainWindow::controller()->addRaster()
      : vector            ? MainWindow::controller()->addVector()
                          : MainWindow::controller()->openData();

      QCOMPARE( QgsProject::instance()->count(), int( !cancelled ) );
      QStringList shown;
      for ( const Notice &notice : notices() )
        shown << notice.text;
      QCOMPARE( shown, expected );
      const Utils::SettingKey &folder = command == "raster" ? Utils::Keys::rasterDir
                                        : vector            ? Utils::Keys::vectorDir
                                                            : Utils::Keys::openDataDir;
      QCOMPARE( Utils::rememberedFolder( folder ), cancelled ? QDir::homePath() : absolute( "add" ) );
    }

    void exportWritesTheChosenFileOrLeavesTheFolderAsItWas_data()
    {
      QTest::addColumn<QString>( "source" );      // "vector", or a raster's type, EPSG code and origin
      QTest::addColumn<QString>( "target" );      // beside an earlier file of the source's kind, "earlier"
      QTest::addColumn<QString>( "filter" );      // the raster format chosen in the file dialog
      QTest::addColumn<QStringList>( "written" ); // driver, and a vector's layer name; none: the export fails
      QTest::addColumn<bool>( "fullDisk" );
      const QString utm = "UInt16 32748 500000 9000000";
      // clang-format off
      QTest::newRow( "tif, Byte, VN-2000 UTM" ) << "Byte 3405 580000 2330000" << "a.tif" << "GTiff" << QStringList{ "GTiff" } << false;
      QTest::newRow( "img under the GeoTIFF filter, UInt16, UTM south" ) << utm << "b.img" << "GTiff" << QStringList{ "HFA" } << false;
      QTest::newRow( "no suffix follows the filter, Float32, Web Mercator west" ) << "Float32 3857 -8240000 -3500000" << "c" << "HFA" << QStringList{ "HFA" } << false;
      QTest::newRow( "unknown suffix follows the filter, Int16, geographic" ) << "Int16 4326 -70.5 -33.2" << "d.dat" << "HFA" << QStringList{ "HFA" } << false;
      QTest::newRow( "raster under a regular file" ) << utm << "earlier.tif/out.tif" << "GTiff" << QStringList() << false;
      QTest::newRow( "raster over an earlier file, writes fail" ) << utm << "earlier.tif" << "GTiff" << QStringList() << true;
      // A vector's format follows the name alone, whatever the file dialog's choice.
      QTest::newRow( "shp over a whole set, named after the file" ) << "vector" << "out.shp" << "" << QStringList{ "ESRI Shapefile", "out" } << false;
      QTest::newRow( "gpkg keeps the layer name" ) << "vector" << "out.gpkg" << "" << QStringList{ "GPKG", "parcels" } << false;
      QTest::newRow( "geojson, which is only ever opened for reading" ) << "vector" << "out.geojson" << "" << QStringList{ "GeoJSON", "parcels" } << false;
      QTest::newRow( "vector without an extension" ) << "vector" << "earlier" << "" << QStringList() << false;
      // clang-format on
    }
    void exportWritesTheChosenFileOrLeavesTheFolderAsItWas()
    {
      QFETCH( QString, source );
      QFETCH( QString, target );
      QFETCH( QString, filter );
      QFETCH( QStringList, written );
      QFETCH( bool, fullDisk );
      const bool vector = source == "vector";
      const QString folder = absolute( QStringLiteral( "export/%1" ).arg( QTest::currentDataTag() ) ),
                    sources = absolute( QStringLiteral( "sources/%1" ).arg( QTest::currentDataTag() ) ),
                    path = folder + '/' + target;
      QDir().mkpath( folder );
      QDir().mkpath( sources );
      const QStringList raster = source.split( ' ' );
      const GDALDataType type = GDALGetDataTypeByName( raster[0].toUtf8() );
      RasterLayout layout{ fullDisk ? 300 : 20, fullDisk ? 300 : 10, 4, type, raster.value( 1 ).toInt() };
      layout.originX = raster.value( 2 ).toDouble();
      layout.originY = raster.value( 3 ).toDouble();
      layout.pixelSize = raster.value( 1 ) == "4326" ? 0.001 : 30;
      layout.hasNoData = true;
      layout.noData = type == GDT_Byte ? 0 : valueAt( 1, 0, 0 );
      const QString from = vector ? writeVector( sources + "/parcels.gpkg", "GPKG", { "parcels" } )
                                  : writeRaster( sources + "/kept.tif", layout );
      // Earlier files of another layer, marked so that one left in place shows even where the data is the same.
      vector ? writeVector( written.isEmpty() ? folder + "/earlier.shp" : path, written.value( 0, "ESRI Shapefile" ),
                            { "earlier" } )
             : writeRaster( folder + "/earlier.tif" );
      for ( auto [name, bytes] : folderContents( folder ).toStdMap() )
        writeBytes( folder + '/' + name, bytes + "earlier" );
      const QMap<QString, QByteArray> before = folderContents( folder );

      MainWindow::controller()->exportData(); // nothing selected: nothing to export, nothing asked
      MainWindow::controller()->openFileName( from );
      answerFileDialog( { path }, filter.isEmpty() ? QString() : rasterFilterFor( filter ) );
      if ( QFile::exists( path ) ) // the file dialog asks before a file is replaced
        answerMessage( "&Yes" );
      {
        const FileSizeLimit limit( fullDisk ? 64 * 1024 : 0 );
        MainWindow::controller()->exportData();
      }
      const QList<Notice> shown = notices();
      const QMap<QString, QByteArray> after = folderContents( folder );
      const Utils::SettingKey &remembered = vector ? Utils::Keys::vectorSaveDir : Utils::Keys::rasterSaveDir;
      QCOMPARE( shown.size(), 1 );
      if ( written.isEmpty() )
      {
        QCOMPARE( shown[0].level, Qgis::Critical );
        QVERIFY2( shown[0].text.startsWith( "Lưu " + path + " thất bại: " ), qPrintable( shown[0].text ) );
        QVERIFY( after == before );
        QCOMPARE( Utils::rememberedFolder( remembered ), QDir::homePath() );
        return;
      }
      QCOMPARE( shown[0].text, "Đã lưu thành công: " + path + ". " );
      QCOMPARE( Utils::rememberedFolder( remembered ), folder );
      for ( const QString &name : after.keys() ) // the target's own files, all written anew, and nothing else
        QVERIFY2( name == "earlier.tif" || ( name.startsWith( QFileInfo( target ).completeBaseName() ) &&
                                             !after[name].endsWith( "earlier" ) ),
                  qPrintable( name ) );
      const std::unique_ptr<GDALDataset> out(
          GDALDataset::Open( path.toUtf8().constData(), vector ? GDAL_OF_VECTOR : GDAL_OF_RASTER ) );
      QVERIFY2( out, qPrintable( path ) );
      QCOMPARE( QString( out->GetDriver()->GetDescription() ), written[0] );
      if ( vector )
      {
        OGRLayer *layer = out->GetLayer( 0 );
        const std::unique_ptr<OGRFeature> first( layer->GetNextFeature() );
        QCOMPARE( ( QStringList{ layer->GetName(), QString::number( layer->GetFeatureCount() ),
                                 first->GetFieldAsString( "ten" ) } ),
                  ( QStringList{ written[1], "3", "Thửa 0" } ) ); // the text in its encoding
        return;
      }
      QCOMPARE( checkWritten( path, { { from, 1 }, { from, 2 }, { from, 3 }, { from, 4 } }, type, layout.noData ),
                QString() );
      const std::unique_ptr<GDALDataset> in = openRaster( from );
      double inTransform[6], outTransform[6];
      in->GetGeoTransform( inTransform );
      out->GetGeoTransform( outTransform );
      for ( int i = 0; i < 6; ++i ) // QCOMPARE forgives the rounding a geographic origin takes in the writing
        QCOMPARE( outTransform[i], inTransform[i] );
      QVERIFY( out->GetSpatialRef() && out->GetSpatialRef()->IsSame( in->GetSpatialRef() ) );
    }

    void filesOpenEveryLayerAndTheCurrentOneIsDescribed()
    {
      // Raster tables, as GDAL sees Sentinel-2 products or HDF files: subdatasets only.
      const std::unique_ptr<GDALDataset> table =
          openRaster( writeRaster( "table.tif", RasterLayout{ 20, 10, 1, GDT_Byte } ) );
      for ( const char *name : { "visible", "nir" } )
      {
        CPLStringList options;
        options.SetNameValue( "RASTER_TABLE", name );
        options.SetNameValue( "APPEND_SUBDATASET", QFile::exists( "multi.gpkg" ) ? "YES" : "NO" );
        GDALClose( GetGDALDriverManager()->GetDriverByName( "GPKG" )->CreateCopy( "multi.gpkg", table.get(), false,
                                                                                  options.List(), nullptr, nullptr ) );
      }
      MainWindow::controller()->openFileName( absolute( "multi.gpkg" ) );
      MainWindow::controller()->openFileName( absolute( writeVector( "two.gpkg", "GPKG", { "roads", "parcels" } ) ) );
      QCOMPARE( notices().size(), 0 );
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

    void opensProductAsOneGroup_data()
    {
      QTest::addColumn<QString>( "product" );
      QTest::addColumn<QList<int>>( "redGreenBlue" );
      QTest::addColumn<int>( "layers" );
      QTest::addColumn<QString>( "notice" );

      QTest::newRow( "Landsat 8 folder" ) << "" << QList<int>{ 4, 3, 2 } << 3 << "";
      QTest::newRow( "Landsat missing red" ) << "SR_B4" << QList<int>{ -1, 3, 2 } << 3 << "SR_B4";
      QTest::newRow( "Sentinel-2 zip" ) << "s2.zip" << QList<int>{ 3, 2, 1 } << 2 << "";
    }
    void opensProductAsOneGroup()
    {
      QFETCH( QString, product );
      QFETCH( QList<int>, redGreenBlue );
      QFETCH( int, layers );
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
        path = QFileInfo( writeLandsat( folder, { 8, 12, 6, true, false, { product } } ) ).path();
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

RASTOVA_TEST( TestRasterData )
#include "TestRasterData.moc"
