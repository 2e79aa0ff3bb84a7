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
    TestSupport::RasterSpec spec;
    spec.bands = 1;
    spec.type = GDALGetDataTypeByName( item.section( '/', 0, 0 ).toUtf8().constData() );
    spec.hasNoData = item.section( '/', 1 ) != "-";
    spec.noData = item.section( '/', 1 ).toDouble();
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
      QTest::addColumn<int>( "firstRow" );
      QTest::addColumn<int>( "rows" );
      QTest::addColumn<double>( "yMinimum" );
      QTest::addColumn<double>( "yMaximum" );
      QTest::newRow( "first row" ) << 0 << 1 << 40.0 << 50.0;
      QTest::newRow( "middle strip" ) << 1 << 3 << 10.0 << 40.0;
      QTest::newRow( "last row" ) << 4 << 1 << 0.0 << 10.0;
      QTest::newRow( "whole grid" ) << 0 << 5 << 0.0 << 50.0;
    }
    void stripsTileTheGridFromTheTop()
    {
      QFETCH( int, firstRow );
      QFETCH( int, rows );
      QFETCH( double, yMinimum );
      QFETCH( double, yMaximum );
      const QgsRectangle strip = grid.stripExtent( firstRow, rows );
      QCOMPARE( strip, QgsRectangle( 0, yMinimum, 100, yMaximum ) );
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
      QTest::addColumn<int>( "columns" );
      QTest::addColumn<int>( "rows" );
      QTest::addColumn<bool>( "aligned" );
      QTest::newRow( "same grid" ) << QgsRectangle( 0, 0, 100, 50 ) << 10 << 5 << true;
      QTest::newRow( "whole pixels inside" ) << QgsRectangle( 20, 10, 60, 40 ) << 4 << 3 << true;
      QTest::newRow( "whole pixels beyond" ) << QgsRectangle( -30, -10, 130, 70 ) << 16 << 8 << true;
      QTest::newRow( "half a pixel off" ) << QgsRectangle( 5, 0, 105, 50 ) << 10 << 5 << false;
      QTest::newRow( "finer pixels" ) << QgsRectangle( 0, 0, 100, 50 ) << 20 << 10 << false;
      QTest::newRow( "no pixels" ) << QgsRectangle( 0, 0, 100, 50 ) << 0 << 5 << false;
    }
    void alignedBandsAreReadWithoutResampling()
    {
      QFETCH( QgsRectangle, extent );
      QFETCH( int, columns );
      QFETCH( int, rows );
      QFETCH( bool, aligned );
      QCOMPARE( BandReader::isAligned( grid, extent, columns, rows ), aligned );
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
      QTest::addColumn<bool>( "none" );
      QTest::addColumn<bool>( "toNaN" );
      QTest::addColumn<double>( "common" );
      QTest::newRow( "none anywhere" ) << QStringList{ "UInt16/-", "UInt16/-" } << true << false << 0.0;
      QTest::newRow( "one shared value" ) << QStringList{ "UInt16/7", "Byte/7" } << false << false << 7.0;
      QTest::newRow( "two values" ) << QStringList{ "UInt16/7", "UInt16/8" } << false << true << 7.0;
      QTest::newRow( "only the second has one" ) << QStringList{ "UInt16/-", "UInt16/0" } << false << true << 0.0;
      QTest::newRow( "only the first has one" ) << QStringList{ "UInt16/0", "UInt16/-" } << false << true << 0.0;
    }
    void noDataIsKeptOnlyWhenAllBandsShareIt()
    {
      QFETCH( QStringList, bands );
      QFETCH( bool, none );
      QFETCH( bool, toNaN );
      QFETCH( double, common );
      const RasterBands::NoDataPlan plan = RasterBands::noDataPlan( sources( bands ) );
      QCOMPARE( plan.none, none );
      QCOMPARE( plan.toNaN, toNaN );
      if ( !none && !toNaN )
        QCOMPARE( plan.common, common );
    }

    void outputNamesFollowTheDriver_data()
    {
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QString>( "path" );
      QTest::addColumn<QString>( "named" );
      QTest::newRow( "GeoTIFF adds its extension" ) << "GTiff"
                                                    << "out/ndvi"
                                                    << "out/ndvi.tif";
      QTest::newRow( "COG takes the first it lists" ) << "COG"
                                                      << "out/ndvi"
                                                      << "out/ndvi.tif";
      QTest::newRow( "Erdas Imagine" ) << "HFA"
                                       << "out/ndvi"
                                       << "out/ndvi.img";
      QTest::newRow( "ENVI declares none" ) << "ENVI"
                                            << "out/ndvi"
                                            << "out/ndvi";
      QTest::newRow( "a typed suffix is kept" ) << "GTiff"
                                                << "out/ndvi.TIF"
                                                << "out/ndvi.TIF";
      QTest::newRow( "no such driver" ) << "Nothing"
                                        << "out/ndvi"
                                        << "out/ndvi";
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
