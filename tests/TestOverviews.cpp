#include "Processing/BandMath.h"
#include "Processing/GdalSettings.h"
#include "Processing/OverviewBuilder.h"
#include "Processing/RasterBands.h"
#include "RasterFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <cmath>
#include <numeric>

#include <qgsfeedback.h>
#include <qgsrasterlayer.h>

using namespace TestSupport;

namespace
{
// 600 x 300 pixels: two levels, 300 x 150 and 150 x 75, before the larger side is under 256.
const QString twoLevels = QStringLiteral( "300x150 150x75" );
// 2200 x 300 pixels.
const QString fourLevels = QStringLiteral( "1100x150 550x75 275x38 138x19" );

/**
 * A 600 x 300 scene of three bands; \a variant "paletted" makes it one band with colours ("paletted, odd size" of
 * 601 x 301 pixels), "no-data" gives it no-data, "alpha" a fourth band of transparency: both then have 2200 x 300
 * pixels with a hole of 16 x 16 near the top right corner, off the grid of every level, so that every level has
 * pixels that are holes and pixels that are partly holes.
 * "compressed, band by band" writes it tiled, DEFLATE-compressed and band-interleaved.
 */
QString writeScene( const QString &path, GDALDataType type, const QString &variant = QString() )
{
  const bool paletted = variant.startsWith( "paletted" );
  const bool odd = variant.endsWith( "odd size" );
  const bool noData = variant == "no-data";
  const bool alpha = variant == "alpha";
  const QString written = variant.startsWith( "compressed" ) ? path + ".plain.tif" : path;
  const int width = noData || alpha ? 2200 : odd ? 601 : 600;
  const int bands = paletted ? 1 : alpha ? 4 : 3;
  writeRaster( written, RasterLayout{ width, odd ? 301 : 300, bands, type, 32748, 500000, 9000000, 30, noData, -9999 } );
  const GDALDatasetUniquePtr dataset( GDALDataset::Open( written.toUtf8(), GDAL_OF_RASTER | GDAL_OF_UPDATE ) );
  if ( alpha )
    dataset->GetRasterBand( bands )->SetColorInterpretation( GCI_AlphaBand );
  std::vector<double> hole( 16 * 16, noData ? -9999 : 0 );
  bool holeWritten = true;
  for ( int band = alpha ? bands : 1; ( noData || alpha ) && band <= bands; ++band )
    holeWritten &= dataset->GetRasterBand( band )->RasterIO( GF_Write, width - 19, 3, 16, 16, hole.data(), 16, 16,
                                                             GDT_Float64, 0, 0 ) == CE_None;
  if ( !holeWritten )
    QTest::qFail( "GDAL cannot write the hole", __FILE__, __LINE__ );
  if ( paletted )
  {
    GDALColorTable table;
    const GDALColorEntry white{ 255, 255, 255, 255 };
    table.SetColorEntry( 65535, &white );
    dataset->GetRasterBand( 1 )->SetColorTable( &table );
  }
  if ( written != path )
  {
    const char *options[] = { "TILED=YES", "COMPRESS=DEFLATE", "INTERLEAVE=BAND", nullptr };
    GDALDatasetUniquePtr( GetGDALDriverManager()->GetDriverByName( "GTiff" )->CreateCopy(
        path.toUtf8(), dataset.get(), false, const_cast<char **>( options ), nullptr, nullptr ) );
  }
  return absolute( path );
}

//! The checksums of \a dataset's overviews, band by band, from overview \a firstLevel on (-1: the image itself).
QStringList levelChecksums( GDALDataset &dataset, int firstLevel )
{
  QStringList checksums;
  for ( int band = 1; band <= dataset.GetRasterCount(); ++band )
  {
    GDALRasterBand *full = dataset.GetRasterBand( band );
    for ( int level = firstLevel; level < full->GetOverviewCount(); ++level )
    {
      GDALRasterBand *overview = level < 0 ? full : full->GetOverview( level );
      checksums << QString::number( GDALChecksumImage( overview, 0, 0, overview->GetXSize(), overview->GetYSize() ) );
    }
  }
  return checksums;
}

//! The overview sizes of band 1 of \a path as a new reader finds them ("300x150 150x75"), empty when there are none.
QString overviewSizes( const QString &path )
{
  QStringList sizes;
  const std::unique_ptr<GDALDataset> dataset = openRaster( path );
  for ( int i = 0; dataset && i < dataset->GetRasterBand( 1 )->GetOverviewCount(); ++i )
  {
    GDALRasterBand *overview = dataset->GetRasterBand( 1 )->GetOverview( i );
    sizes << QStringLiteral( "%1x%2" ).arg( overview->GetXSize() ).arg( overview->GetYSize() );
  }
  return sizes.join( ' ' );
}
} // namespace

class TestOverviews : public QObject
{
    Q_OBJECT

  private slots:
    void levelsHalveDownToAbout256Pixels_data()
    {
      QTest::addColumn<int>( "width" );
      QTest::addColumn<int>( "height" );
      QTest::addColumn<QVector<int>>( "levels" );
      QTest::newRow( "a big scene" ) << 16000 << 16000 << QVector<int>{ 2, 4, 8, 16, 32, 64 };
      QTest::newRow( "the taller side counts" ) << 100 << 1100 << QVector<int>{ 2, 4, 8 };
      QTest::newRow( "no larger than the smallest level" ) << 256 << 256 << QVector<int>{};
    }
    void levelsHalveDownToAbout256Pixels()
    {
      QFETCH( int, width );
      QFETCH( int, height );
      QFETCH( QVector<int>, levels );
      QCOMPARE( OverviewBuilder::levels( width, height ), levels );
    }

    void largeRastersGetOverviews_data()
    {
      QTest::addColumn<QString>( "tool" ); // the builder, by hand or not, or a tool whose result gets them
      QTest::addColumn<int>( "type" );
      QTest::addColumn<QString>( "variant" );
      QTest::addColumn<int>( "threshold" );
      QTest::addColumn<QString>( "sizes" );
      // clang-format off
      QTest::newRow( "integers above the threshold" ) << "build" << int( GDT_UInt16 ) << "" << 500 << twoLevels;
      QTest::newRow( "floats above the threshold" ) << "build" << int( GDT_Float32 ) << "" << 500 << twoLevels;
      QTest::newRow( "paletted above the threshold" ) << "build" << int( GDT_UInt16 ) << "paletted" << 500 << twoLevels;
      QTest::newRow( "paletted, odd size" ) << "build" << int( GDT_UInt16 ) << "paletted, odd size" << 500 << "301x151 151x76";
      QTest::newRow( "floats with no-data" ) << "build" << int( GDT_Float32 ) << "no-data" << 500 << fourLevels;
      QTest::newRow( "alpha band" ) << "build" << int( GDT_UInt16 ) << "alpha" << 500 << fourLevels;
      QTest::newRow( "compressed, band by band" ) << "build" << int( GDT_UInt16 ) << "compressed, band by band" << 500 << twoLevels;
      QTest::newRow( "as wide as the threshold" ) << "build" << int( GDT_UInt16 ) << "" << 600 << QString();
      QTest::newRow( "by hand below the threshold" ) << "rebuild" << int( GDT_UInt16 ) << "" << 4096 << twoLevels;
      QTest::newRow( "band math" ) << "band math" << int( GDT_UInt16 ) << "" << 500 << twoLevels;
      QTest::newRow( "band math below the threshold" ) << "band math" << int( GDT_UInt16 ) << "" << 600 << QString();
      QTest::newRow( "stack" ) << "stack" << int( GDT_UInt16 ) << "" << 500 << twoLevels;
      QTest::newRow( "split" ) << "split" << int( GDT_UInt16 ) << "" << 500 << twoLevels;
      // clang-format on
    }
    void largeRastersGetOverviews()
    {
      QFETCH( QString, tool );
      QFETCH( int, type );
      QFETCH( QString, variant );
      QFETCH( int, threshold );
      QFETCH( QString, sizes );
      const QString tag = QTest::currentDataTag();
      const bool paletted = variant.startsWith( "paletted" );
      const QString source = writeScene( tag + ".tif", GDALDataType( type ), variant );
      QgsRasterLayer layer( source, "scene", "gdal" );
      const bool builder = tool.endsWith( "build" );
      const QString output = builder ? source : absolute( "result-" + tag + ".tif" );
      // Whatever raised GDAL's block cache since, a run keeps it bounded.
      GdalSettings::boundBlockCache();
      GDALSetCacheMax64( GIntBig( 1200 ) * 1024 * 1024 );
      ProcessingResult result;
      if ( builder )
        result = OverviewBuilder::build( { source, threshold, tool == "rebuild" }, nullptr );
      else if ( tool == "band math" )
      {
        const BandMath::Request request{
            "\"scene@1\" * 2", output, "GTiff", { layer.extent(), 600, 300, {} }, {}, {}, {}, {}, threshold };
        result = BandMath::prepareAndRun( request, BandMath::entries( { &layer } ), {} );
      }
      else if ( tool == "stack" )
      {
        RasterBands::StackRequest request = RasterBands::stackRequest( { &layer, &layer }, output, "GTiff" );
        request.overviewThreshold = threshold;
        result = RasterBands::stack( request, nullptr );
      }
      else
      {
        RasterBands::SplitRequest request =
            RasterBands::splitRequest( &layer, { output, output + "2.tif", output + "3.tif" }, "GTiff" );
        request.overviewThreshold = threshold;
        result = RasterBands::split( request, nullptr );
      }
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      QCOMPARE( overviewSizes( output ), sizes );
      QVERIFY( GDALGetCacheMax64() <= GdalSettings::blockCacheBound() );
      if ( sizes.isEmpty() )
        return;
      const std::unique_ptr<GDALDataset> dataset = openRaster( output );
      if ( builder )
      {
        QCOMPARE( openRaster( output + ".ovr" )->GetMetadataItem( "COMPRESSION", "IMAGE_STRUCTURE" ), "DEFLATE" );
        // Every level holds what GDAL's own overview file would.
        std::vector<GDALRasterBand *> bands;
        for ( int band = 1; band <= dataset->GetRasterCount(); ++band )
          bands.push_back( dataset->GetRasterBand( band ) );
        const QVector<int> levels = OverviewBuilder::levels( dataset->GetRasterXSize(), dataset->GetRasterYSize() );
        const QString gdals = output + "-gdal.ovr";
        QCOMPARE( GTIFFBuildOverviews( gdals.toUtf8(), static_cast<int>( bands.size() ), bands.data(), levels.size(),
                                       levels.constData(), paletted ? "NEAREST" : "AVERAGE", GDALDummyProgress, nullptr,
                                       nullptr ),
                  CE_None );
        QCOMPARE( levelChecksums( *dataset, 0 ), levelChecksums( *openRaster( gdals ), -1 ) );
      }

      // Continuous values are averaged; classes keep one of their own values.
      double overview = 0;
      QCOMPARE( dataset->GetRasterBand( 1 )->GetOverview( 0 )->RasterIO( GF_Read, 5, 5, 1, 1, &overview, 1, 1,
                                                                         GDT_Float64, 0, 0 ),
                CE_None );
      QVector<double> block;
      for ( int i = 0; i < 4; ++i )
        block << valueAt( 1, 10 + i % 2, 10 + i / 2 ) * ( tool == "band math" ? 2 : 1 );
      if ( paletted )
        QVERIFY2( block.contains( overview ), qPrintable( QString::number( overview ) ) );
      else
        QCOMPARE( std::round( overview ), std::round( std::accumulate( block.begin(), block.end(), 0.0 ) / 4 ) );
    }

    void bandsOfMixedTypesKeepTheirValues()
    {
      // A virtual raster may put a Byte band beside a Float32 one; the overview file must hold both.
      const QString bytes = writeRaster( absolute( "mixed-byte.tif" ), RasterLayout{ 600, 300, 1, GDT_Byte } );
      const QString floats =
          writeRaster( absolute( "mixed-float.tif" ),
                       RasterLayout{ 600, 300, 1, GDT_Float32, 32748, 500000, 9000000, 30, false, 0, 0, 0.001 } );
      const QString vrt = absolute( "mixed.vrt" );
      QCOMPARE( QProcess::execute( "gdalbuildvrt", { "-q", "-separate", vrt, bytes, floats } ), 0 );
      QVERIFY( OverviewBuilder::build( { vrt, 500 }, nullptr ).done() );
      double overview = 0;
      QCOMPARE( openRaster( vrt )->GetRasterBand( 2 )->GetOverview( 0 )->RasterIO( GF_Read, 5, 5, 1, 1, &overview, 1, 1,
                                                                                   GDT_Float64, 0, 0 ),
                CE_None );
      double sum = 0;
      for ( int i = 0; i < 4; ++i )
        sum += valueAt( 1, 10 + i % 2, 10 + i / 2 ) * 0.001;
      QCOMPARE( float( overview ), float( sum / 4 ) );
    }

    void readOnlyFolderKeepsOverviewsElsewhere()
    {
      const QString folder = absolute( "read-only" );
      QDir().mkpath( folder );
      if ( QProcess::execute( "mount", { "-t", "tmpfs", "-o", "size=2m", "tmpfs", folder } ) != 0 )
        QSKIP( "mounting is not allowed here" );
      const auto unmount = qScopeGuard( [&folder] { QProcess::execute( "umount", { folder } ); } );
      const QString path = writeScene( folder + "/scene.tif", GDT_UInt16 );
      QVERIFY( QProcess::execute( "mount", { "-o", "remount,ro", folder } ) == 0 );

      const ProcessingResult result = OverviewBuilder::build( { path, 500 }, nullptr );
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      QCOMPARE( QDir( folder ).entryList( QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot ),
                QStringList{ "scene.tif" } );
      QCOMPARE( overviewSizes( path ), twoLevels );
    }

    void stoppedBuildKeepsOnlyWhatIsComplete_data()
    {
      QTest::addColumn<bool>( "whileCompressing" );
      QTest::addColumn<QString>( "sizes" );
      QTest::newRow( "while computing: nothing" ) << false << QString();
      QTest::newRow( "while compressing: the uncompressed overviews" ) << true << twoLevels;
    }
    void stoppedBuildKeepsOnlyWhatIsComplete()
    {
      QFETCH( bool, whileCompressing );
      QFETCH( QString, sizes );
      const QString folder = absolute( QStringLiteral( "stopped-%1" ).arg( whileCompressing ) );
      QDir().mkpath( folder );
      const QString path = writeScene( folder + "/scene.tif", GDT_UInt16 );
      QMap<QString, QByteArray> expected = folderContents( folder );
      QgsFeedback feedback;
      QString readyCompression = "not ready";
      const auto ready = [&]
      {
        readyCompression = openRaster( path + ".ovr" )->GetMetadataItem( "COMPRESSION", "IMAGE_STRUCTURE" );
        expected = folderContents( folder );
      };
      if ( whileCompressing )
        connect( &feedback, &QgsFeedback::progressChanged, &feedback,
                 [&]( double percent ) { percent > 30 ? feedback.cancel() : void(); }, Qt::DirectConnection );
      else
        connect( &feedback, &QgsFeedback::progressChanged, &feedback, &QgsFeedback::cancel, Qt::DirectConnection );
      QCOMPARE( OverviewBuilder::build( { path, 500 }, &feedback, ready ).status, ProcessingResult::Status::Cancelled );
      QCOMPARE( readyCompression, whileCompressing ? QString() : "not ready" );
      QCOMPARE( folderContents( folder ), expected );
      QCOMPARE( overviewSizes( path ), sizes );
      QgsRasterLayer layer( path, "scene", "gdal" );
      const std::unique_ptr<QgsRasterBlock> block( layer.dataProvider()->block( 1, layer.extent(), 60, 30 ) );
      QVERIFY( block && block->isValid() );
    }
};

RASTOVA_TEST( TestOverviews )
#include "TestOverviews.moc"
