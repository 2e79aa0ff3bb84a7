#include "Processing/SceneReader.h"
#include "RasterFixtures.h"
#include "SceneFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <sys/stat.h>

using namespace TestSupport;

namespace
{
QStringList descriptions( GDALDataset *dataset )
{
  QStringList names;
  for ( int band = 1; band <= dataset->GetRasterCount(); ++band )
    names << QString::fromUtf8( dataset->GetRasterBand( band )->GetDescription() );
  return names;
}
} // namespace

class TestScenes : public QObject
{
    Q_OBJECT

  private slots:
    void opensLandsat_data()
    {
      QTest::addColumn<int>( "mission" );
      QTest::addColumn<bool>( "xml" );
      QTest::addColumn<QString>( "road" );
      // clang-format off
      QTest::newRow( "Landsat 8 MTL" ) << 8 << false << "mtl";
      QTest::newRow( "Landsat 9 XML MTL in a folder" ) << 9 << true << "folder";
      QTest::newRow( "Landsat 7 ETM+ numbering" ) << 7 << false << "mtl";
      QTest::newRow( "Landsat 5 TM in a tar" ) << 5 << false << "tar";
      // clang-format on
    }
    void opensLandsat()
    {
      QFETCH( int, mission );
      QFETCH( bool, xml );
      QFETCH( QString, road );
      const QString blueFile = mission >= 8 ? "SR_B2" : "SR_B1", thermalFile = mission >= 8 ? "ST_B10" : "ST_B6";

      const QString folder = absolute( QStringLiteral( "products/landsat%1%2" ).arg( mission ).arg( road ) );
      const QString mtl = writeLandsat( folder, LandsatSpec{ mission, 12, 6, true, xml, {} } );
      QString path = road == "mtl" ? mtl : folder;
      if ( road == "tar" )
      {
        path = folder + ".tar";
        QVERIFY( pack( folder, path ) );
        QDir( folder ).removeRecursively();
      }
      const auto before = folderContents( absolute( "products" ) );

      Scene scene;
      const ProcessingResult result = SceneReader::open( path, absolute( "scenes" ), scene );
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      QCOMPARE( scene.problems, QStringList() );
      QCOMPARE(
          scene.title,
          QStringLiteral( "Landsat %1 %2 125/052 2023-01-05" ).arg( mission ).arg( mission >= 8 ? "OLI_TIRS" : "TM" ) );
      QCOMPARE( scene.acquired, QDateTime( QDate( 2023, 1, 5 ), QTime( 3, 20, 31, 123 ), Qt::UTC ) );
      QCOMPARE( scene.cloudCover, 12.34 );
      QCOMPARE( folderContents( absolute( "products" ) ), before );

      const auto vrt = openRaster( scene.reflectanceLayer );
      QVERIFY( vrt );
      QStringList expected = { "Blue", "Green", "Red", "NIR", "SWIR1", "SWIR2" };
      if ( mission >= 8 )
        expected.prepend( "Coastal" );
      QCOMPARE( descriptions( vrt.get() ), expected );
      double previous = 0;
      for ( int band = 1; band <= vrt->GetRasterCount(); ++band )
      {
        GDALRasterBand *b = vrt->GetRasterBand( band );
        const double wavelength = QString( b->GetMetadataItem( "CENTRAL_WAVELENGTH_UM" ) ).toDouble();
        QVERIFY( wavelength > previous );
        previous = wavelength;
        QCOMPARE( b->GetScale(), 2.75e-05 );
        QCOMPARE( b->GetOffset(), -0.2 );
        int hasNoData = 0;
        QCOMPARE( b->GetNoDataValue( &hasNoData ), 0.0 );
        QVERIFY( hasNoData );
      }
      const int blue = expected.indexOf( "Blue" ) + 1;
      QVERIFY( QString( vrt->GetRasterBand( blue )->GetMetadataItem( "SOURCE_FILE" ) ).endsWith( blueFile + ".TIF" ) );
      // The first band file holds 7000 + 100 + (x + y) % 50: the blue band of TM is that file.
      QCOMPARE( readBand( scene.reflectanceLayer, blue ).at( 1 ), mission >= 8 ? 7201.0 : 7101.0 );

      const auto thermal = openRaster( scene.thermalLayer );
      QVERIFY( thermal );
      QVERIFY(
          QString( thermal->GetRasterBand( 1 )->GetMetadataItem( "SOURCE_FILE" ) ).endsWith( thermalFile + ".TIF" ) );
      QCOMPARE( thermal->GetRasterBand( 1 )->GetScale(), 0.00341802 );
      QCOMPARE( thermal->GetRasterBand( 1 )->GetOffset(), 149.0 );

      // Fill, dilated cloud, cirrus, cloud, shadow, snow, clear, water, nothing, then cloud over clear.
      const QVector<double> classes = { 0, 1, 2, 3, 4, 5, 6, 7, 8, 3, 3, 3 };
      QCOMPARE( readBand( scene.maskLayer, 1 ).mid( 0, 12 ), classes );
    }

    void opensSentinel2_data()
    {
      QTest::addColumn<QString>( "baseline" );
      QTest::addColumn<QString>( "road" );
      QTest::addColumn<double>( "offset" );

      // clang-format off
      QTest::newRow( "before 04.00, no offset" ) << "02.14" << "mtd" << 0.0;
      QTest::newRow( "04.00 shifts by -1000" ) << "04.00" << "safe" << -0.1;
      QTest::newRow( "05.09 zip read in place" ) << "05.09" << "zip" << -0.1;
      // clang-format on
    }
    void opensSentinel2()
    {
      QFETCH( QString, baseline );
      QFETCH( QString, road );
      QFETCH( double, offset );

      const QString safe =
          absolute( QStringLiteral( "products/s2%1/S2A_MSIL2A_20230105T032131_N0509_R118_T48PWS_20230105T070000.SAFE" )
                        .arg( road ) );
      const Sentinel2Spec spec{ baseline };
      const QString mtd = writeSentinel2( safe, spec );
      QVERIFY( !mtd.isEmpty() );
      QString path = road == "mtd" ? mtd : safe;
      if ( road == "zip" )
      {
        path = safe.chopped( 5 ) + ".zip";
        QVERIFY( pack( safe, path ) );
        QDir( safe ).removeRecursively();
      }

      Scene scene;
      const ProcessingResult result = SceneReader::open( path, absolute( "scenes" ), scene );
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      QCOMPARE( scene.problems, QStringList() );
      QCOMPARE( scene.title, QStringLiteral( "Sentinel-2A MSI T48PWS 2023-01-05" ) );
      QCOMPARE( scene.baseline, baseline );
      QCOMPARE( scene.cloudCover, 3.5 );

      const auto vrt = openRaster( scene.reflectanceLayer );
      QVERIFY( vrt );
      QCOMPARE( descriptions( vrt.get() ), QStringList( { "Blue", "Green", "Red", "Red edge 1", "Red edge 2",
                                                          "Red edge 3", "NIR", "NIR narrow", "SWIR1", "SWIR2" } ) );
      QCOMPARE( QSize( vrt->GetRasterXSize(), vrt->GetRasterYSize() ), QSize( spec.width, spec.height ) );
      for ( int band = 1; band <= vrt->GetRasterCount(); ++band )
      {
        QCOMPARE( vrt->GetRasterBand( band )->GetScale(), 0.0001 );
        QCOMPARE( vrt->GetRasterBand( band )->GetOffset(), offset );
      }
      // A 20 m band on the 10 m grid: each of its pixels covers two columns and two rows.
      const QVector<double> redEdge = readBand( scene.reflectanceLayer, 4 );
      QCOMPARE( ( QList<double>{ redEdge.at( 2 ), redEdge.at( 3 ), redEdge.at( spec.width + 2 ) } ),
                ( QList<double>{ 7401, 7401, 7401 } ) );
      QCOMPARE( QString( vrt->GetMetadataItem( "PROCESSING_BASELINE" ) ), baseline );

      QCOMPARE( readBand( scene.maskLayer, 1 ).mid( 0, 4 ), QVector<double>( { 0, 1, 2, 3 } ) );
      QVERIFY( scene.thermalLayer.isEmpty() );
    }

    void namesWhatIsMissing_data()
    {
      QTest::addColumn<QString>( "damage" );
      QTest::addColumn<bool>( "opens" );
      QTest::addColumn<int>( "bands" );
      QTest::addColumn<QString>( "named" );
      // clang-format off
      QTest::newRow( "band file missing" ) << "missing SR_B4" << true << 6 << "SR_B4.TIF";
      QTest::newRow( "every band file missing" ) << "missing all" << false << 0 << "SR_B1.TIF";
      QTest::newRow( "level 1, no reflectance scaling" ) << "level 1" << true << 7 << "REFLECTANCE_MULT_BAND";
      QTest::newRow( "truncated tar" ) << "truncated" << true << -1 << "SR_B7.TIF";
      QTest::newRow( "zip without MTD_MSIL2A.xml" ) << "no mtd" << false << 0 << "MTD_MSIL2A.xml";
      QTest::newRow( "band file is a pipe" ) << "pipe SR_B4" << true << 6 << "SR_B4.TIF";
      QTest::newRow( "metadata file is a pipe" ) << "pipe MTL" << false << 0 << "MTL";
      // clang-format on
    }
    void namesWhatIsMissing()
    {
      QFETCH( QString, damage );
      QFETCH( bool, opens );
      QFETCH( int, bands );
      QFETCH( QString, named );

      const QString folder = absolute( QStringLiteral( "products/bad/" ) + QString( damage ).replace( ' ', '_' ) );
      QString path;
      if ( damage == "no mtd" )
      {
        const QString safe = folder + "/S2B_MSIL2A_20230105T032131_N0509_R118_T48PWS_20230105T070000.SAFE";
        QFile::remove( writeSentinel2( safe ) );
        path = folder + ".zip";
        QVERIFY( pack( safe, path ) );
      }
      else
      {
        LandsatSpec spec;
        spec.levelTwo = damage != "level 1";
        if ( damage == "missing SR_B4" )
          spec.missing = QStringList{ "SR_B4" };
        if ( damage == "missing all" )
          spec.missing = QStringList{ "SR_B1", "SR_B2", "SR_B3", "SR_B4", "SR_B5", "SR_B6", "SR_B7" };
        path = writeLandsat( folder, spec );
        // A pipe in place of a file never ends; reading it would hang the window.
        for ( const QString &file : QDir( folder ).entryList( { damage == "pipe MTL"     ? "*_MTL.txt"
                                                                : damage == "pipe SR_B4" ? "*SR_B4.TIF"
                                                                                         : "-" } ) )
          QVERIFY( QFile::remove( folder + '/' + file ) &&
                   mkfifo( ( folder + '/' + file ).toUtf8().constData(), 0600 ) == 0 );
        if ( damage == "pipe MTL" )
          path = folder;
        if ( damage == "truncated" )
        {
          path = folder + ".tar";
          QVERIFY( pack( folder, path ) );
          QFile::resize( path, QFileInfo( path ).size() / 2 );
        }
      }
      const auto before = folderContents( absolute( "products" ) );

      Scene scene;
      const ProcessingResult result = SceneReader::open( path, absolute( "scenes" ), scene );
      QCOMPARE( result.done(), opens );
      const QString said = result.reason + scene.problems.join( ';' );
      QVERIFY2( said.contains( named ), qPrintable( said ) );
      if ( bands >= 0 && opens )
        QCOMPARE( openRaster( scene.reflectanceLayer )->GetRasterCount(), bands );
      if ( damage == "level 1" )
        QCOMPARE( openRaster( scene.reflectanceLayer )->GetRasterBand( 1 )->GetScale(), 1.0 );
      QCOMPARE( folderContents( absolute( "products" ) ), before );
    }
};

RASTOVA_TEST( TestScenes )
#include "TestScenes.moc"
