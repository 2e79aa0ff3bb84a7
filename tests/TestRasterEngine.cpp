#include "Processing/BandReader.h"
#include "Processing/OutputName.h"
#include "Processing/RasterBands.h"
#include "Processing/RasterGrid.h"
#include "RasterFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

#include <cmath>

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
    TestSupport::RasterSpec spec{ 20, 10, 1, GDALGetDataTypeByName( type.toUtf8() ) };
    spec.hasNoData = noData != "-";
    spec.noData = noData.toDouble();
    const QString path =
        TestSupport::absolute( QStringLiteral( "%1-%2.tif" ).arg( QTest::currentDataTag() ).arg( providers.size() ) );
    QgsRasterLayer layer( TestSupport::writeRaster( path, spec ), "source", "gdal" );
    providers << std::shared_ptr<QgsRasterDataProvider>( layer.dataProvider()->clone() );
  }
  return providers;
}
} // namespace

class TestRasterEngine : public QObject
{
    Q_OBJECT

  private slots:
    void stripsTileTheGridFromTheTop_data()
    {
      QTest::addColumn<QList<int>>( "strip" ); // first row, rows
      QTest::addColumn<QgsRectangle>( "extent" );
      QTest::newRow( "first row" ) << QList<int>{ 0, 1 } << QgsRectangle( 0, 40, 100, 50 );
      QTest::newRow( "middle strip" ) << QList<int>{ 1, 3 } << QgsRectangle( 0, 10, 100, 40 );
      QTest::newRow( "last row" ) << QList<int>{ 4, 1 } << QgsRectangle( 0, 0, 100, 10 );
      QTest::newRow( "whole grid" ) << QList<int>{ 0, 5 } << QgsRectangle( 0, 0, 100, 50 );
    }
    void stripsTileTheGridFromTheTop()
    {
      QFETCH( QList<int>, strip );
      QFETCH( QgsRectangle, extent );
      QCOMPARE( grid.stripExtent( strip[0], strip[1] ), extent );
    }

    void stripRowsStayWithinTheGrid_data()
    {
      QTest::addColumn<qint64>( "pixels" );
      QTest::addColumn<int>( "rows" );
      QTest::newRow( "less than a row" ) << qint64( 3 ) << 1;
      QTest::newRow( "two rows and a bit" ) << qint64( 25 ) << 2;
      QTest::newRow( "more than the grid" ) << qint64( 60 ) << 5;
      QTest::newRow( "far more than the grid" ) << ( qint64( 1 ) << 40 ) << 5;
    }
    void stripRowsStayWithinTheGrid()
    {
      QFETCH( qint64, pixels );
      QFETCH( int, rows );
      QCOMPARE( grid.stripRows( pixels ), rows );
    }

    void coverageHoldsThePixelCentresInside_data()
    {
      QTest::addColumn<QgsRectangle>( "extent" );
      QTest::addColumn<QList<int>>( "covered" ); // first row, end row, first column, end column
      QTest::newRow( "the grid itself" ) << QgsRectangle( 0, 0, 100, 50 ) << QList<int>{ 0, 5, 0, 10 };
      QTest::newRow( "larger" ) << QgsRectangle( -500, -500, 500, 500 ) << QList<int>{ 0, 5, 0, 10 };
      QTest::newRow( "edges through centres" ) << QgsRectangle( 25, 15, 75, 35 ) << QList<int>{ 1, 3, 2, 7 };
      QTest::newRow( "edges past centres" ) << QgsRectangle( 24, 14, 76, 36 ) << QList<int>{ 1, 4, 2, 8 };
      QTest::newRow( "beside it" ) << QgsRectangle( 200, 0, 300, 50 ) << QList<int>{ 0, 5, 10, 10 };
      QTest::newRow( "above it" ) << QgsRectangle( 0, 60, 100, 90 ) << QList<int>{ 0, 0, 0, 10 };
    }
    void coverageHoldsThePixelCentresInside()
    {
      QFETCH( QgsRectangle, extent );
      QFETCH( QList<int>, covered );
      const BandReader::Coverage coverage = BandReader::coverage( grid, extent );
      QCOMPARE( ( QList<int>{ coverage.firstRow, coverage.endRow, coverage.firstColumn, coverage.endColumn } ),
                covered );
    }

    void alignedBandsAreReadWithoutResampling_data()
    {
      QTest::addColumn<QgsRectangle>( "extent" );
      QTest::addColumn<QSize>( "size" );
      QTest::addColumn<bool>( "aligned" );
      QTest::newRow( "same grid" ) << QgsRectangle( 0, 0, 100, 50 ) << QSize( 10, 5 ) << true;
      QTest::newRow( "whole pixels inside" ) << QgsRectangle( 20, 10, 60, 40 ) << QSize( 4, 3 ) << true;
      QTest::newRow( "whole pixels beyond" ) << QgsRectangle( -30, -10, 130, 70 ) << QSize( 16, 8 ) << true;
      QTest::newRow( "half a pixel off" ) << QgsRectangle( 5, 0, 105, 50 ) << QSize( 10, 5 ) << false;
      QTest::newRow( "finer pixels" ) << QgsRectangle( 0, 0, 100, 50 ) << QSize( 20, 10 ) << false;
      QTest::newRow( "no pixels" ) << QgsRectangle( 0, 0, 100, 50 ) << QSize( 0, 5 ) << false;
    }
    void alignedBandsAreReadWithoutResampling()
    {
      QFETCH( QgsRectangle, extent );
      QFETCH( QSize, size );
      QFETCH( bool, aligned );
      QCOMPARE( BandReader::isAligned( grid, extent, size.width(), size.height() ), aligned );
    }

    void stackTypeHoldsEveryBand_data()
    {
      QTest::addColumn<QStringList>( "bands" );
      QTest::addColumn<int>( "type" );
      QTest::newRow( "Byte alone" ) << QStringList{ "Byte/-" } << int( Qgis::DataType::Byte );
      QTest::newRow( "Byte, UInt16" ) << QStringList{ "Byte/-", "UInt16/-" } << int( Qgis::DataType::UInt16 );
      QTest::newRow( "UInt16, Int16" ) << QStringList{ "UInt16/-", "Int16/-" } << int( Qgis::DataType::Int32 );
      QTest::newRow( "Int32, Float32" ) << QStringList{ "Int32/-", "Float32/-" } << int( Qgis::DataType::Float64 );
      QTest::newRow( "Byte, Float32" ) << QStringList{ "Byte/-", "Float32/-" } << int( Qgis::DataType::Float32 );
    }
    void stackTypeHoldsEveryBand()
    {
      QFETCH( QStringList, bands );
      QFETCH( int, type );
      QCOMPARE( int( RasterBands::stackDataType( sources( bands ) ) ), type );
    }

    void noDataIsKeptOnlyWhenAllBandsShareIt_data()
    {
      QTest::addColumn<QStringList>( "bands" );
      QTest::addColumn<QString>( "plan" ); // none, NaN or the common value
      QTest::newRow( "none anywhere" ) << QStringList{ "UInt16/-", "UInt16/-" } << "none";
      QTest::newRow( "one shared value" ) << QStringList{ "UInt16/7", "Byte/7" } << "7";
      QTest::newRow( "two values" ) << QStringList{ "UInt16/7", "UInt16/8" } << "NaN";
      QTest::newRow( "only the second has one" ) << QStringList{ "UInt16/-", "UInt16/0" } << "NaN";
      QTest::newRow( "only the first has one" ) << QStringList{ "UInt16/0", "UInt16/-" } << "NaN";
    }
    void noDataIsKeptOnlyWhenAllBandsShareIt()
    {
      QFETCH( QStringList, bands );
      QFETCH( QString, plan );
      const RasterBands::NoDataPlan made = RasterBands::noDataPlan( sources( bands ) );
      QCOMPARE( made.none    ? QStringLiteral( "none" )
                : made.toNaN ? QStringLiteral( "NaN" )
                             : QString::number( made.common ),
                plan );
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
};

RASTOVA_TEST( TestRasterEngine )
#include "TestRasterEngine.moc"
