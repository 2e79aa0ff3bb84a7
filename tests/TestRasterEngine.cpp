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
      const QString output = TestSupport::absolute( QTest::currentDataTag() + QStringLiteral( ".tif" ) );
      const RasterGrid on{ providers[0]->extent(), 20, 10, providers[0]->crs() };
      QVERIFY( RasterBands::stack( { providers, on, output, "GTiff" }, nullptr ).done() );
      const std::unique_ptr<GDALDataset> written = TestSupport::openRaster( output );
      // Each band's own no-data pixels (1000 at (0, 0), 1037 at (0, 1)) become NaN when the bands differ in it.
      for ( int band = 1; band <= providers.size(); ++band )
      {
        QgsRasterDataProvider *source = providers[band - 1].get();
        int has = 0;
        const double declared = written->GetRasterBand( band )->GetNoDataValue( &has );
        QCOMPARE( has ? QString::number( declared ) : QStringLiteral( "none" ), noData );
        QCOMPARE( int( written->GetRasterBand( band )->GetRasterDataType() ), type );
        QStringList expected, found;
        for ( double value : TestSupport::readBand( source->dataSourceUri(), 1 ) )
          expected << QString::number( noData == "nan" && source->sourceHasNoDataValue( 1 ) &&
                                               value == source->sourceNoDataValue( 1 )
                                           ? std::nan( "" )
                                           : value );
        for ( double value : TestSupport::readBand( output, band ) )
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
};

RASTOVA_TEST( TestRasterEngine )
#include "TestRasterEngine.moc"
