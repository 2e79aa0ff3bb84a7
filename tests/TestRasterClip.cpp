#include "Processing/RasterBands.h"
#include "Processing/RasterClip.h"
#include "RasterFixtures.h"
#include "TestHarness.h"

#include <QProcess>
#include <QtTest>

#include <gdal_alg.h>
#include <qgscoordinatetransform.h>
#include <qgsfeedback.h>
#include <qgsrasterlayer.h>

using namespace TestSupport;

namespace
{
QgsCoordinateReferenceSystem epsg( int code )
{
  return QgsCoordinateReferenceSystem::fromEpsgId( code );
}

RasterClip::Request requestFor( const QString &source, const QString &output, const QList<int> &bands = { 1, 2, 3 } )
{
  RasterClip::Request request;
  request.source = source;
  request.output = absolute( output );
  request.bands = bands;
  return request;
}

//! GDAL's checksum of every band of \a path, or the reason it cannot be read.
QString checksums( const QString &path )
{
  const std::unique_ptr<GDALDataset> dataset = openRaster( path );
  if ( !dataset )
    return QStringLiteral( "cannot open %1" ).arg( path );
  QStringList sums;
  double transform[6];
  dataset->GetGeoTransform( transform );
  sums << QStringLiteral( "%1x%2 at %3 %4" )
              .arg( dataset->GetRasterXSize() )
              .arg( dataset->GetRasterYSize() )
              .arg( transform[0], 0, 'f', 6 )
              .arg( transform[3], 0, 'f', 6 );
  for ( int band = 1; band <= dataset->GetRasterCount(); ++band )
    sums << QString::number( GDALChecksumImage( dataset->GetRasterBand( band ), 0, 0, dataset->GetRasterXSize(),
                                                dataset->GetRasterYSize() ) );
  return sums.join( ' ' );
}

//! \a wkt (UTM 48 south) in \a crs: a GeoJSON file for gdalwarp, and the polygon for the engine.
QgsGeometry writeMask( const QString &path, const QString &wkt, const QgsCoordinateReferenceSystem &crs )
{
  QgsGeometry polygon = QgsGeometry::fromWkt( wkt );
  polygon.transform( QgsCoordinateTransform( epsg( 32748 ), crs, QgsCoordinateTransformContext() ) );
  writeBytes( path,
              QStringLiteral( "{\"type\":\"FeatureCollection\",\"crs\":{\"type\":\"name\",\"properties\":{\"name\":"
                              "\"urn:ogc:def:crs:EPSG::%1\"}},\"features\":[{\"type\":\"Feature\",\"properties\":{},"
                              "\"geometry\":%2}]}" )
                  .arg( crs.postgisSrid() )
                  .arg( polygon.asJson( 17 ) )
                  .toUtf8() );
  return polygon;
}

} // namespace

class TestRasterClip : public QObject
{
    Q_OBJECT

  private slots:
    void areaIsCopiedOnTheSourceGrid_data()
    {
      QTest::addColumn<int>( "crs" );
      QTest::addColumn<QList<double>>( "grid" ); // origin x, origin y, pixel size
      QTest::addColumn<QgsRectangle>( "extent" );
      QTest::addColumn<QList<int>>( "window" ); // first column, first row, columns, rows
      // clang-format off
      QTest::newRow( "UTM, edges inside pixels" ) << 32748 << QList<double>{ 500000, 9000000, 30 } << QgsRectangle( 500040, 8999800, 500200, 8999950 ) << QList<int>{ 1, 1, 6, 6 };
      QTest::newRow( "UTM, edges on the grid" ) << 32748 << QList<double>{ 500000, 9000000, 30 } << QgsRectangle( 500060, 8999880, 500150, 8999970 ) << QList<int>{ 2, 1, 3, 3 };
      QTest::newRow( "reaching past the raster" ) << 32748 << QList<double>{ 500000, 9000000, 30 } << QgsRectangle( 499000, 8999000, 500090, 8999940 ) << QList<int>{ 0, 2, 3, 8 };
      QTest::newRow( "degrees" ) << 4326 << QList<double>{ 105.5, 21.2, 0.001 } << QgsRectangle( 105.5034, 21.1951, 105.5101, 21.1987 ) << QList<int>{ 3, 1, 8, 4 };
      // clang-format on
    }
    void areaIsCopiedOnTheSourceGrid()
    {
      QFETCH( int, crs );
      QFETCH( QList<double>, grid );
      QFETCH( QgsRectangle, extent );
      QFETCH( QList<int>, window );
      const QString source =
          writeRaster( absolute( "grid.tif" ), RasterLayout{ 20, 10, 3, GDT_UInt16, crs, grid[0], grid[1], grid[2] } );
      RasterClip::Request request = requestFor( source, "cut.tif", { 3, 1 } );
      request.extent = extent;
      request.extentCrs = epsg( crs );
      request.crs = epsg( crs );
      request.resolution = grid[2];
      const ProcessingResult result = RasterClip::run( request );
      QVERIFY2( result.done(), qPrintable( result.reason ) );

      const std::unique_ptr<GDALDataset> cut = openRaster( request.output );
      QVERIFY( cut );
      QCOMPARE( ( QList<int>{ cut->GetRasterXSize(), cut->GetRasterYSize(), cut->GetRasterCount() } ),
                ( QList<int>{ window[2], window[3], 2 } ) );
      double t[6];
      cut->GetGeoTransform( t );
      QCOMPARE( ( QList<double>{ t[0], t[3], t[1] } ),
                ( QList<double>{ grid[0] + window[0] * grid[2], grid[1] - window[1] * grid[2], grid[2] } ) );
      for ( int band = 1; band <= 2; ++band )
        for ( int i = 0; i < window[2] * window[3]; ++i )
          QCOMPARE( readBand( request.output, band )[i],
                    valueAt( 5 - 2 * band, i % window[2] + window[0], i / window[2] + window[1] ) );
    }

    void refusalsComeBeforeAnyFile_data()
    {
      QTest::addColumn<QList<int>>( "bands" );
      QTest::addColumn<QgsRectangle>( "extent" );
      QTest::addColumn<QString>( "mask" );
      QTest::addColumn<int>( "status" );
      const QgsRectangle whole;
      const int noBand = int( ProcessingResult::Status::NoBand );
      const int outside = int( ProcessingResult::Status::OutsideRaster );
      QTest::newRow( "no band" ) << QList<int>{} << whole << "-" << noBand;
      QTest::newRow( "a band it lacks" ) << QList<int>{ 1, 4 } << whole << "-" << noBand;
      QTest::newRow( "extent beside it" )
          << QList<int>{ 1 } << QgsRectangle( 600000, 8999800, 600100, 8999900 ) << "-" << outside;
      QTest::newRow( "mask without polygons" )
          << QList<int>{ 1 } << whole << "" << int( ProcessingResult::Status::EmptyMask );
      QTest::newRow( "mask elsewhere" ) << QList<int>{ 1 } << whole << "POLYGON((0 0, 10 0, 10 10, 0 0))" << outside;
    }
    void refusalsComeBeforeAnyFile()
    {
      QFETCH( QList<int>, bands );
      QFETCH( QgsRectangle, extent );
      QFETCH( QString, mask );
      QFETCH( int, status );
      RasterClip::Request request = requestFor( writeRaster( absolute( "refused.tif" ) ), "never.tif", bands );
      request.extent = extent;
      request.extentCrs = epsg( 32748 );
      request.useMask = mask != "-";
      request.hasNoData = true;
      request.maskCrs = epsg( 32748 );
      if ( !mask.isEmpty() && request.useMask )
        request.mask << QgsGeometry::fromWkt( mask );
      QCOMPARE( int( RasterClip::check( request ).status ), status );
      QCOMPARE( int( RasterClip::run( request ).status ), status );
      QVERIFY( !QFileInfo::exists( request.output ) );
    }

    void warpedAsGdalwarpWarps_data()
    {
      QTest::addColumn<int>( "crs" );
      QTest::addColumn<double>( "resolution" );
      QTest::addColumn<QString>( "resampling" );
      QTest::addColumn<int>( "maskCrs" );      // 0: no mask
      QTest::addColumn<QStringList>( "peer" ); // gdalwarp's options for the same result
      // clang-format off
      QTest::newRow( "to degrees, bilinear" ) << 4326 << 0.0 << "bilinear" << 0 << QStringList{ "-t_srs", "EPSG:4326", "-r", "bilinear" };
      QTest::newRow( "to UTM 49S at 45 m, cubic" ) << 32749 << 45.0 << "cubic" << 0 << QStringList{ "-t_srs", "EPSG:32749", "-tr", "45", "45", "-r", "cubic" };
      QTest::newRow( "mask on the grid" ) << 32748 << 30.0 << "near" << 32748 << QStringList{ "-te", "500030", "8999730", "500420", "8999970", "-tr", "30", "30", "-cutline", "mask.json" };
      QTest::newRow( "mask in degrees" ) << 32748 << 30.0 << "near" << 4326 << QStringList{ "-te", "500030", "8999730", "500420",   "8999970", "-tr", "30",     "30",      "-cutline", "mask.json" };
      QTest::newRow( "mask and reprojection" ) << 4326 << 0.0 << "near" << 32748 << QStringList{ "-t_srs", "EPSG:4326", "-cutline", "mask.json", "-crop_to_cutline" };
      // clang-format on
    }
    void warpedAsGdalwarpWarps()
    {
      QFETCH( int, crs );
      QFETCH( double, resolution );
      QFETCH( QString, resampling );
      QFETCH( int, maskCrs );
      QFETCH( QStringList, peer );
      const QString source =
          writeRaster( absolute( "scene.tif" ), RasterLayout{ 15, 10, 3, GDT_UInt16, 32748, 500000, 9000000, 30, true } );
      RasterClip::Request request = requestFor( source, "ours.tif" );
      request.crs = epsg( crs );
      request.resolution = resolution;
      request.resampling = resampling;
      request.hasNoData = true;
      if ( maskCrs )
      {
        request.useMask = true;
        request.maskCrs = epsg( maskCrs );
        request.mask << writeMask( absolute( "mask.json" ),
                                   "POLYGON((500100 8999950, 500400 8999900, 500350 8999750, 500050 8999800, "
                                   "500100 8999950))",
                                   epsg( maskCrs ) );
      }
      const ProcessingResult result = RasterClip::run( request );
      QVERIFY2( result.done(), qPrintable( result.reason ) );

      QProcess gdalwarp;
      gdalwarp.start( "gdalwarp", QStringList{ "-q", "-overwrite", "-dstnodata", "0", "-co", "COMPRESS=DEFLATE" }
                                      << peer << source << "peer.tif" );
      QVERIFY( gdalwarp.waitForFinished( 60000 ) && gdalwarp.exitCode() == 0 );
      QCOMPARE( checksums( request.output ), checksums( absolute( "peer.tif" ) ) );
    }

    void typeAndNoDataAreWritten_data()
    {
      QTest::addColumn<int>( "type" );
      QTest::addColumn<bool>( "reproject" );
      QTest::addColumn<double>( "noData" );
      QTest::addColumn<double>( "band3First" ); // band 3's first pixel (3000 in the source)
      QTest::newRow( "Byte clamps" ) << int( GDT_Byte ) << false << 7.0 << 255.0;
      QTest::newRow( "Byte clamps when warped" ) << int( GDT_Byte ) << true << 7.0 << 255.0;
      QTest::newRow( "Int16 holds it" ) << int( GDT_Int16 ) << false << -1.0 << 3000.0;
    }
    void typeAndNoDataAreWritten()
    {
      QFETCH( int, type );
      QFETCH( bool, reproject );
      QFETCH( double, noData );
      QFETCH( double, band3First );
      RasterClip::Request request = requestFor( writeRaster( absolute( "typed.tif" ) ), "typed-out.tif" );
      request.dataType = GDALDataType( type );
      request.hasNoData = true;
      request.noData = noData;
      request.crs = epsg( reproject ? 32748 : 0 );
      request.resolution = reproject ? 15 : 0;
      RasterClip::Range range;
      QVERIFY( RasterClip::valueRange( request, range ) );
      QCOMPARE( RasterClip::typeHolds( request.dataType, range ), band3First == 3000.0 );
      const ProcessingResult result = RasterClip::run( request );
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      const std::unique_ptr<GDALDataset> written = openRaster( request.output );
      QCOMPARE( int( written->GetRasterBand( 3 )->GetRasterDataType() ), type );
      int hasNoData = 0;
      QCOMPARE( written->GetRasterBand( 1 )->GetNoDataValue( &hasNoData ), noData );
      QVERIFY( hasNoData );
      QCOMPARE( readBand( request.output, 3 ).constFirst(), band3First );
    }

    void compressionIsApplied_data()
    {
      QTest::addColumn<QString>( "writer" ); // clip, cog, stack or split
      QTest::addColumn<int>( "compression" );
      QTest::addColumn<int>( "type" );
      QTest::addColumn<int>( "width" );
      QTest::addColumn<QStringList>( "structure" ); // IMAGE_STRUCTURE items read back
      using C = CreationOptions::Compression;
      // clang-format off
      QTest::newRow( "DEFLATE, integers" ) << "clip" << int( C::Deflate ) << int( GDT_UInt16 ) << 20 << QStringList{ "COMPRESSION=DEFLATE", "PREDICTOR=2" };
      QTest::newRow( "DEFLATE, floats" ) << "clip" << int( C::Deflate ) << int( GDT_Float32 ) << 20 << QStringList{ "COMPRESSION=DEFLATE", "PREDICTOR=3" };
      QTest::newRow( "LZW" ) << "clip" << int( C::Lzw ) << int( GDT_Byte ) << 20 << QStringList{ "COMPRESSION=LZW", "PREDICTOR=2" };
      QTest::newRow( "ZSTD" ) << "clip" << int( C::Zstd ) << int( GDT_Int16 ) << 20 << QStringList{ "COMPRESSION=ZSTD" };
      QTest::newRow( "none, large: tiled" ) << "clip" << int( C::None ) << int( GDT_Byte ) << 2100 << QStringList{ "BLOCK=256" };
      QTest::newRow( "COG" ) << "cog" << int( C::Deflate ) << int( GDT_UInt16 ) << 20 << QStringList{ "COMPRESSION=DEFLATE", "LAYOUT=COG" };
      QTest::newRow( "stack, large" ) << "stack" << int( C::Lzw ) << int( GDT_UInt16 ) << 2100 << QStringList{ "COMPRESSION=LZW", "BLOCK=256" };
      QTest::newRow( "split" ) << "split" << int( C::Deflate ) << int( GDT_Float32 ) << 20 << QStringList{ "COMPRESSION=DEFLATE", "PREDICTOR=3" };
      // clang-format on
    }
    void compressionIsApplied()
    {
      QFETCH( QString, writer );
      QFETCH( int, compression );
      QFETCH( int, type );
      QFETCH( int, width );
      QFETCH( QStringList, structure );
      const QString source = writeRaster( absolute( "plain.tif" ), RasterLayout{ width, 10, 2, GDALDataType( type ) } );
      const QString output = absolute( "packed.tif" );
      const auto packing = CreationOptions::Compression( compression );
      QgsRasterLayer layer( source, "plain" );
      ProcessingResult result;
      QStringList descriptions{ "plain — Kênh 1", "plain — Kênh 2", "plain — Kênh 1", "plain — Kênh 2" };
      if ( writer == "stack" )
        result =
            RasterBands::stack( RasterBands::stackRequest( { &layer, &layer }, output, "GTiff", packing ), nullptr );
      else if ( writer == "split" )
      {
        // A split keeps the stack's descriptions.
        result = RasterBands::stack( RasterBands::stackRequest( { &layer }, "named.tif", "GTiff" ), nullptr );
        QgsRasterLayer named( absolute( "named.tif" ), "named" );
        result = RasterBands::split(
            RasterBands::splitRequest( &named, { output, absolute( "second.tif" ) }, "GTiff", packing ), nullptr );
        descriptions = QStringList{ "plain — Kênh 1" };
      }
      else
      {
        RasterClip::Request request = requestFor( source, output, { 1, 2 } );
        request.compression = packing;
        request.cog = writer == "cog";
        result = RasterClip::run( request );
        descriptions.clear();
      }
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      const std::unique_ptr<GDALDataset> written = openRaster( output );
      QVERIFY( written );
      QStringList found;
      for ( const QString &item : structure )
      {
        if ( item == "BLOCK=256" )
        {
          int x = 0, y = 0;
          written->GetRasterBand( 1 )->GetBlockSize( &x, &y );
          found << QStringLiteral( "BLOCK=%1" ).arg( x == y ? x : -1 );
        }
        else
          found << item.section( '=', 0, 0 ) + '=' +
                       written->GetMetadataItem( item.section( '=', 0, 0 ).toUtf8().constData(), "IMAGE_STRUCTURE" );
      }
      QCOMPARE( found, structure );
      for ( int band = 1; band <= descriptions.size() && band <= written->GetRasterCount(); ++band )
        QCOMPARE( QString::fromUtf8( written->GetRasterBand( band )->GetDescription() ), descriptions[band - 1] );
    }

    void writesTouchOnlyTheTargetsOwnFiles_data()
    {
      QTest::addColumn<QString>( "writer" ); // a stack, or a copy or warp stopped at once
      QTest::addColumn<QString>( "target" );
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QString>( "kept" );    // a file that must come through unchanged
      QTest::addColumn<QString>( "removed" ); // a stale sidecar of the earlier target
      QTest::addColumn<bool>( "written" );    // else the folder stays as it was
      // clang-format off
      QTest::newRow( "a VRT's source stays" ) << "stack" << "scene.vrt" << "GTiff" << "scene.tif" << "" << true;
      QTest::newRow( "stale statistics go" ) << "stack" << "earlier.tif" << "GTiff" << "" << "earlier.tif.aux.xml" << true;
      QTest::newRow( "fewer bands, new header" ) << "stack" << "stack" << "ENVI" << "" << "" << true;
      QTest::newRow( "a folder that cannot hold it" ) << "stack" << "blocker/rastova-nowhere.tif" << "GTiff" << "blocker" << "" << false;
      QTest::newRow( "copy stopped" ) << "copy" << "earlier.tif" << "GTiff" << "" << "" << false;
      QTest::newRow( "warp stopped" ) << "warp" << "earlier.tif" << "GTiff" << "" << "" << false;
      // clang-format on
    }
    void writesTouchOnlyTheTargetsOwnFiles()
    {
      QFETCH( QString, writer );
      QFETCH( QString, target );
      QFETCH( QString, driver );
      QFETCH( QString, kept );
      QFETCH( QString, removed );
      QFETCH( bool, written );
      const QString folder = absolute( QStringLiteral( "own/%1" ).arg( QTest::currentDataTag() ) );
      QDir().mkpath( folder );
      const QString scene = writeRaster( folder + "/scene.tif" );
      writeBytes( folder + "/scene.vrt",
                  "<VRTDataset rasterXSize=\"20\" rasterYSize=\"10\"><VRTRasterBand dataType=\"UInt16\" "
                  "band=\"1\"><SimpleSource><SourceFilename relativeToVRT=\"1\">scene.tif</SourceFilename>"
                  "<SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>" );
      writeRaster( folder + "/earlier.tif" );
      writeBytes( folder + "/earlier.tif.aux.xml",
                  "<PAMDataset><Metadata><MDI key=\"STALE\">1</MDI></Metadata></PAMDataset>" );
      writeBytes( folder + "/blocker", "a file, not a folder" );
      QgsRasterLayer three( writeRaster( folder + "-three.tif", RasterLayout{ 20, 10, 3, GDT_Byte } ), "three" );
      QVERIFY(
          RasterBands::stack( RasterBands::stackRequest( { &three }, folder + "/stack", "ENVI" ), nullptr ).done() );
      const QMap<QString, QByteArray> before = folderContents( folder );

      QgsRasterLayer one( writeRaster( folder + "-one.tif", RasterLayout{ 20, 10, 1, GDT_Byte } ), "one" );
      RasterClip::Request request = requestFor( scene, folder + '/' + target );
      request.crs = epsg( writer == "warp" ? 4326 : 32748 );
      QgsFeedback stop;
      stop.cancel();
      const ProcessingResult result =
          writer == "stack"
              ? RasterBands::stack( RasterBands::stackRequest( { &one }, folder + '/' + target, driver ), nullptr )
              : RasterClip::run( request, &stop );
      QCOMPARE( result.done(), written );
      QVERIFY( writer == "stack" || result.status == ProcessingResult::Status::Cancelled );
      const QMap<QString, QByteArray> after = folderContents( folder );
      if ( written )
        QCOMPARE( openRaster( folder + '/' + target )->GetRasterCount(), 1 );
      else
        QCOMPARE( after, before );
      QCOMPARE( after.value( kept ), before.value( kept ) );
      QVERIFY( !after.value( removed ).contains( "STALE" ) );
      for ( const QString &name : after.keys() ) // nothing left behind
        QVERIFY2( before.contains( name ), qPrintable( name ) );
      QVERIFY( !QFile::exists( "/rastova-nowhere.tif" ) );
    }
};

RASTOVA_TEST( TestRasterClip )
#include "TestRasterClip.moc"
