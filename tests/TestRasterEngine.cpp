#include "Processing/BandReader.h"
#include "Processing/OutputName.h"
#include "Processing/RasterBands.h"
#include "Processing/RasterGrid.h"
#include "Processing/WorkspaceCheck.h"
#include "RasterFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <qgsarchive.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

#include <cmath>
#include <sys/stat.h>

using namespace TestSupport;

namespace
{
// Ten by five pixels of 10 × 10 over (0, 0)–(100, 50).
const RasterGrid grid{ QgsRectangle( 0, 0, 100, 50 ), 10, 5, {} };

//! Providers of one-band GeoTIFFs, one a "type/no-data" item ("UInt16/0", "Byte/-": no no-data).
QList<std::shared_ptr<QgsRasterDataProvider>> sources( const QStringList &items )
{
  QList<std::shared_ptr<QgsRasterDataProvider>> providers;
  for ( const QString &item : items )
  {
    const QString type = item.section( '/', 0, 0 ), noData = item.section( '/', 1 );
    RasterLayout layout{ 20, 10, 1, GDALGetDataTypeByName( type.toUtf8() ) };
    layout.hasNoData = noData != "-";
    layout.noData = noData.toDouble();
    const QString path =
        absolute( QStringLiteral( "%1-%2.tif" ).arg( QTest::currentDataTag() ).arg( providers.size() ) );
    QgsRasterLayer layer( writeRaster( path, layout ), "source", "gdal" );
    providers << std::shared_ptr<QgsRasterDataProvider>( layer.dataProvider()->clone() );
  }
  return providers;
}
QByteArray project( const QByteArray &layers )
{
  return "<qgis><projectlayers>" + layers + "</projectlayers></qgis>";
}

QByteArray layer( const QByteArray &provider, const QByteArray &source )
{
  return "<maplayer type=\"raster\"><id>x</id><datasource>" + source + "</datasource><provider>" + provider +
         "</provider></maplayer>";
}
} // namespace

class TestRasterEngine : public QObject
{
    Q_OBJECT

  private slots:
    void gridArithmetic_data()
    {
      QTest::addColumn<QString>( "asked" );
      QTest::addColumn<QList<double>>( "arguments" );
      QTest::addColumn<QList<double>>( "answer" );
      using L = QList<double>;
      // clang-format off
      // A strip (first row, rows) spans the grid's width from the top down: xmin, ymin, xmax, ymax.
      QTest::newRow( "first row" ) << "strip" << L{ 0, 1 } << L{ 0, 40, 100, 50 };
      QTest::newRow( "middle strip" ) << "strip" << L{ 1, 3 } << L{ 0, 10, 100, 40 };
      QTest::newRow( "last row" ) << "strip" << L{ 4, 1 } << L{ 0, 0, 100, 10 };
      QTest::newRow( "whole grid" ) << "strip" << L{ 0, 5 } << L{ 0, 0, 100, 50 };
      // The rows a strip of about so many pixels takes.
      QTest::newRow( "less than a row" ) << "rows" << L{ 3 } << L{ 1 };
      QTest::newRow( "two rows and a bit" ) << "rows" << L{ 25 } << L{ 2 };
      QTest::newRow( "more than the grid" ) << "rows" << L{ 60 } << L{ 5 };
      QTest::newRow( "far more than the grid" ) << "rows" << L{ double( qint64( 1 ) << 40 ) } << L{ 5 };
      // The pixel centres inside an extent: first row, end row, first column, end column.
      QTest::newRow( "the grid itself" ) << "coverage" << L{ 0, 0, 100, 50 } << L{ 0, 5, 0, 10 };
      QTest::newRow( "larger" ) << "coverage" << L{ -500, -500, 500, 500 } << L{ 0, 5, 0, 10 };
      QTest::newRow( "edges through centres" ) << "coverage" << L{ 25, 15, 75, 35 } << L{ 1, 3, 2, 7 };
      QTest::newRow( "edges past centres" ) << "coverage" << L{ 24, 14, 76, 36 } << L{ 1, 4, 2, 8 };
      QTest::newRow( "beside it" ) << "coverage" << L{ 200, 0, 300, 50 } << L{ 0, 5, 10, 10 };
      QTest::newRow( "above it" ) << "coverage" << L{ 0, 60, 100, 90 } << L{ 0, 0, 0, 10 };
      // Whether an extent of so many columns and rows is read without resampling.
      QTest::newRow( "same grid" ) << "aligned" << L{ 0, 0, 100, 50, 10, 5 } << L{ 1 };
      QTest::newRow( "whole pixels inside" ) << "aligned" << L{ 20, 10, 60, 40, 4, 3 } << L{ 1 };
      QTest::newRow( "whole pixels beyond" ) << "aligned" << L{ -30, -10, 130, 70, 16, 8 } << L{ 1 };
      QTest::newRow( "half a pixel off" ) << "aligned" << L{ 5, 0, 105, 50, 10, 5 } << L{ 0 };
      QTest::newRow( "finer pixels" ) << "aligned" << L{ 0, 0, 100, 50, 20, 10 } << L{ 0 };
      QTest::newRow( "no pixels" ) << "aligned" << L{ 0, 0, 100, 50, 0, 5 } << L{ 0 };
      // clang-format on
    }
    void gridArithmetic()
    {
      QFETCH( QString, asked );
      QFETCH( QList<double>, arguments );
      QFETCH( QList<double>, answer );
      const QList<double> &a = arguments;
      const QgsRectangle extent = a.size() >= 4 ? QgsRectangle( a[0], a[1], a[2], a[3] ) : QgsRectangle();
      QList<double> found;
      if ( asked == "strip" )
      {
        const QgsRectangle strip = grid.stripExtent( int( a[0] ), int( a[1] ) );
        found = { strip.xMinimum(), strip.yMinimum(), strip.xMaximum(), strip.yMaximum() };
      }
      else if ( asked == "rows" )
        found = { double( grid.stripRows( qint64( a[0] ) ) ) };
      else if ( asked == "coverage" )
      {
        const BandReader::Coverage c = BandReader::coverage( grid, extent );
        found = { double( c.firstRow ), double( c.endRow ), double( c.firstColumn ), double( c.endColumn ) };
      }
      else
        found = { double( BandReader::isAligned( grid, extent, int( a[4] ), int( a[5] ) ) ) };
      QCOMPARE( found, answer );
    }

    void stacksHoldEveryValueAndOnlyASharedNoData_data()
    {
      QTest::addColumn<QStringList>( "bands" );
      QTest::addColumn<int>( "type" );       // written
      QTest::addColumn<QString>( "noData" ); // declared: none, nan or the common value
      // clang-format off
      QTest::newRow( "Byte alone" ) << QStringList{ "Byte/-" } << int( GDT_Byte ) << "none";
      QTest::newRow( "Byte, UInt16" ) << QStringList{ "Byte/-", "UInt16/-" } << int( GDT_UInt16 ) << "none";
      QTest::newRow( "UInt16, Int16" ) << QStringList{ "UInt16/-", "Int16/-" } << int( GDT_Int32 ) << "none";
      QTest::newRow( "Int32, Float32" ) << QStringList{ "Int32/-", "Float32/-" } << int( GDT_Float64 ) << "none";
      QTest::newRow( "Byte, Float32" ) << QStringList{ "Byte/-", "Float32/-" } << int( GDT_Float32 ) << "none";
      QTest::newRow( "one shared value" ) << QStringList{ "UInt16/7", "Byte/7" } << int( GDT_UInt16 ) << "7";
      QTest::newRow( "two values" ) << QStringList{ "UInt16/1000", "UInt16/1037" } << int( GDT_Float32 ) << "nan";
      QTest::newRow( "only the second has one" ) << QStringList{ "UInt16/-", "UInt16/1037" } << int( GDT_Float32 ) << "nan";
      QTest::newRow( "only the first has one" ) << QStringList{ "UInt16/0", "UInt16/-" } << int( GDT_Float32 ) << "nan";
      // clang-format on
    }
    void stacksHoldEveryValueAndOnlyASharedNoData()
    {
      QFETCH( QStringList, bands );
      QFETCH( int, type );
      QFETCH( QString, noData );
      const auto providers = sources( bands );
      const QString output = absolute( QTest::currentDataTag() + QStringLiteral( ".tif" ) );
      const RasterGrid on{ providers[0]->extent(), 20, 10, providers[0]->crs() };
      QVERIFY( RasterBands::stack( { providers, on, output, "GTiff" }, nullptr ).done() );
      const std::unique_ptr<GDALDataset> written = openRaster( output );
      // Each band's own no-data pixels (1000 at (0, 0), 1037 at (0, 1)) become NaN when the bands differ in it.
      for ( int band = 1; band <= providers.size(); ++band )
      {
        QgsRasterDataProvider *source = providers[band - 1].get();
        int has = 0;
        const double declared = written->GetRasterBand( band )->GetNoDataValue( &has );
        QCOMPARE( has ? QString::number( declared ) : QStringLiteral( "none" ), noData );
        QCOMPARE( int( written->GetRasterBand( band )->GetRasterDataType() ), type );
        QStringList expected, found;
        for ( double value : readBand( source->dataSourceUri(), 1 ) )
          expected << QString::number( noData == "nan" && source->sourceHasNoDataValue( 1 ) &&
                                               value == source->sourceNoDataValue( 1 )
                                           ? std::nan( "" )
                                           : value );
        for ( double value : readBand( output, band ) )
          found << QString::number( value );
        QCOMPARE( found, expected );
      }
    }

    void outputNamesFollowTheDriver_data()
    {
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QString>( "path" );
      QTest::addColumn<QString>( "named" );
      // clang-format off
      QTest::newRow( "GeoTIFF adds its extension" ) << "GTiff" << "out/ndvi" << "out/ndvi.tif";
      QTest::newRow( "COG takes the first it lists" ) << "COG" << "out/ndvi" << "out/ndvi.tif";
      QTest::newRow( "Erdas Imagine" ) << "HFA" << "out/ndvi" << "out/ndvi.img";
      QTest::newRow( "ENVI declares none" ) << "ENVI" << "out/ndvi" << "out/ndvi";
      QTest::newRow( "a typed suffix is kept" ) << "GTiff" << "out/ndvi.TIF" << "out/ndvi.TIF";
      QTest::newRow( "a dotted folder is no suffix" ) << "GTiff" << "v1.2/ndvi" << "v1.2/ndvi.tif";
      QTest::newRow( "no such driver" ) << "Nothing" << "out/ndvi" << "out/ndvi";
      // clang-format on
    }
    void outputNamesFollowTheDriver()
    {
      QFETCH( QString, driver );
      QFETCH( QString, path );
      QFETCH( QString, named );
      const QString extension = OutputName::extensionOf( driver );
      QCOMPARE( OutputName::withExtension( path, extension ), named );
      QCOMPARE( OutputName::inFolder( "out", "ndvi", extension ),
                extension.isEmpty() ? "out/ndvi" : "out/ndvi." + extension );
    }

    void refusesWhatQgisShouldNotRead_data()
    {
      QTest::addColumn<QString>( "name" );
      QTest::addColumn<QByteArray>( "contents" );
      QTest::addColumn<QString>( "form" );   // written as it is, or zipped as a workspace holds its project
      QTest::addColumn<QString>( "reason" ); // empty: accepted
      const QByteArray file = project( layer( "gdal", "./source.tif" ) );
      const QString invalid = "không phải dự án QGIS hợp lệ";
      // clang-format off
      QTest::newRow( "workspace of a file layer" ) << "w.qgz" << file << "zip" << "";
      QTest::newRow( "plain project" ) << "w.qgs" << file << "plain" << "";
      QTest::newRow( "no such file" ) << "none.qgz" << QByteArray() << "plain" << "không tìm thấy file";
      QTest::newRow( "a named pipe" ) << "pipe.qgz" << QByteArray() << "plain" << "không tìm thấy file";
      QTest::newRow( "cut short" ) << "w.qgz" << file << "zip, cut short" << invalid;
      QTest::newRow( "garbage" ) << "w.qgz" << QByteArray( "<qgis version=\"3.22\"><layer" ) + QByteArray( 5000, '\xff' ) << "plain" << invalid;
      QTest::newRow( "plain, not a project" ) << "w.qgs" << QByteArray( "<html><qgis/></html>" ) << "plain" << invalid;
      QTest::newRow( "plain, unclosed" ) << "w.qgs" << QByteArray( "<qgis><projectlayers>" ) << "plain" << invalid;
      QTest::newRow( "nested 100000 deep" ) << "w.qgz" << "<qgis>" + QByteArray( 100000 * 3, ' ' ).replace( "   ", "<a>" ) << "zip" << "cấu trúc lồng quá sâu";
      QTest::newRow( "naming a pipe" ) << "w.qgz" << project( layer( "gdal", "./pipe.tif" ) ) << "zip" << "layer ./pipe.tif không phải file dữ liệu";
      QTest::newRow( "reading a pipe as text" ) << "w.qgz" << project( layer( "delimitedtext", "file:./pipe.tif?type=csv" ) ) << "zip" << "layer file:./pipe.tif?type=csv không phải file dữ liệu";
      QTest::newRow( "a scene from a pipe" ) << "w.qgz" << project( layer( "gdal", "./pipe.tif#rastova-scene=mask" ) ) << "zip" << "layer ./pipe.tif#rastova-scene=mask không phải file dữ liệu";
      QTest::newRow( "through a virtual file system" ) << "w.qgs" << project( layer( "gdal", "/vsicurl/http://127.0.0.1:9/a.tif" ) ) << "plain" << "layer /vsicurl/http://127.0.0.1:9/a.tif không phải file dữ liệu";
      QTest::newRow( "embedding another" ) << "w.qgz" << project( "<maplayer embedded=\"1\" project=\"./pipe.tif\" id=\"x\"/>" ) << "zip" << "có nhúng dự án khác";
      // Archives are looked into, not unpacked.
      QTest::newRow( "project with data" ) << "w.qgz" << file << "zip, 5 more files" << "";
      QTest::newRow( "two projects" ) << "w.qgz" << file << "zip, two projects" << invalid;
      QTest::newRow( "no project" ) << "w.qgz" << file << "zip, no project, 3 more files" << invalid;
      QTest::newRow( "more than a thousand entries" ) << "w.qgz" << file << "zip, 1000 more files" << invalid;
      // clang-format on
    }
    void refusesWhatQgisShouldNotRead()
    {
      QFETCH( QString, name );
      QFETCH( QByteArray, contents );
      QFETCH( QString, form );
      QFETCH( QString, reason );
      const QString folder = absolute( QStringLiteral( "check/%1" ).arg( QTest::currentDataTag() ) );
      QDir().mkpath( folder + "/inner" );
      writeRaster( folder + "/source.tif" );
      QCOMPARE( mkfifo( ( folder + "/pipe.tif" ).toUtf8().constData(), 0600 ), 0 );
      QCOMPARE( mkfifo( ( folder + "/pipe.qgz" ).toUtf8().constData(), 0600 ), 0 );
      const QString target = folder + '/' + name;
      if ( form == "plain" && !contents.isEmpty() )
        writeBytes( target, contents );
      else if ( form.startsWith( "zip" ) )
      {
        QgsArchive archive;
        const int projects = form.contains( "no project" ) ? 0 : form.contains( "two projects" ) ? 2 : 1;
        for ( int i = 0; i < projects; ++i )
          archive.addFile( writeBytes( folder + QStringLiteral( "/inner/p%1.qgs" ).arg( i ), contents ) );
        const int others = QRegularExpression( "(\\d+) more files" ).match( form ).captured( 1 ).toInt();
        for ( int i = 0; i < others; ++i )
          archive.addFile( writeBytes( folder + QStringLiteral( "/inner/d%1.txt" ).arg( i ), "x" ) );
        QVERIFY( archive.zip( target ) );
        if ( form.contains( "cut short" ) )
          QVERIFY( QFile( target ).resize( QFileInfo( target ).size() / 2 ) );
      }

      const ProcessingResult result = WorkspaceCheck::check( target );
      QCOMPARE( result.reason, reason );
      QCOMPARE( result.done(), reason.isEmpty() );
    }

    void aWorkspaceReplacedInTheSameSecondIsReadAnew()
    {
      const QString folder = absolute( "replaced" );
      QVERIFY( QDir().mkpath( folder + "/project" ) && QDir().mkpath( folder + "/other" ) );
      writeRaster( folder + "/a.tif" );
      // The same bytes, once as the project and once under another name: archives of one size.
      const auto zip = [&folder]( const QString &entry, const QString &target )
      {
        QgsArchive archive;
        archive.addFile( writeBytes( folder + '/' + entry, project( layer( "gdal", "./a.tif" ) ) ) );
        return archive.zip( target );
      };
      QVERIFY( zip( "project/w.qgs", folder + "/w.qgz" ) && zip( "other/w.txt", folder + "/next.qgz" ) );
      QCOMPARE( QFileInfo( folder + "/next.qgz" ).size(), QFileInfo( folder + "/w.qgz" ).size() );
      QVERIFY( WorkspaceCheck::check( folder + "/w.qgz" ).done() );

      // Saved over it as a save does: renamed into place, here at the same size and time.
      const QDateTime time = QFileInfo( folder + "/w.qgz" ).lastModified();
      QVERIFY( QFile::remove( folder + "/w.qgz" ) && QFile::rename( folder + "/next.qgz", folder + "/w.qgz" ) );
      QFile replaced( folder + "/w.qgz" );
      QVERIFY( replaced.open( QIODevice::ReadWrite ) &&
               replaced.setFileTime( time, QFileDevice::FileModificationTime ) );
      replaced.close();
      QCOMPARE( WorkspaceCheck::check( folder + "/w.qgz" ).reason, QStringLiteral( "không phải dự án QGIS hợp lệ" ) );
    }
};

RASTOVA_TEST( TestRasterEngine )
#include "TestRasterEngine.moc"
