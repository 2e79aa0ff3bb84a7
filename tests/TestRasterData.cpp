#include "Core/Utils.h"
#include "Data/Controller.h"
#include "TestSupport.h"

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

    void exportKeepsTheDataInTheChosenFormat_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "filterDriver" );
      QTest::addColumn<QString>( "writtenDriver" );
      QTest::addColumn<int>( "type" );
      QTest::addColumn<int>( "epsg" );
      QTest::addColumn<QPointF>( "origin" );
      // clang-format off
      QTest::newRow( "tif, Byte, VN-2000 UTM" ) << "a.tif" << "GTiff" << "GTiff" << int( GDT_Byte ) << 3405 << QPointF( 580000, 2330000 );
      QTest::newRow( "img under the GeoTIFF filter, UInt16, UTM south" ) << "b.img" << "GTiff" << "HFA" << int( GDT_UInt16 ) << 32748 << QPointF( 500000, 9000000 );
      QTest::newRow( "no suffix follows the filter, Float32, Web Mercator west" ) << "c" << "HFA" << "HFA" << int( GDT_Float32 ) << 3857 << QPointF( -8240000, -3500000 );
      QTest::newRow( "unknown suffix follows the filter, Int16, geographic" ) << "d.dat" << "HFA" << "HFA" << int( GDT_Int16 ) << 4326 << QPointF( -70.5, -33.2 );
      // clang-format on
    }
    void exportKeepsTheDataInTheChosenFormat()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, filterDriver );
      QFETCH( QString, writtenDriver );
      QFETCH( int, type );
      QFETCH( int, epsg );
      QFETCH( QPointF, origin );
      const bool byte = type == GDT_Byte; // small enough to keep every value below 256
      const double noData = byte ? 0 : TestSupport::valueAt( 1, 0, 0 ), pixelSize = epsg == 4326 ? 0.001 : 30;
      const TestSupport::RasterSpec spec{ byte ? 4 : 20, byte ? 4 : 10, 4,          GDALDataType( type ),
                                          epsg,          origin.x(),    origin.y(), pixelSize,
                                          true,          noData,        0,          1 };
      const QString source = absolute( TestSupport::writeRaster( QStringLiteral( "kept%1.tif" ).arg( type ), spec ) );
      MainWindow::controller()->exportData(); // nothing selected: nothing to export, nothing asked
      MainWindow::controller()->openFileName( source );
      QDir().mkpath( "export" );
      const QString target = absolute( "export/" + fileName );
      TestSupport::answerFileDialog( { target }, rasterFilterFor( filterDriver ) );
      MainWindow::controller()->exportData();

      QCOMPARE( TestSupport::checkWritten( target, { { source, 1 }, { source, 2 }, { source, 3 }, { source, 4 } },
                                           GDALDataType( type ), spec.noData ),
                QString() );
      std::unique_ptr<GDALDataset> in = TestSupport::openRaster( source ), out = TestSupport::openRaster( target );
      QCOMPARE( QString( out->GetDriver()->GetDescription() ), writtenDriver );
      double inTransform[6], outTransform[6];
      in->GetGeoTransform( inTransform );
      out->GetGeoTransform( outTransform );
      for ( int i = 0; i < 6; ++i ) // QCOMPARE forgives the rounding a geographic origin takes in the writing
        QCOMPARE( outTransform[i], inTransform[i] );
      QVERIFY( out->GetSpatialRef() && out->GetSpatialRef()->IsSame( in->GetSpatialRef() ) );
      QCOMPARE( notices().size(), 1 );
      QCOMPARE( notices()[0].text, "Đã lưu thành công: " + target + ". " );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::rasterSaveDir ), absolute( "export" ) );
    }

    void failedExportKeepsWhatWasThere_data()
    {
      QTest::addColumn<bool>( "vector" );
      QTest::addColumn<QString>( "target" );
      QTest::addColumn<bool>( "limited" );
      QTest::newRow( "raster under a regular file" ) << false << "failed/earlier.tif/out.tif" << false;
      QTest::newRow( "raster over an earlier file, writes fail" ) << false << "failed/earlier.tif" << true;
      QTest::newRow( "vector without an extension" ) << true << "failed/earlier" << false;
    }
    void failedExportKeepsWhatWasThere()
    {
      QFETCH( bool, vector );
      QFETCH( QString, target );
      QFETCH( bool, limited );
      QDir().mkpath( "failed" );
      vector ? TestSupport::writeVector( "failed/earlier.shp", "ESRI Shapefile", { "earlier" } )
             : TestSupport::writeRaster( "failed/earlier.tif" );
      MainWindow::controller()->openFileName(
          absolute( vector ? TestSupport::writeVector( "source.gpkg", "GPKG", { "source" } )
                           : TestSupport::writeRaster( "source.tif", { 300, 300 } ) ) ); // larger than the limit
      target = absolute( target );
      const QMap<QString, QByteArray> before = TestSupport::folderContents( "failed" );
      TestSupport::answerFileDialog( { target }, vector ? QString() : rasterFilterFor( "GTiff" ) );
      if ( QFile::exists( target ) ) // the file dialog asks before a file is replaced
        TestSupport::answerMessage( "&Yes" );
      {
        std::unique_ptr<TestSupport::FileSizeLimit> limit;
        if ( limited )
          limit = std::make_unique<TestSupport::FileSizeLimit>( 64 * 1024 );
        MainWindow::controller()->exportData();
      }

      const QList<TestSupport::Notice> shown = notices();
      QCOMPARE( shown.size(), 1 );
      QCOMPARE( shown[0].level, Qgis::Critical );
      QVERIFY2( shown[0].text.startsWith( "Lưu " + target + " thất bại: " ), qPrintable( shown[0].text ) );
      QVERIFY( TestSupport::folderContents( "failed" ) == before );
      QCOMPARE( Utils::rememberedFolder( vector ? Utils::Keys::vectorSaveDir : Utils::Keys::rasterSaveDir ),
                QDir::homePath() );
    }
};

RASTOVA_TEST( TestRasterData )
#include "TestRasterData.moc"
