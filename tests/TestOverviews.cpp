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

QString writeScene( const QString &path, GDALDataType type, bool paletted = false )
{
  writeRaster( path, RasterSpec{ 600, 300, paletted ? 1 : 3, type } );
  if ( paletted )
  {
    GDALColorTable table;
    const GDALColorEntry white{ 255, 255, 255, 255 };
    table.SetColorEntry( 65535, &white );
    GDALDatasetUniquePtr( GDALDataset::Open( path.toUtf8(), GDAL_OF_RASTER | GDAL_OF_UPDATE ) )
        ->GetRasterBand( 1 )
        ->SetColorTable( &table );
  }
  return absolute( path );
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
      QTest::addColumn<bool>( "paletted" );
      QTest::addColumn<int>( "threshold" );
      QTest::addColumn<QString>( "sizes" );
      // clang-format off
      QTest::newRow( "integers above the threshold" ) << "build" << int( GDT_UInt16 ) << false << 500 << twoLevels;
      QTest::newRow( "floats above the threshold" ) << "build" << int( GDT_Float32 ) << false << 500 << twoLevels;
      QTest::newRow( "paletted above the threshold" ) << "build" << int( GDT_UInt16 ) << true << 500 << twoLevels;
      QTest::newRow( "as wide as the threshold" ) << "build" << int( GDT_UInt16 ) << false << 600 << QString();
      QTest::newRow( "by hand below the threshold" ) << "rebuild" << int( GDT_UInt16 ) << false << 4096 << twoLevels;
      QTest::newRow( "band math" ) << "band math" << int( GDT_UInt16 ) << false << 500 << twoLevels;
      QTest::newRow( "band math below the threshold" ) << "band math" << int( GDT_UInt16 ) << false << 600 << QString();
      QTest::newRow( "stack" ) << "stack" << int( GDT_UInt16 ) << false << 500 << twoLevels;
      QTest::newRow( "split" ) << "split" << int( GDT_UInt16 ) << false << 500 << twoLevels;
      // clang-format on
    }
    void largeRastersGetOverviews()
    {
      QFETCH( QString, tool );
      QFETCH( int, type );
      QFETCH( bool, paletted );
      QFETCH( int, threshold );
      QFETCH( QString, sizes );
      const QString tag = QTest::currentDataTag();
      const QString source = writeScene( tag + ".tif", GDALDataType( type ), paletted );
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
      if ( builder )
        QCOMPARE( openRaster( output + ".ovr" )->GetMetadataItem( "COMPRESSION", "IMAGE_STRUCTURE" ), "DEFLATE" );

      // Continuous values are averaged; classes keep one of their own values.
      const std::unique_ptr<GDALDataset> dataset = openRaster( output );
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

    void stoppedBuildLeavesNothing()
    {
      const QString folder = absolute( "stopped" );
      QDir().mkpath( folder );
      const QString path = writeScene( folder + "/scene.tif", GDT_UInt16 );
      const QMap<QString, QByteArray> before = folderContents( folder );
      QgsFeedback feedback;
      connect( &feedback, &QgsFeedback::progressChanged, &feedback, &QgsFeedback::cancel, Qt::DirectConnection );
      QCOMPARE( OverviewBuilder::build( { path, 500 }, &feedback ).status, ProcessingResult::Status::Cancelled );
      QCOMPARE( folderContents( folder ), before );
      QgsRasterLayer layer( path, "scene", "gdal" );
      const std::unique_ptr<QgsRasterBlock> block( layer.dataProvider()->block( 1, layer.extent(), 60, 30 ) );
      QVERIFY( block && block->isValid() );
    }
};

RASTOVA_TEST( TestOverviews )
#include "TestOverviews.moc"
