#include "Data/Controller.h"
#include "TestSupport.h"

#include <cpl_string.h>
#include <qgsarchive.h>
#include <qgsmessagebar.h>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace TestSupport;

namespace
{
//! \a bytes broken in one of the ways a damaged or hostile file is.
QByteArray mutate( QByteArray bytes, QRandomGenerator &random )
{
  const int header = std::min( bytes.size(), 1024 );
  const quint32 sizes[] = { 0, 0x7fffffff, 0xffffffff, 0x10000, 0x80000000 };
  switch ( random.bounded( 4 ) )
  {
  case 0:
    bytes.truncate( random.bounded( bytes.size() ) );
    break;
  case 1: // headers and tag tables
    for ( int i = random.bounded( 1, 9 ); i > 0; --i )
      bytes[random.bounded( header )] = static_cast<char>( random.bounded( 256 ) );
    break;
  case 2:
    for ( int i = random.bounded( 1, 33 ); i > 0; --i )
      bytes.data()[random.bounded( bytes.size() )] ^= static_cast<char>( 1 << random.bounded( 8 ) );
    break;
  default: // a declared size or offset made huge, negative or zero
    qToLittleEndian( sizes[random.bounded( 5 )], bytes.data() + random.bounded( std::max( 1, header - 4 ) ) );
  }
  return bytes;
}

//! Whether every file of \a before is still in \a folder as it was; files GDAL adds (.aux.xml statistics) are allowed.
bool unchanged( const QString &folder, const QMap<QString, QByteArray> &before )
{
  const QMap<QString, QByteArray> now = folderContents( folder );
  return std::all_of( before.keyValueBegin(), before.keyValueEnd(),
                      [&now]( const auto &file )
                      { return now.contains( file.first ) && now[file.first] == file.second; } );
}

QByteArray vrt( const QByteArray &source )
{
  return "<VRTDataset rasterXSize=\"64\" rasterYSize=\"64\"><VRTRasterBand dataType=\"Byte\" band=\"1\"><SimpleSource>"
         "<SourceFilename relativeToVRT=\"1\">" +
         source + "</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>";
}

} // namespace

class TestFuzzing : public WindowTest
{
    Q_OBJECT

  public:
    TestFuzzing()
        : WindowTest( true )
    {
    }

  private:
    //! Opens \a fileName as every road into the program does, draws it and shows its metadata: the layers it gave, or
    //! -1 when it gave layers and a failure notice, or neither.
    int openDrawAndDescribe( const QString &fileName )
    {
      QgsMessageBar *bar = MainWindow::messageBar();
      bar->clearWidgets();
      QgsProject::instance()->removeAllMapLayers();
      MainWindow::controller()->openFileName( fileName );
      const int layers = QgsProject::instance()->count();
      const bool reported = !notices().isEmpty();
      if ( ( layers == 0 ) != reported )
        return -1;
      if ( layers > 0 )
      {
        QgsMapCanvas *canvas = MainWindow::mapCanvas();
        canvas->zoomToFullExtent();
        canvas->refresh();
        // The refresh starts from a timer; then wait for the drawing, which a hung file would never finish.
        QTest::qWait( 20 );
        canvas->waitWhileRendering();
        MainWindow::controller()->showMetadata();
        if ( QWidget *metadata = QApplication::activeModalWidget() )
          metadata->close();
      }
      QgsProject::instance()->removeAllMapLayers();
      return layers;
    }

  private slots:
    void cleanupTestCase()
    {
      rusage usage{};
      getrusage( RUSAGE_SELF, &usage );
      qInfo() << "peak memory" << usage.ru_maxrss / 1024 << "MiB";
      QVERIFY( usage.ru_maxrss < 1536 * 1024 );
    }

    void mutatedFilesAreOpenedOrReportedAndNeverChanged_data()
    {
      QTest::addColumn<QString>( "name" );
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QByteArray>( "options" ); // a raster's creation options; "vector" for a vector file
      // clang-format off
      QTest::newRow( "tif striped" ) << "seed.tif" << "GTiff" << QByteArray();
      QTest::newRow( "tif tiled" ) << "seed.tif" << "GTiff" << QByteArray( "TILED=YES,BLOCKXSIZE=16,BLOCKYSIZE=16" );
      QTest::newRow( "tif overviews" ) << "seed.tif" << "COG" << QByteArray( "OVERVIEW_COUNT=2" );
      QTest::newRow( "gpkg raster" ) << "seed.gpkg" << "GPKG" << QByteArray();
      QTest::newRow( "gpkg vector" ) << "seed.gpkg" << "GPKG" << QByteArray( "vector" );
      QTest::newRow( "shapefile" ) << "seed.shp" << "ESRI Shapefile" << QByteArray( "vector" );
      QTest::newRow( "geojson" ) << "seed.geojson" << "GeoJSON" << QByteArray( "vector" );
      QTest::newRow( "kml" ) << "seed.kml" << "KML" << QByteArray( "vector" );
      // clang-format on
    }
    void mutatedFilesAreOpenedOrReportedAndNeverChanged()
    {
      QFETCH( QString, name );
      QFETCH( QString, driver );
      QFETCH( QByteArray, options );
      const QString kind = QTest::currentDataTag();
      const QString seedFolder = absolute( "seeds/" + kind );
      QDir().mkpath( seedFolder );
      const QString seed = seedFolder + "/" + name;
      if ( options == "vector" )
        writeVector( seed, driver, { QStringLiteral( "seed" ) } );
      else
      {
        const auto source =
            openRaster( writeRaster( seedFolder + ".tif", { 64, 64, 3, driver == "GPKG" ? GDT_Byte : GDT_UInt16 } ) );
        const CPLStringList creation( CSLTokenizeString2( options.constData(), ",", 0 ) );
        GDALClose( GDALCreateCopy( GDALGetDriverByName( driver.toUtf8().constData() ), seed.toUtf8().constData(),
                                   source.get(), FALSE, creation.List(), nullptr, nullptr ) );
      }
      const QMap<QString, QByteArray> seedFiles = folderContents( seedFolder );
      QCOMPARE( openDrawAndDescribe( seed ), 1 );

      bool asked = false;
      const int variants = qEnvironmentVariableIntValue( "RASTOVA_FUZZ_ITERATIONS", &asked );
      QRandomGenerator random( qHash( kind ) );
      const int descriptors = openDescriptors();
      for ( int i = 0; i < ( asked && variants > 0 ? variants : 24 ); ++i )
      {
        // A fresh folder each time, so no cache can hand back an earlier variant.
        const QString folder = absolute( QStringLiteral( "fuzz/%1/%2" ).arg( kind ).arg( i ) );
        QDir().mkpath( folder );
        const QString victim = seedFiles.keys().at( random.bounded( seedFiles.size() ) );
        for ( auto file = seedFiles.cbegin(); file != seedFiles.cend(); ++file )
          writeBytes( folder + "/" + file.key(), file.key() == victim ? mutate( file.value(), random ) : file.value() );
        const QMap<QString, QByteArray> before = folderContents( folder );
        QVERIFY2( openDrawAndDescribe( folder + "/" + name ) >= 0, qPrintable( folder ) );
        QVERIFY2( unchanged( folder, before ), qPrintable( folder ) );
        QDir( folder ).removeRecursively();
      }
      QVERIFY2( openDescriptors() <= descriptors + 2,
                qPrintable( QStringLiteral( "%1 -> %2" ).arg( descriptors ).arg( openDescriptors() ) ) );
    }

    void hostileFilesAreRefusedOrBounded_data()
    {
      // Each file is written beside source.tif, other.vrt (naming target.vrt) and a named pipe, pipe.tif.
      QTest::addColumn<QString>( "name" );
      QTest::addColumn<QByteArray>( "contents" ); // a workspace's project is zipped first
      QTest::addColumn<int>( "layers" );          // -1: opened or refused, either is sound
      // The workspace names its layer relative to itself, so it finds the row's own source.tif.
      QDir().mkpath( "hostile-seed" );
      QgsProject seed;
      seed.addMapLayer( new QgsRasterLayer( writeRaster( absolute( "hostile-seed/source.tif" ) ), "source" ) );
      QVERIFY( seed.write( absolute( "hostile-seed/seed.qgz" ) ) );
      const QMap<QString, QByteArray> seeds = folderContents( "hostile-seed" );
      const QByteArray tiff = seeds["source.tif"], workspace = seeds["seed.qgz"];
      // The samples-per-pixel entry of the directory, a SHORT of 3, made 65535.
      const QByteArray manyBands = QByteArray( tiff ).replace( QByteArray::fromHex( "15010300010000000300" ),
                                                               QByteArray::fromHex( "1501030001000000ffff" ) );
      QVERIFY( manyBands != tiff );
      const QByteArray point = "{\"type\":\"Point\",\"coordinates\":[1,2]}";
      const auto layer = []( const QByteArray &xml )
      { return "<qgis><projectlayers>" + xml + "</projectlayers></qgis>"; };
      // clang-format off
      QTest::newRow( "folder named like a raster" ) << "folder.tif" << QByteArray() << 0;
      QTest::newRow( "named pipe" ) << "pipe.tif" << QByteArray() << 0;
      QTest::newRow( "named pipe as a tiff's .aux.xml" ) << "piped.tif" << tiff << 0;
      QTest::newRow( "vrt of a named pipe" ) << "target.vrt" << vrt( "pipe.tif" ) << 0;
      QTest::newRow( "empty file" ) << "empty.tif" << QByteArray() << 0;
      QTest::newRow( "vrt, drawn, stays as written" ) << "target.vrt" << vrt( "source.tif" ) << 1;
      QTest::newRow( "vrt naming itself" ) << "target.vrt" << vrt( "target.vrt" ) << 0;
      QTest::newRow( "vrts naming each other" ) << "target.vrt" << vrt( "other.vrt" ) << 0;
      QTest::newRow( "tiff 65535 bands" ) << "target.tif" << manyBands << -1;
      QTest::newRow( "geojson with NUL in a key, not rewritten" ) << "target.geojson" << "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"" + QByteArray( "\0\0\0\x80", 4 ) + "erties\":{\"a\":1},\"geometry\":" + point + "},{\"type\":\"Feature\",\"properties\":{\"b\":2},\"geometry\":" + point + "}]}" << 1;
      QTest::newRow( "workspace, drawn" ) << "target.qgz" << workspace << 1;
      QTest::newRow( "workspace naming a pipe" ) << "target.qgz" << layer( "<maplayer type=\"raster\"><id>pipe</id><datasource>./pipe.tif</datasource><provider>gdal</provider></maplayer>" ) << 0;
      // clang-format on
    }
    void hostileFilesAreRefusedOrBounded()
    {
      QFETCH( QString, name );
      QFETCH( QByteArray, contents );
      QFETCH( int, layers );
      const QString folder = absolute( QStringLiteral( "hostile/%1" ).arg( QTest::currentDataTag() ) );
      const QString target = folder + "/" + name;
      QDir().mkpath( folder + "/inner" );
      writeRaster( folder + "/source.tif" );
      writeBytes( folder + "/other.vrt", vrt( "target.vrt" ) );
      QCOMPARE( mkfifo( ( folder + "/pipe.tif" ).toUtf8().constData(), 0600 ), 0 );
      if ( name == "folder.tif" )
        QDir().mkpath( target );
      else if ( name == "piped.tif" )
        QCOMPARE( mkfifo( ( writeBytes( target, contents ) + ".aux.xml" ).toUtf8().constData(), 0600 ), 0 );
      else if ( name.endsWith( ".qgz" ) && contents.startsWith( "<qgis" ) )
      {
        QgsArchive archive;
        archive.addFile( writeBytes( folder + "/inner/target.qgs", contents ) );
        QVERIFY( archive.zip( target ) );
      }
      else if ( name != "pipe.tif" )
        writeBytes( target, contents );

      const QMap<QString, QByteArray> before = folderContents( folder );
      QElapsedTimer clock;
      clock.start();
      const int opened = openDrawAndDescribe( target );
      QVERIFY2( clock.elapsed() < 10000, qPrintable( QString::number( clock.elapsed() ) ) );
      QVERIFY2( opened == layers || ( layers < 0 && opened >= 0 ), qPrintable( QString::number( opened ) ) );
      QVERIFY( unchanged( folder, before ) );
    }
};

RASTOVA_TEST( TestFuzzing )
#include "TestFuzzing.moc"
