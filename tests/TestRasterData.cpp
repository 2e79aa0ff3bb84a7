#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Data/RasterModel.h"
#include "Data/VectorModel.h"
#include "Gui/MainWindow.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <qgslayertreeview.h>
#include <qgsmessagebar.h>
#include <qgsmessagebaritem.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <memory>

namespace
{
using TestSupport::absolute;

using TestSupport::Notice;
using TestSupport::notices;

QString filterFor( const QString &driver )
{
  for ( const QgsRasterFileWriter::FilterFormatDetails &format : QgsRasterFileWriter::supportedFiltersAndFormats() )
    if ( format.driverName == driver )
      return format.filterString;
  return QString();
}

//! Fails the test if any modal dialog shows up within a moment.
void expectNoDialog( bool *appeared )
{
  *appeared = false;
  TestSupport::whenModal(
      [appeared]( QWidget *dialog )
      {
        *appeared = true;
        dialog->close();
      },
      300 );
}
} // namespace

class TestRasterData : public TestSupport::WindowTest
{
    Q_OBJECT

  private slots:
    void openFileNamesReportsEveryFailureOnce()
    {
      QDir().mkpath( "open" );
      const QString good = absolute( TestSupport::writeRaster( "open/good.tif" ) );
      QFile source( good );
      QVERIFY( source.open( QIODevice::ReadOnly ) );
      const QStringList bad = {
          absolute( "open/missing.tif" ),
          absolute( TestSupport::writeBytes( "open/empty.tif", QByteArray() ) ),
          absolute( TestSupport::writeBytes( "open/truncated.tif", source.read( 100 ) ) ),
          absolute( TestSupport::writeBytes( "open/notes.txt", "not a raster at all" ) ),
          absolute( "open" ),
          absolute( TestSupport::writeBytes( "open/garbage.gpkg", QByteArray( 4096, '\x5a' ) ) ),
          absolute( TestSupport::writeBytes( "open/empty.shp", QByteArray() ) ),
      };

      MainWindow::controller()->openFileNames( QStringList{ bad[0], good } + bad.mid( 1 ) );

      QCOMPARE( QgsProject::instance()->count(), 1 );
      QCOMPARE( QgsProject::instance()->mapLayers().first()->name(), QStringLiteral( "good" ) );
      const QList<Notice> shown = notices();
      QCOMPARE( shown.size(), 1 );
      QCOMPARE( shown[0].title, QStringLiteral( "Thêm dữ liệu thất bại" ) );
      QCOMPARE( shown[0].text, "Không thể đọc file " + bad.join( '|' ) );
      QCOMPARE( shown[0].level, Qgis::Critical );

      MainWindow::controller()->openFileNames( {} );
      QCOMPARE( notices().size(), 1 );
    }

    void subdatasetsOpenAsLayersOfTheirOwn()
    {
      // A GeoPackage with two raster tables, as GDAL sees Sentinel-2 products or HDF files: subdatasets only.
      const QString path = absolute( "multi.gpkg" );
      GDALDriver *gpkg = GetGDALDriverManager()->GetDriverByName( "GPKG" );
      for ( const auto &[table, bands] : { std::pair<const char *, int>{ "visible", 3 }, { "nir", 1 } } )
      {
        char **options = CSLSetNameValue( nullptr, "RASTER_TABLE", table );
        if ( QFile::exists( path ) )
          options = CSLSetNameValue( options, "APPEND_SUBDATASET", "YES" );
        std::unique_ptr<GDALDataset> dataset(
            gpkg->Create( path.toUtf8().constData(), 16, 8, bands, GDT_Byte, options ) );
        CSLDestroy( options );
        QVERIFY( dataset );
        double transform[6] = { 500000, 30, 0, 9000000, 0, -30 };
        dataset->SetGeoTransform( transform );
        OGRSpatialReference srs;
        srs.importFromEPSG( 32748 );
        dataset->SetSpatialRef( &srs );
        for ( int band = 1; band <= bands; ++band )
          dataset->GetRasterBand( band )->Fill( band * 10 );
      }

      MainWindow::controller()->openFileName( path );
      QCOMPARE( notices().size(), 0 );
      QStringList opened;
      for ( QgsMapLayer *layer : QgsProject::instance()->mapLayers() )
      {
        QVERIFY( layer->isValid() );
        opened << layer->name();
      }
      opened.sort();
      QCOMPARE( opened, ( QStringList{ "multi — nir", "multi — visible" } ) );
    }

    void addReportsEachFailedFileAndRemembersTheFolder_data()
    {
      QTest::addColumn<bool>( "vector" );
      QTest::newRow( "rasters" ) << false;
      QTest::newRow( "vectors" ) << true;
    }
    void addReportsEachFailedFileAndRemembersTheFolder()
    {
      QFETCH( bool, vector );
      QDir().mkpath( "add" );
      const QString good = absolute( vector ? TestSupport::writeVector( "add/good.shp", "ESRI Shapefile", { "good" } )
                                            : TestSupport::writeRaster( "add/good.tif" ) );
      const QString broken =
          absolute( TestSupport::writeBytes( vector ? "add/broken.gpkg" : "add/broken.tif", "II*\0garbage" ) );
      const QString text =
          absolute( TestSupport::writeBytes( vector ? "add/readme.geojson" : "add/readme.tif", "hello" ) );

      TestSupport::answerFileDialog( { broken, good, text } );
      vector ? MainWindow::controller()->addVector() : MainWindow::controller()->addRaster();

      QCOMPARE( QgsProject::instance()->count(), 1 );
      QCOMPARE( MainWindow::layerTreeView()->currentLayer()->name(), QStringLiteral( "good" ) );
      const QList<Notice> shown = notices();
      QCOMPARE( shown.size(), 2 );
      QCOMPARE( shown[0].title, vector ? QStringLiteral( "Thêm vector layer thất bại" )
                                       : QStringLiteral( "Thêm raster layer thất bại" ) );
      QCOMPARE( shown[0].text, "Không thể đọc file " + broken );
      QCOMPARE( shown[1].text, "Không thể đọc file " + text );
      QCOMPARE( Utils::rememberedFolder( vector ? Utils::Keys::vectorDir : Utils::Keys::rasterDir ),
                absolute( "add" ) );
    }

    void cancelledDialogsChangeNothing()
    {
      TestSupport::answerFileDialog( {} );
      MainWindow::controller()->addRaster();
      TestSupport::answerFileDialog( {} );
      MainWindow::controller()->openData();
      QCOMPARE( QgsProject::instance()->count(), 0 );
      QCOMPARE( notices().size(), 0 );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::rasterDir ), QDir::homePath() );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::openDataDir ), QDir::homePath() );
    }

    void openDataRemembersTheFolderEvenWhenNothingOpens()
    {
      QDir().mkpath( "anything" );
      const QString junk = absolute( TestSupport::writeBytes( "anything/junk.bin", "\x01\x02" ) );
      TestSupport::answerFileDialog( { junk } );
      MainWindow::controller()->openData();
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::openDataDir ), absolute( "anything" ) );
      QCOMPARE( notices().size(), 1 );
    }

    void supportedExtensionsAreUpperCaseAndDistinct()
    {
      RasterModel model;
      const QStringList extensions = model.supportedExtensions();
      QVERIFY( extensions.contains( "TIF" ) && extensions.contains( "IMG" ) && extensions.contains( "VRT" ) );
      QCOMPARE( QSet<QString>( extensions.begin(), extensions.end() ).size(), extensions.size() );
      for ( const QString &extension : extensions )
        QCOMPARE( extension, extension.toUpper() );
      QVERIFY( MainWindow::controller()->isSupportedExtension( "TIF" ) );
      QVERIFY( !MainWindow::controller()->isSupportedExtension( "tif" ) );
      QVERIFY( !MainWindow::controller()->isSupportedExtension( "DOCX" ) );
    }

    void exportWritesTheChosenFormat_data()
    {
      QTest::addColumn<QString>( "fileName" );
      QTest::addColumn<QString>( "filterDriver" );
      QTest::addColumn<QString>( "writtenDriver" );
      // clang-format off
      QTest::newRow( "tif with GeoTIFF filter" ) << "a.tif" << "GTiff" << "GTiff";
      QTest::newRow( "img with GeoTIFF filter" ) << "b.img" << "GTiff" << "HFA";
      QTest::newRow( "no suffix follows filter" ) << "c" << "HFA" << "HFA";
      QTest::newRow( "unknown suffix follows filter" ) << "d.dat" << "HFA" << "HFA";
      // clang-format on
    }
    void exportWritesTheChosenFormat()
    {
      QFETCH( QString, fileName );
      QFETCH( QString, filterDriver );
      QFETCH( QString, writtenDriver );
      QDir().mkpath( "export" );
      MainWindow::controller()->openFileName( absolute( TestSupport::writeRaster( "source.tif" ) ) );
      QVERIFY( MainWindow::layerTreeView()->currentLayer() );

      const QString target = absolute( "export/" + fileName );
      TestSupport::answerFileDialog( { target }, filterFor( filterDriver ) );
      MainWindow::controller()->exportData();

      std::unique_ptr<GDALDataset> written = TestSupport::openRaster( target );
      QVERIFY2( written, qPrintable( target ) );
      QCOMPARE( QString( written->GetDriver()->GetDescription() ), writtenDriver );
      const QList<Notice> shown = notices();
      QCOMPARE( shown.size(), 1 );
      QCOMPARE( shown[0].title, QStringLiteral( "Lưu raster layer" ) );
      QCOMPARE( shown[0].text, "Đã lưu thành công: " + target + ". " );
      QCOMPARE( shown[0].level, Qgis::Info );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::rasterSaveDir ), absolute( "export" ) );
    }

    void exportKeepsTheData_data()
    {
      QTest::addColumn<int>( "type" );
      QTest::addColumn<int>( "epsg" );
      QTest::addColumn<double>( "originX" );
      QTest::addColumn<double>( "originY" );
      QTest::newRow( "UInt16, UTM south" ) << int( GDT_UInt16 ) << 32748 << 500000.0 << 9000000.0;
      QTest::newRow( "Float32, Web Mercator west" ) << int( GDT_Float32 ) << 3857 << -8240000.0 << -3500000.0;
      QTest::newRow( "Int16, geographic" ) << int( GDT_Int16 ) << 4326 << -70.5 << -33.2;
      QTest::newRow( "Byte, VN-2000 UTM" ) << int( GDT_Byte ) << 3405 << 580000.0 << 2330000.0;
    }
    void exportKeepsTheData()
    {
      QFETCH( int, type );
      QFETCH( int, epsg );
      QFETCH( double, originX );
      QFETCH( double, originY );
      TestSupport::RasterSpec spec;
      spec.bands = 4;
      spec.type = GDALDataType( type );
      spec.epsg = epsg;
      spec.originX = originX;
      spec.originY = originY;
      spec.pixelSize = epsg == 4326 ? 0.001 : 30;
      spec.hasNoData = true;
      spec.noData = type == GDT_Byte ? 0 : TestSupport::valueAt( 1, 0, 0 );
      if ( type == GDT_Byte )
        spec.width = spec.height = 4; // keeps every value below 256
      const QString source = absolute( TestSupport::writeRaster( QStringLiteral( "kept%1.tif" ).arg( type ), spec ) );
      auto layer = std::make_unique<QgsRasterLayer>( source, "kept", "gdal" );
      QVERIFY( layer->isValid() );

      const QString target = absolute( QStringLiteral( "kept%1-copy.tif" ).arg( type ) );
      QCOMPARE( RasterModel::writeLayer( layer.get(), target, "GTiff" ), QgsRasterFileWriter::NoError );

      QCOMPARE( TestSupport::checkWritten( target, { { source, 1 }, { source, 2 }, { source, 3 }, { source, 4 } },
                                           GDALDataType( type ), spec.noData ),
                QString() );
      std::unique_ptr<GDALDataset> in = TestSupport::openRaster( source ), out = TestSupport::openRaster( target );
      double inTransform[6], outTransform[6];
      in->GetGeoTransform( inTransform );
      out->GetGeoTransform( outTransform );
      for ( int i = 0; i < 6; ++i )
        QVERIFY2( qAbs( inTransform[i] - outTransform[i] ) < 1e-9 * qMax( 1.0, qAbs( inTransform[i] ) ),
                  qPrintable( QString::number( i ) ) );
      QVERIFY( out->GetSpatialRef() && out->GetSpatialRef()->IsSame( in->GetSpatialRef() ) );
    }

    void failedExportKeepsWhatWasThere_data()
    {
      QTest::addColumn<bool>( "overEarlierFile" );
      QTest::newRow( "folder is a file" ) << false;
      QTest::newRow( "full disk under an earlier file" ) << true;
    }
    void failedExportKeepsWhatWasThere()
    {
      QFETCH( bool, overEarlierFile );
      TestSupport::RasterSpec big;
      big.width = 300;
      big.height = 300;
      MainWindow::controller()->openFileName( absolute( TestSupport::writeRaster( "fail.tif", big ) ) );
      if ( overEarlierFile ? !TestSupport::mountSmallDisk( absolute( "kept" ) ) : !QDir().mkpath( "kept" ) )
        QSKIP( "cannot mount a small tmpfs here" );
      const QString blocker = absolute( TestSupport::writeBytes( "blocker", "a file, not a folder" ) );
      const QString target =
          overEarlierFile ? absolute( TestSupport::writeRaster( "kept/earlier.tif" ) ) : blocker + "/out.tif";
      const QMap<QString, QByteArray> before = TestSupport::folderContents( "kept" );
      TestSupport::answerFileDialog( { target }, filterFor( "GTiff" ) );
      if ( overEarlierFile ) // the file dialog asks before a file is replaced
        TestSupport::answerYes();
      MainWindow::controller()->exportData();
      const QMap<QString, QByteArray> after = TestSupport::folderContents( "kept" );
      if ( overEarlierFile )
        QProcess::execute( "umount", { absolute( "kept" ) } );

      const QList<Notice> shown = notices();
      QCOMPARE( shown.size(), 1 );
      QCOMPARE( shown[0].level, Qgis::Critical );
      QVERIFY2( QRegularExpression( "^Lưu " + QRegularExpression::escape( target ) + " thất bại, mã lỗi [1-9]\\d*$" )
                    .match( shown[0].text )
                    .hasMatch(),
                qPrintable( shown[0].text ) );
      QVERIFY( after == before );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::rasterSaveDir ), QDir::homePath() );
    }

    void exportWithoutAFittingLayerAsksNothing()
    {
      bool appeared = false;
      expectNoDialog( &appeared );
      MainWindow::controller()->exportData();
      RasterModel().exportLayer( nullptr );
      VectorModel().exportLayer( nullptr );
      auto raster = std::make_unique<QgsRasterLayer>( absolute( TestSupport::writeRaster( "r.tif" ) ), "r", "gdal" );
      VectorModel().exportLayer( raster.get() );
      QTest::qWait( 400 );
      QVERIFY( !appeared );
      QCOMPARE( notices().size(), 0 );
    }
};

RASTOVA_TEST( TestRasterData )
#include "TestRasterData.moc"
