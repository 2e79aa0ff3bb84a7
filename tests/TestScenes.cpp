#include "Processing/SceneReader.h"
#include "RasterFixtures.h"
#include "SceneFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <sys/stat.h>

using namespace TestSupport;

class TestScenes : public QObject
{
    Q_OBJECT

  private slots:
    void opensProducts_data()
    {
      QTest::addColumn<QString>( "product" ); // a Landsat mission or a Sentinel-2 processing baseline
      QTest::addColumn<QString>( "road" );
      QTest::addColumn<QString>( "title" );
      QTest::addColumn<double>( "offset" );
      const QString s2 = "Sentinel-2A MSI T48PWS 2023-01-05";
      // clang-format off
      QTest::newRow( "Landsat 8 MTL" ) << "8" << "mtl" << "Landsat 8 OLI_TIRS 125/052 2023-01-05" << -0.2;
      QTest::newRow( "Landsat 9 XML MTL in a folder" ) << "9" << "folder" << "Landsat 9 OLI_TIRS 125/052 2023-01-05" << -0.2;
      QTest::newRow( "Landsat 7 ETM+ numbering" ) << "7" << "mtl" << "Landsat 7 TM 125/052 2023-01-05" << -0.2;
      QTest::newRow( "Landsat 5 TM in a tar" ) << "5" << "tar" << "Landsat 5 TM 125/052 2023-01-05" << -0.2;
      QTest::newRow( "Sentinel-2 before 04.00, no offset" ) << "02.14" << "mtd" << s2 << 0.0;
      QTest::newRow( "Sentinel-2 04.00 shifts by -1000" ) << "04.00" << "safe" << s2 << -0.1;
      QTest::newRow( "Sentinel-2 05.09 zip read in place" ) << "05.09" << "zip" << s2 << -0.1;
      // clang-format on
    }
    void opensProducts()
    {
      QFETCH( QString, product );
      QFETCH( QString, road );
      QFETCH( QString, title );
      QFETCH( double, offset );
      const bool landsat = !product.contains( '.' );
      const int mission = landsat ? product.toInt() : 0;
      QString root = absolute( QStringLiteral( "products/%1%2" ).arg( product, road ) ), path;
      if ( landsat )
        path = writeLandsat( root, LandsatLayout{ mission, 12, 6, true, road == "folder", {} } );
      else
      {
        root += "/S2A_MSIL2A_20230105T032131_N0509_R118_T48PWS_20230105T070000.SAFE";
        path = writeSentinel2( root, Sentinel2Layout{ product } );
      }
      if ( road == "folder" || road == "safe" )
        path = root;
      if ( road == "tar" || road == "zip" )
      {
        path = ( landsat ? root : root.chopped( 5 ) ) + '.' + road;
        QVERIFY( pack( root, path ) );
        QDir( root ).removeRecursively();
      }
      const auto before = folderContents( absolute( "products" ) );

      Scene scene;
      const ProcessingResult result = SceneReader::open( path, absolute( "scenes" ), scene );
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      QCOMPARE( scene.problems, QStringList() );
      QCOMPARE( scene.title, title );
      QCOMPARE( scene.cloudCover, landsat ? 12.34 : 3.5 );
      QCOMPARE( folderContents( absolute( "products" ) ), before );

      const auto vrt = openRaster( scene.reflectanceLayer );
      QVERIFY( vrt );
      QStringList expected = { "Blue", "Green", "Red", "NIR", "SWIR1", "SWIR2" }, names;
      if ( mission >= 8 )
        expected.prepend( "Coastal" );
      if ( !landsat )
        expected = QStringList{ "Blue",       "Green", "Red",        "Red edge 1", "Red edge 2",
                                "Red edge 3", "NIR",   "NIR narrow", "SWIR1",      "SWIR2" };
      double previous = 0;
      for ( int band = 1; band <= vrt->GetRasterCount(); ++band )
      {
        GDALRasterBand *b = vrt->GetRasterBand( band );
        names << QString::fromUtf8( b->GetDescription() );
        QCOMPARE( ( QList<double>{ b->GetScale(), b->GetOffset() } ),
                  ( QList<double>{ landsat ? 2.75e-05 : 0.0001, offset } ) );
        if ( !landsat )
          continue;
        const double wavelength = QString( b->GetMetadataItem( "CENTRAL_WAVELENGTH_UM" ) ).toDouble();
        QVERIFY( wavelength > previous );
        previous = wavelength;
        int hasNoData = 0;
        QCOMPARE( b->GetNoDataValue( &hasNoData ), 0.0 );
        QVERIFY( hasNoData );
      }
      QCOMPARE( names, expected );
      // Band file n holds 7000 + 100 n + (x + y) % 50: the blue band of TM and Sentinel-2 is the first file.
      QCOMPARE( readBand( scene.reflectanceLayer, expected.indexOf( "Blue" ) + 1 ).at( 1 ),
                mission >= 8 ? 7201.0 : 7101.0 );

      if ( landsat )
      {
        const QString blueFile = mission >= 8 ? "SR_B2.TIF" : "SR_B1.TIF",
                      thermalFile = mission >= 8 ? "ST_B10.TIF" : "ST_B6.TIF";
        QVERIFY( QString( vrt->GetRasterBand( expected.indexOf( "Blue" ) + 1 )->GetMetadataItem( "SOURCE_FILE" ) )
                     .endsWith( blueFile ) );
        QCOMPARE( scene.acquired, QDateTime( QDate( 2023, 1, 5 ), QTime( 3, 20, 31, 123 ), Qt::UTC ) );
        const auto thermal = openRaster( scene.thermalLayer );
        QVERIFY( thermal );
        QVERIFY( QString( thermal->GetRasterBand( 1 )->GetMetadataItem( "SOURCE_FILE" ) ).endsWith( thermalFile ) );
        QCOMPARE(
            ( QList<double>{ thermal->GetRasterBand( 1 )->GetScale(), thermal->GetRasterBand( 1 )->GetOffset() } ),
            ( QList<double>{ 0.00341802, 149.0 } ) );
        // Fill, dilated cloud, cirrus, cloud, shadow, snow, clear, water, nothing, then cloud over clear.
        QCOMPARE( readBand( scene.maskLayer, 1 ).mid( 0, 12 ),
                  QVector<double>( { 0, 1, 2, 3, 4, 5, 6, 7, 8, 3, 3, 3 } ) );
        return;
      }
      QCOMPARE( scene.baseline, product );
      QCOMPARE( QString( vrt->GetMetadataItem( "PROCESSING_BASELINE" ) ), product );
      QCOMPARE( QSize( vrt->GetRasterXSize(), vrt->GetRasterYSize() ), QSize( 8, 6 ) );
      // A 20 m band on the 10 m grid: each of its pixels covers two columns and two rows.
      const QVector<double> redEdge = readBand( scene.reflectanceLayer, 4 );
      QCOMPARE( ( QList<double>{ redEdge.at( 2 ), redEdge.at( 3 ), redEdge.at( 8 + 2 ) } ),
                ( QList<double>{ 7401, 7401, 7401 } ) );
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
        LandsatLayout layout;
        layout.levelTwo = damage != "level 1";
        if ( damage == "missing SR_B4" )
          layout.missing = QStringList{ "SR_B4" };
        if ( damage == "missing all" )
          layout.missing = QStringList{ "SR_B1", "SR_B2", "SR_B3", "SR_B4", "SR_B5", "SR_B6", "SR_B7" };
        path = writeLandsat( folder, layout );
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
