#include "Core/Utils.h"
#include "Data/Controller.h"
#include "TestSupport.h"

#include <ogrsf_frmts.h>
#include <qgsrasterfilewriter.h>

namespace
{
using TestSupport::absolute;
using TestSupport::notices;

QString rasterFilterFor( const QString &driver )
{
  for ( const QgsRasterFileWriter::FilterFormatDetails &format : QgsRasterFileWriter::supportedFiltersAndFormats() )
    if ( format.driverName == driver )
      return format.filterString;
  return QString();
}
} // namespace

class TestRasterData : public TestSupport::WindowTest
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
      const QString good = absolute( vector ? TestSupport::writeVector( "add/good.shp", "ESRI Shapefile", { "good" } )
                                            : TestSupport::writeRaster( "add/good.tif" ) );
      const QStringList failed = {
          absolute( TestSupport::writeBytes( vector ? "add/broken.gpkg" : "add/broken.tif", "II*\0garbage" ) ),
          absolute( TestSupport::writeBytes( vector ? "add/readme.geojson" : "add/readme.tif", "hello" ) ) };
      // Adding reports each file on its own; opening reports them all at once.
      QStringList expected;
      for ( const QString &file : cancelled           ? QStringList()
                                  : command == "data" ? QStringList{ failed.join( '|' ) }
                                                      : failed )
        expected << "Không thể đọc file " + file;

      TestSupport::answerFileDialog( cancelled ? QStringList() : QStringList{ failed[0], good, failed[1] } );
      command == "raster" ? MainWindow::controller()->addRaster()
      : vector            ? MainWindow::controller()->addVector()
                          : MainWindow::controller()->openData();

      QCOMPARE( QgsProject::instance()->count(), int( !cancelled ) );
      QStringList shown;
      for ( const TestSupport::Notice &notice : notices() )
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
      const TestSupport::RasterSpec spec{ fullDisk ? 300 : 20,
                                          fullDisk ? 300 : 10,
                                          4,
                                          type,
                                          raster.value( 1 ).toInt(),
                                          raster.value( 2 ).toDouble(),
                                          raster.value( 3 ).toDouble(),
                                          raster.value( 1 ) == "4326" ? 0.001 : 30,
                                          true,
                                          type == GDT_Byte ? 0 : TestSupport::valueAt( 1, 0, 0 ) };
      const QString from = vector ? TestSupport::writeVector( sources + "/parcels.gpkg", "GPKG", { "parcels" } )
                                  : TestSupport::writeRaster( sources + "/kept.tif", spec );
      // Earlier files of another layer, marked so that one left in place shows even where the data is the same.
      vector ? TestSupport::writeVector( written.isEmpty() ? folder + "/earlier.shp" : path,
                                         written.value( 0, "ESRI Shapefile" ), { "earlier" } )
             : TestSupport::writeRaster( folder + "/earlier.tif" );
      for ( auto [name, bytes] : TestSupport::folderContents( folder ).toStdMap() )
        TestSupport::writeBytes( folder + '/' + name, bytes + "earlier" );
      const QMap<QString, QByteArray> before = TestSupport::folderContents( folder );

      MainWindow::controller()->exportData(); // nothing selected: nothing to export, nothing asked
      MainWindow::controller()->openFileName( from );
      TestSupport::answerFileDialog( { path }, filter.isEmpty() ? QString() : rasterFilterFor( filter ) );
      if ( QFile::exists( path ) ) // the file dialog asks before a file is replaced
        TestSupport::answerMessage( "&Yes" );
      {
        std::unique_ptr<TestSupport::FileSizeLimit> limit;
        if ( fullDisk )
          limit = std::make_unique<TestSupport::FileSizeLimit>( 64 * 1024 );
        MainWindow::controller()->exportData();
      }
      const QList<TestSupport::Notice> shown = notices();
      const QMap<QString, QByteArray> after = TestSupport::folderContents( folder );
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
      QCOMPARE(
          TestSupport::checkWritten( path, { { from, 1 }, { from, 2 }, { from, 3 }, { from, 4 } }, type, spec.noData ),
          QString() );
      const std::unique_ptr<GDALDataset> in = TestSupport::openRaster( from );
      double inTransform[6], outTransform[6];
      in->GetGeoTransform( inTransform );
      out->GetGeoTransform( outTransform );
      for ( int i = 0; i < 6; ++i ) // QCOMPARE forgives the rounding a geographic origin takes in the writing
        QCOMPARE( outTransform[i], inTransform[i] );
      QVERIFY( out->GetSpatialRef() && out->GetSpatialRef()->IsSame( in->GetSpatialRef() ) );
    }
};

RASTOVA_TEST( TestRasterData )
#include "TestRasterData.moc"
