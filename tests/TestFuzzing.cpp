#include "Core/LocalServer.h"
#include "Core/Utils.h"
#include "Data/Controller.h"
#include "TestSupport.h"

#include <QLocalSocket>
#include <QNetworkReply>

#include <cpl_string.h>
#include <qgsarchive.h>
#include <qgsmessagebar.h>

#include <sys/resource.h>
#include <sys/stat.h>

namespace
{
using TestSupport::absolute;

// Variants made of each valid file; RASTOVA_FUZZ_ITERATIONS raises it for longer runs.
int variantsPerFile()
{
  bool ok = false;
  const int asked = qEnvironmentVariableIntValue( "RASTOVA_FUZZ_ITERATIONS", &ok );
  return ok && asked > 0 ? asked : 24;
}

int peakMemoryMiB()
{
  rusage usage{};
  getrusage( RUSAGE_SELF, &usage );
  return static_cast<int>( usage.ru_maxrss / 1024 );
}
constexpr int memoryBoundMiB = 1536;

int openDescriptors()
{
  return QDir( QStringLiteral( "/proc/self/fd" ) ).entryList( QDir::Files | QDir::System ).size();
}

//! Whether every file of \a before is still in \a folder as it was; files GDAL adds (.aux.xml statistics) are allowed.
bool unchanged( const QString &folder, const QMap<QString, QByteArray> &before )
{
  const QMap<QString, QByteArray> now = TestSupport::folderContents( folder );
  return std::all_of( before.keyValueBegin(), before.keyValueEnd(),
                      [&now]( const auto &file )
                      { return now.contains( file.first ) && now[file.first] == file.second; } );
}

QByteArray randomBytes( int size, quint32 seed )
{
  QByteArray bytes( size, 0 );
  QRandomGenerator random( seed );
  for ( char &byte : bytes )
    byte = static_cast<char>( random.bounded( 256 ) );
  return bytes;
}

//! The valid file a row of the mutation table stands for, written with \a driver into \a folder (alone or with its
//! sidecars); returns the file to open.
QString writeSeed( const QString &folder, const QString &name, const QString &driver, const QStringList &options )
{
  QDir().mkpath( folder );
  const QString seed = folder + "/" + name;
  if ( options.contains( "vector" ) )
    return TestSupport::writeVector( seed, driver, { QStringLiteral( "seed" ) } );
  TestSupport::RasterSpec spec;
  spec.width = spec.height = 64;
  spec.type = driver == "GPKG" ? GDT_Byte : GDT_UInt16;
  const std::unique_ptr<GDALDataset> source =
      TestSupport::openRaster( TestSupport::writeRaster( folder + ".tif", spec ) );
  CPLStringList creation;
  for ( const QString &option : options )
    creation.AddString( option.toUtf8().constData() );
  GDALClose( GetGDALDriverManager()
                 ->GetDriverByName( driver.toUtf8().constData() )
                 ->CreateCopy( seed.toUtf8().constData(), source.get(), FALSE, creation.List(), nullptr, nullptr ) );
  return seed;
}

//! \a bytes broken in one of the ways a damaged or hostile file is.
QByteArray mutate( QByteArray bytes, QRandomGenerator &random )
{
  const int size = bytes.size();
  const int header = std::min( size, 1024 );
  switch ( random.bounded( 4 ) )
  {
  case 0:
    bytes.truncate( random.bounded( size ) );
    break;
  case 1: // headers and tag tables
    for ( int i = random.bounded( 1, 9 ); i > 0; --i )
      bytes[random.bounded( header )] = static_cast<char>( random.bounded( 256 ) );
    break;
  case 2:
    for ( int i = random.bounded( 1, 33 ); i > 0; --i )
      bytes.data()[random.bounded( size )] ^= static_cast<char>( 1 << random.bounded( 8 ) );
    break;
  default: // a declared size or offset made huge, negative or zero
  {
    const quint32 values[] = { 0, 0x7fffffff, 0xffffffff, 0x10000, 0x80000000 };
    const int at = random.bounded( std::max( 1, header - 4 ) );
    qToLittleEndian( values[random.bounded( 5 )], bytes.data() + at );
  }
  }
  return bytes;
}

//! Rewrites the value of TIFF tag \a tag in the first directory of little-endian classic TIFF \a bytes.
QByteArray patchTiffTag( QByteArray bytes, quint16 tag, quint32 value )
{
  const auto *data = reinterpret_cast<const uchar *>( bytes.constData() );
  const quint32 directory = qFromLittleEndian<quint32>( data + 4 );
  const quint16 entries = qFromLittleEndian<quint16>( data + directory );
  for ( quint32 entry = directory + 2; entry < directory + 2 + 12u * entries; entry += 12 )
  {
    if ( qFromLittleEndian<quint16>( data + entry ) != tag )
      continue;
    if ( qFromLittleEndian<quint16>( data + entry + 2 ) == 3 ) // SHORT
      qToLittleEndian<quint16>( static_cast<quint16>( value ), bytes.data() + entry + 8 );
    else
      qToLittleEndian<quint32>( value, bytes.data() + entry + 8 );
  }
  return bytes;
}

QByteArray vrt( const QString &size, const QString &source )
{
  return QStringLiteral(
             "<VRTDataset rasterXSize=\"%1\" rasterYSize=\"%1\"><VRTRasterBand dataType=\"Byte\" band=\"1\">"
             "<SimpleSource><SourceFilename relativeToVRT=\"1\">%2</SourceFilename>"
             "<SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>" )
      .arg( size, source )
      .toUtf8();
}

QByteArray readFile( const QString &path )
{
  QFile file( path );
  return file.open( QIODevice::ReadOnly ) ? file.readAll() : QByteArray();
}

} // namespace

class TestFuzzing : public TestSupport::WindowTest
{
    Q_OBJECT

  public:
    TestFuzzing()
        : WindowTest( true )
    {
    }

  private:
    int mInputs = 0;

    /**
     * Opens \a fileName the way every road into the program does, draws what
     * opened and shows its metadata. Returns the number of layers it gave, or
     * -1 when it gave layers and a failure notice, or neither.
     */
    int openDrawAndDescribe( const QString &fileName )
    {
      ++mInputs;
      QgsMessageBar *bar = MainWindow::messageBar();
      bar->clearWidgets();
      QgsProject::instance()->removeAllMapLayers();
      MainWindow::controller()->openFileName( fileName );
      const int layers = QgsProject::instance()->count();
      const bool reported = !TestSupport::notices().isEmpty();
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
      qInfo().noquote() << QStringLiteral( "%1 inputs, peak memory %2 MiB" ).arg( mInputs ).arg( peakMemoryMiB() );
      QVERIFY( peakMemoryMiB() < memoryBoundMiB );
    }

    void mutatedFilesAreOpenedOrReportedAndNeverChanged_data()
    {
      QTest::addColumn<QString>( "name" );
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QStringList>( "options" );
      // clang-format off
      QTest::newRow( "tif striped" ) << "seed.tif" << "GTiff" << QStringList();
      QTest::newRow( "tif tiled" ) << "seed.tif" << "GTiff" << QStringList{ "TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16" };
      QTest::newRow( "tif overviews" ) << "seed.tif" << "COG" << QStringList{ "OVERVIEW_COUNT=2" };
      QTest::newRow( "gpkg raster" ) << "seed.gpkg" << "GPKG" << QStringList();
      QTest::newRow( "gpkg vector" ) << "seed.gpkg" << "GPKG" << QStringList{ "vector" };
      QTest::newRow( "shapefile" ) << "seed.shp" << "ESRI Shapefile" << QStringList{ "vector" };
      QTest::newRow( "geojson" ) << "seed.geojson" << "GeoJSON" << QStringList{ "vector" };
      QTest::newRow( "kml" ) << "seed.kml" << "KML" << QStringList{ "vector" };
      // clang-format on
    }
    void mutatedFilesAreOpenedOrReportedAndNeverChanged()
    {
      QFETCH( QString, name );
      QFETCH( QString, driver );
      QFETCH( QStringList, options );
      const QString kind = QTest::currentDataTag();
      const QString seedFolder = absolute( "seeds/" + kind );
      const QString seed = writeSeed( seedFolder, name, driver, options );
      const QMap<QString, QByteArray> seedFiles = TestSupport::folderContents( seedFolder );
      QCOMPARE( openDrawAndDescribe( seed ), 1 );

      QRandomGenerator random( qHash( kind ) );
      const int descriptors = openDescriptors();
      for ( int i = 0; i < variantsPerFile(); ++i )
      {
        // A fresh folder each time, so no cache can hand back an earlier variant.
        const QString folder = absolute( QStringLiteral( "fuzz/%1/%2" ).arg( kind ).arg( i ) );
        QDir().mkpath( folder );
        const QStringList names = seedFiles.keys();
        const QString victim = names.at( random.bounded( names.size() ) );
        for ( const QString &name : names )
        {
          const QByteArray bytes = seedFiles.value( name );
          TestSupport::writeBytes( folder + "/" + QFileInfo( name ).fileName(),
                                   name == victim ? mutate( bytes, random ) : bytes );
        }
        const QMap<QString, QByteArray> before = TestSupport::folderContents( folder );
        QVERIFY2( openDrawAndDescribe( folder + "/" + QFileInfo( seed ).fileName() ) >= 0, qPrintable( folder ) );
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
      const QByteArray tiff = readFile( TestSupport::writeRaster( absolute( "hostile-seed/source.tif" ) ) );
      const QByteArray point = "{\"type\":\"Point\",\"coordinates\":[1,2]}";
      QgsProject seed;
      seed.addMapLayer( new QgsRasterLayer( absolute( "hostile-seed/source.tif" ), "source", "gdal" ) );
      QVERIFY( seed.write( absolute( "hostile-seed/seed.qgz" ) ) );
      const QByteArray workspace = readFile( absolute( "hostile-seed/seed.qgz" ) );
      const auto layer = []( const QByteArray &xml )
      { return "<qgis><projectlayers>" + xml + "</projectlayers></qgis>"; };
      // clang-format off
      QTest::newRow( "folder named like a raster" ) << "folder.tif" << QByteArray() << 0;
      QTest::newRow( "named pipe" ) << "pipe.tif" << QByteArray() << 0;
      QTest::newRow( "named pipe as a tiff's .aux.xml" ) << "piped.tif" << tiff << 0;
      QTest::newRow( "vrt of a named pipe" ) << "target.vrt" << vrt( "64", "pipe.tif" ) << 0;
      QTest::newRow( "empty file" ) << "empty.tif" << QByteArray() << 0;
      QTest::newRow( "vrt, drawn, stays as written" ) << "target.vrt" << vrt( "64", "source.tif" ) << 1;
      QTest::newRow( "vrt naming itself" ) << "target.vrt" << vrt( "64", "target.vrt" ) << -1;
      QTest::newRow( "vrts naming each other" ) << "target.vrt" << vrt( "64", "other.vrt" ) << -1;
      QTest::newRow( "vrt of 2^62 pixels" ) << "target.vrt" << vrt( "2147483647", "source.tif" ) << -1;
      QTest::newRow( "vrt of no pixels" ) << "target.vrt" << vrt( "0", "source.tif" ) << 0;
      QTest::newRow( "tiff 2^31 pixels wide" ) << "target.tif" << patchTiffTag( tiff, 256, 2147483647 ) << -1;
      QTest::newRow( "tiff no pixels wide" ) << "target.tif" << patchTiffTag( tiff, 256, 0 ) << 0;
      QTest::newRow( "tiff 2^30 rows a strip" ) << "target.tif" << patchTiffTag( tiff, 278, 1073741824 ) << -1;
      QTest::newRow( "tiff 65535 bands" ) << "target.tif" << patchTiffTag( tiff, 277, 65535 ) << -1;
      QTest::newRow( "tiff no bands" ) << "target.tif" << patchTiffTag( tiff, 277, 0 ) << 0;
      QTest::newRow( "geojson nested 100000 deep" ) << "target.geojson" << "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":" + QByteArray( 100000, '[' ) + QByteArray( 100000, ']' ) + "}}" << 0;
      QTest::newRow( "geojson with NUL in a key, not rewritten" ) << "target.geojson" << "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"" + QByteArray( "\0\0\0\x80", 4 ) + "erties\":{\"a\":1},\"geometry\":" + point + "},{\"type\":\"Feature\",\"properties\":{\"b\":2},\"geometry\":" + point + "}]}" << 1;
      QTest::newRow( "kml nested 100000 deep" ) << "target.kml" << "<kml><Document>" + QByteArray( 100000 * 8, ' ' ).replace( "        ", "<Folder>" ) << 0;
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
      TestSupport::writeRaster( folder + "/source.tif" );
      TestSupport::writeBytes( folder + "/other.vrt", vrt( "64", "target.vrt" ) );
      QCOMPARE( mkfifo( ( folder + "/pipe.tif" ).toUtf8().constData(), 0600 ), 0 );
      if ( name == "folder.tif" )
        QDir().mkpath( target );
      else if ( name == "piped.tif" )
        QCOMPARE( mkfifo( ( TestSupport::writeBytes( target, contents ) + ".aux.xml" ).toUtf8().constData(), 0600 ),
                  0 );
      else if ( name.endsWith( ".qgz" ) && contents.startsWith( "<qgis" ) )
      {
        QgsArchive archive;
        archive.addFile( TestSupport::writeBytes( folder + "/inner/target.qgs", contents ) );
        QVERIFY( archive.zip( target ) );
      }
      else if ( name != "pipe.tif" )
        TestSupport::writeBytes( target, contents );

      const QMap<QString, QByteArray> before = TestSupport::folderContents( folder );
      QElapsedTimer clock;
      clock.start();
      const int opened = openDrawAndDescribe( target );
      QVERIFY2( clock.elapsed() < 10000, qPrintable( QString::number( clock.elapsed() ) ) );
      QVERIFY2( opened == layers || ( layers < 0 && opened >= 0 ), qPrintable( QString::number( opened ) ) );
      QVERIFY( unchanged( folder, before ) );
    }

    void socketNoiseLeavesTheServerServing()
    {
      LocalServer server;
      QVERIFY( server.start() );
      mWindow->setLocalServer( &server );
      const int descriptors = openDescriptors();
      QRandomGenerator random( 4 );
      const QByteArray valid = TestSupport::localMessage( "@Rastova /nothing/here.tif" );
      int frames = 0;
      for ( ; frames < 10 * variantsPerFile(); ++frames )
      {
        QLocalSocket client;
        client.connectToServer( "Rastova" );
        QVERIFY( client.waitForConnected( 2000 ) );
        QByteArray bytes = randomBytes( random.bounded( 1, 512 ), random.generate() );
        if ( frames % 3 == 1 ) // a frame cut short
          bytes = valid.left( random.bounded( valid.size() ) );
        else if ( frames % 3 == 2 ) // a length that may be anything, odd and huge included
          qToBigEndian( random.generate(), bytes.data() );
        client.write( bytes );
        client.waitForBytesWritten( 1000 );
        QCoreApplication::processEvents();
      }
      // A crowd of clients that stop inside a frame and never go.
      std::vector<std::unique_ptr<QLocalSocket>> crowd;
      for ( int i = 0; i < 100; ++i, ++frames )
      {
        crowd.push_back( std::make_unique<QLocalSocket>() );
        crowd.back()->connectToServer( "Rastova" );
        crowd.back()->write( valid.left( 9 ) );
        crowd.back()->flush();
        QCoreApplication::processEvents();
      }
      QTRY_VERIFY_WITH_TIMEOUT( std::all_of( crowd.cbegin(), crowd.cend(),
                                             []( const auto &client )
                                             { return client->state() == QLocalSocket::UnconnectedState; } ),
                                LocalServer::clientTimeoutMs + 5000 );
      crowd.clear();
      QTRY_VERIFY( openDescriptors() <= descriptors );
      mInputs += frames;
      qInfo() << frames << "socket messages";

      const QString scene = absolute( TestSupport::writeRaster( "served.tif" ) );
      QLocalSocket client;
      client.connectToServer( "Rastova" );
      QVERIFY( client.waitForConnected( 2000 ) );
      client.write( TestSupport::localMessage( "@Rastova " + scene ) );
      client.flush();
      QTRY_COMPARE( QgsProject::instance()->count(), 1 );
    }

    void settingsOfTheWrongTypeGiveDefaults_data()
    {
      QTest::addColumn<QVariant>( "value" );
      QTest::newRow( "text" ) << QVariant( "không phải số" );
      QTest::newRow( "list" ) << QVariant( QStringList{ "1", "2" } );
      QTest::newRow( "map" ) << QVariant( QVariantMap{ { "a", 1 } } );
      QTest::newRow( "bytes" ) << QVariant( QByteArray( "\xff\x00\xfe", 3 ) );
      QTest::newRow( "negative" ) << QVariant( -7 );
      QTest::newRow( "huge" ) << QVariant( 1e12 );
      QTest::newRow( "garbage file" ) << QVariant();
    }
    void settingsOfTheWrongTypeGiveDefaults()
    {
      QFETCH( QVariant, value );
      mWindow.reset();
      QgsSettings settings;
      if ( value.isValid() )
      {
        using namespace Utils::Keys;
        for ( const Utils::SettingKey &key :
              { messageTimeout,   dialogTimeout, windowGeometry, windowState,   layerPanelGeometry,
                overviewGeometry, canvasRed,     canvasGreen,    canvasBlue,    openDataDir,
                rasterDir,        rasterSaveDir, vectorDir,      vectorSaveDir, lastFileNameDir,
                bandMathFormat,   compositeRed,  compositeGreen, compositeBlue, compositeLimit } )
          Utils::writeSetting( key, value );
        settings.sync();
      }
      else
      {
        TestSupport::writeBytes( settings.fileName(),
                                 QByteArray( "[General]\nMessageTimeout=@Variant(\0\0\0\x7f", 38 ) +
                                     randomBytes( 4096, 7 ) );
        settings.sync();
      }
      ++mInputs;
      mWindow = std::make_unique<MainWindow>();
      mWindow->show();
      QCOMPARE( Utils::messageTimeout(), 5 );
      QCOMPARE( Utils::dialogTimeout(), 1 );
      QCOMPARE( Utils::readSetting( Utils::Keys::compositeLimit, 3 ).toInt(), 3 );
      QCOMPARE( MainWindow::mapCanvas()->canvasColor(), QColor( Qt::white ) );
    }

    void manifestsOfAnyShapeNeverHurt_data()
    {
      QTest::addColumn<QByteArray>( "manifest" );
      QTest::addColumn<bool>( "announced" );
      QTest::newRow( "4 MiB of brackets" ) << QByteArray( 4 << 20, '[' ) << false;
      QTest::newRow( "nested 100000 deep" )
          << "{\"9.0\":" + QByteArray( 100000, '[' ) + QByteArray( 100000, ']' ) + "}" << false;
      QTest::newRow( "not UTF-8" ) << QByteArray( "{\"9.9.9\":{\"release-date\":\"\xff\xfe\xc0\"}}" ) << false;
      QTest::newRow( "values of every wrong type" ) << QByteArray( "{\"99\":[1],\"98\":null,\"1e999\":{}}" ) << true;
      QTest::newRow( "markup naming a device" )
          << QByteArray( "{\"99.0<img src='/dev/zero'>\":{\"release-date\":\"<img src='/dev/urandom'>\"}}" ) << true;
    }
    void manifestsOfAnyShapeNeverHurt()
    {
      QFETCH( QByteArray, manifest );
      QFETCH( bool, announced );
      const QByteArray previous = qgetenv( "RASTOVA_UPDATE_URL" );
      qputenv( "RASTOVA_UPDATE_URL", "data:application/json;base64," + manifest.toBase64() );
      bool shown = false;
      TestSupport::whenModal(
          [&shown]( QWidget *notice )
          {
            shown = true;
            notice->close();
          },
          3000 );
      ++mInputs;
      mWindow->autoCheckForUpdate();
      qputenv( "RASTOVA_UPDATE_URL", previous );
      QTRY_VERIFY( mWindow->findChildren<QNetworkReply *>().isEmpty() );
      QTRY_COMPARE_WITH_TIMEOUT( shown, announced, 3500 );
      QVERIFY( peakMemoryMiB() < memoryBoundMiB );
    }

    void environmentFilesOfAnyShapeLeaveOthersAlone_data()
    {
      QTest::addColumn<QByteArray>( "contents" );
      QTest::addColumn<bool>( "applied" );
      const QByteArray ok = "\nRASTOVA_FUZZ_OK=1\n";
      QTest::newRow( "binary garbage" ) << randomBytes( 8192, 11 ) + ok << true;
      QTest::newRow( "a NUL inside a name" ) << QByteArray( "PATH\0junk=/evil", 15 ) + ok << true;
      QTest::newRow( "a line of 512 KiB" ) << QByteArray( 512 << 10, 'x' ) + "=y" + ok << true;
      QTest::newRow( "Latin-1" ) << "RASTOVA_FUZZ_LATIN=H\xe0 N\xf4i" + ok << true;
      QTest::newRow( "UTF-16 with a byte-order mark" )
          << QByteArray( "\xff\xfe" ) + QByteArray( reinterpret_cast<const char *>( u"RASTOVA_FUZZ_OK=1\n" ), 36 )
          << true;
      QTest::newRow( "8 MiB" ) << QByteArray( 8 << 20, '\n' ) + ok << false;
    }
    void environmentFilesOfAnyShapeLeaveOthersAlone()
    {
      QFETCH( QByteArray, contents );
      QFETCH( bool, applied );
      const QByteArray path = qgetenv( "PATH" );
      qunsetenv( "RASTOVA_FUZZ_OK" );
      TestSupport::writeBytes( "Rastova.env", contents );
      ++mInputs;
      Utils::loadEnvironment();
      QFile::remove( "Rastova.env" );
      QCOMPARE( qgetenv( "RASTOVA_FUZZ_OK" ) == "1", applied );
      QCOMPARE( qgetenv( "PATH" ), path );
    }
};

RASTOVA_TEST( TestFuzzing )
#include "TestFuzzing.moc"
