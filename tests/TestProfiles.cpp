#include "Processing/AcquisitionDate.h"
#include "Processing/BandMath.h"
#include "Processing/IndexPreset.h"
#include "Processing/PixelValues.h"
#include "Processing/SceneReader.h"
#include "Processing/SpectralProfile.h"
#include "Processing/TemporalProfile.h"
#include "RasterFixtures.h"
#include "SceneFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <cmath>

namespace
{
using TestSupport::pixelCentre;
using TestSupport::RasterLayout;

QList<PixelValues::Layer> valuesAt( const QList<QgsRasterLayer *> &layers, const QgsPointXY &point )
{
  return PixelValues::at( layers, point, layers.first()->crs(), QgsProject::instance()->transformContext() );
}

const QStringList landsatNames{ "Coastal", "Blue", "Green", "Red", "NIR", "SWIR1", "SWIR2" };
// Sentinel-2's bands by wavelength only: the red edges lie inside the near infrared's range.
const QVector<double> sentinelWavelengths{ 0.49, 0.56, 0.665, 0.705, 0.74, 0.783, 0.842, 0.865, 1.61, 2.19 };
} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

  private slots:
    void datesAreFoundInNamesAndValues_data()
    {
      QTest::addColumn<QString>( "text" );
      QTest::addColumn<QDate>( "date" );
      QTest::newRow( "tiff tag" ) << "2021:03:15 10:20:30" << QDate( 2021, 3, 15 );
      QTest::newRow( "compact in a name" ) << "ndvi_20210315_utm" << QDate( 2021, 3, 15 );
      QTest::newRow( "landsat: acquired before processed" )
          << "LC08_L2SP_125052_20230101_20230110_02_T1" << QDate( 2023, 1, 1 );
      QTest::newRow( "sentinel-2" ) << "S2A_MSIL2A_20210315T033541_N0300_R060_T48PXS_20210315T071024"
                                    << QDate( 2021, 3, 15 );
      QTest::newRow( "year alone" ) << "lua_2019" << QDate( 2019, 1, 1 );
      QTest::newRow( "a day wins over an earlier year" ) << "2018_to_2020-05-01" << QDate( 2020, 5, 1 );
      QTest::newRow( "size, not a year" ) << "tile_4096" << QDate();
      QTest::newRow( "path and row" ) << "125052" << QDate();
      QTest::newRow( "month 13" ) << "20211345" << QDate();
      QTest::newRow( "part of a longer number" ) << "x120210315" << QDate();
      QTest::newRow( "nothing" ) << "Red" << QDate();
    }
    void datesAreFoundInNamesAndValues()
    {
      QFETCH( QString, text );
      QFETCH( QDate, date );
      QCOMPARE( AcquisitionDate::inText( text ), date );
    }

    void wavelengthsAreReadInNanometres_data()
    {
      QTest::addColumn<QString>( "key" );
      QTest::addColumn<QString>( "domain" );
      QTest::addColumn<QString>( "value" );
      QTest::addColumn<QString>( "units" );
      QTest::addColumn<double>( "nanometres" );
      QTest::newRow( "central, µm" ) << "CENTRAL_WAVELENGTH_UM" << "" << "0.865" << "" << 865.0;
      QTest::newRow( "central, imagery domain" ) << "CENTRAL_WAVELENGTH_UM" << "IMAGERY" << "1.61" << "" << 1610.0;
      QTest::newRow( "nanometers" ) << "WAVELENGTH" << "" << "842" << "Nanometers" << 842.0;
      QTest::newRow( "micrometers" ) << "WAVELENGTH" << "" << "2.19" << "Micrometers" << 2190.0;
      QTest::newRow( "envi, no units, µm" ) << "wavelength" << "" << "0.665" << "" << 665.0;
      QTest::newRow( "envi, no units, nm" ) << "wavelength" << "" << "665.0" << "" << 665.0;
      QTest::newRow( "unit in the value" ) << "WAVELENGTH" << "" << "705 nm" << "" << 705.0;
      QTest::newRow( "garbage" ) << "WAVELENGTH" << "" << "n/a" << "" << 0.0;
      QTest::newRow( "negative" ) << "CENTRAL_WAVELENGTH_UM" << "" << "-1" << "" << 0.0;
      QTest::newRow( "none" ) << "OTHER" << "" << "0.5" << "" << 0.0;
    }
    void wavelengthsAreReadInNanometres()
    {
      QFETCH( QString, key );
      QFETCH( QString, domain );
      QFETCH( QString, value );
      QFETCH( QString, units );
      QFETCH( double, nanometres );
      GDALDatasetUniquePtr dataset(
          GetGDALDriverManager()->GetDriverByName( "MEM" )->Create( "", 1, 1, 1, GDT_Byte, nullptr ) );
      GDALRasterBand *band = dataset->GetRasterBand( 1 );
      const QByteArray domainName = domain.toUtf8();
      band->SetMetadataItem( key.toUtf8(), value.toUtf8(), domain.isEmpty() ? nullptr : domainName.constData() );
      if ( !units.isEmpty() )
        band->SetMetadataItem( key == "wavelength" ? "wavelength_units" : "WAVELENGTH_UNITS", units.toUtf8() );
      QCOMPARE( SpectralMetadata::wavelengthNanometres( GDALRasterBand::ToHandle( band ) ), nanometres );
    }

    void profileHoldsThePhysicalValuesAtThePixel_data()
    {
      QTest::addColumn<QString>( "type" );
      QTest::addColumn<double>( "scale" );
      QTest::addColumn<double>( "offset" );
      QTest::addColumn<bool>( "wavelengths" );
      QTest::newRow( "landsat reflectance" ) << "UInt16" << 2.75e-05 << -0.2 << true;
      QTest::newRow( "digital numbers" ) << "Int16" << 1.0 << 0.0 << false;
      QTest::newRow( "float" ) << "Float32" << 1.0 << 0.0 << true;
    }
    void profileHoldsThePhysicalValuesAtThePixel()
    {
      QFETCH( QString, type );
      QFETCH( double, scale );
      QFETCH( double, offset );
      QFETCH( bool, wavelengths );
      RasterLayout layout;
      layout.bands = 4;
      layout.type = GDALGetDataTypeByName( type.toUtf8() );
      layout.bandScale = scale;
      layout.bandOffset = offset;
      if ( wavelengths )
        layout.wavelengths = { 0.482, 0.561, 0.655, 0.865 };
      const QString path = TestSupport::writeRaster( TestSupport::absolute( QTest::currentDataTag() ) + ".tif", layout );
      QgsRasterLayer layer( path, "scene", "gdal" );
      QgsRasterLayer grey( TestSupport::writeRaster( TestSupport::absolute( "grey.tif" ), { 20, 10, 1 } ), "grey",
                           "gdal" );

      const QList<PixelValues::Layer> values = valuesAt( { &layer, &grey }, pixelCentre( layout, 7, 3 ) );
      // A reflectance of 0.08 must not read as the integer 0.
      QCOMPARE( values[0].bands[0].isInteger, type != "Float32" && scale == 1 );
      const QList<SpectralProfile> profiles = SpectralProfile::of( values, pixelCentre( layout, 7, 3 ), 1 );
      QCOMPARE( profiles.size(), 1 ); // a single band has no spectrum
      QCOMPARE( profiles[0].name, "scene (500225.0, 8999895.0)" );
      QCOMPARE( profiles[0].hasWavelengths(), wavelengths );
      QCOMPARE( profiles[0].points.size(), 4 );
      const std::unique_ptr<GDALDataset> gdal = TestSupport::openRaster( path );
      for ( const SpectralProfile::Point &point : profiles[0].points )
      {
        double stored = 0;
        QCOMPARE( gdal->GetRasterBand( point.band )->RasterIO( GF_Read, 7, 3, 1, 1, &stored, 1, 1, GDT_Float64, 0, 0 ),
                  CE_None );
        QCOMPARE( point.value, stored * scale + offset );
        QCOMPARE( point.wavelength, wavelengths ? layout.wavelengths[point.band - 1] * 1000 : 0.0 );
      }
    }

    void csvHasARowPerBandAndAColumnPerProfile()
    {
      SpectralProfile scene{ "scene (1, 2)", { { 1, 482, 0.25 }, { 2, 561, std::nan( "" ) }, { 3, 655, 0.1f } } };
      SpectralProfile stack{ "a \"b\"", { { 1, 0, 1200 }, { 2, 0, -3 }, { 4, 0, 1e20 } } };
      QCOMPARE( SpectralProfile::csv( { scene, stack } ), "band,wavelength_nm,\"scene (1, 2)\",\"a \"\"b\"\"\"\n"
                                                          "1,482,0.25,1200\n"
                                                          "2,561,,-3\n"
                                                          "3,655,0.1,\n"
                                                          "4,,,1e+20\n" );

      const QString file = TestSupport::absolute( "profiles.csv" );
      TestSupport::writeBytes( file, "earlier" );
      QVERIFY( SpectralProfile::writeCsv( { scene }, file ).done() );
      QFile written( file );
      QVERIFY( written.open( QIODevice::ReadOnly ) );
      QCOMPARE( QString::fromUtf8( written.readAll() ), SpectralProfile::csv( { scene } ) );

      const QString unwritable = TestSupport::absolute( "missing/profiles.csv" );
      QCOMPARE( SpectralProfile::writeCsv( { scene }, unwritable ).status, ProcessingResult::Status::WriteFailed );
      QVERIFY( !QFileInfo::exists( QFileInfo( unwritable ).path() ) );
    }

    void datedImagesAreOrderedInTime()
    {
      // Dated by metadata, by the file name and by the folder, written in none of these orders.
      RasterLayout byMetadata{ 20, 10, 2 };
      byMetadata.metadata = { { "ACQUISITION_DATE", "2020-07-01" } };
      RasterLayout byName{ 20, 10, 2 };
      byName.offset = 10;
      RasterLayout byFolder{ 20, 10, 3 };
      byFolder.offset = 20;
      RasterLayout undated{ 20, 10, 2 };
      QDir().mkpath( TestSupport::absolute( "2019" ) );
      QgsRasterLayer metadataLayer( TestSupport::writeRaster( TestSupport::absolute( "july.tif" ), byMetadata ), "july" );
      QgsRasterLayer nameLayer( TestSupport::writeRaster( TestSupport::absolute( "x_20210315.tif" ), byName ), "2021" );
      QgsRasterLayer folderLayer( TestSupport::writeRaster( TestSupport::absolute( "2019/b.tif" ), byFolder ), "2019" );
      QgsRasterLayer undatedLayer( TestSupport::writeRaster( TestSupport::absolute( "undated.tif" ), undated ), "u" );
      // A stack of dates, band by band, out of order.
      RasterLayout stack{ 20, 10, 3 };
      stack.descriptions = QStringList{ "2021-05-01", "2020-05-01", "2022-05-01" };
      QgsRasterLayer stackLayer( TestSupport::writeRaster( TestSupport::absolute( "stack.tif" ), stack ), "stack" );

      const QList<PixelValues::Layer> values =
          valuesAt( { &nameLayer, &metadataLayer, &undatedLayer, &folderLayer, &stackLayer }, pixelCentre( stack, 2, 1 ) );
      QCOMPARE( TemporalProfile::bandCount( values ), 3 );
      const QList<TemporalProfile> profiles = TemporalProfile::of( values, 2 );
      QCOMPARE( profiles.size(), 2 );
      const double band2 = TestSupport::valueAt( 2, 2, 1 );
      const QVector<QDate> imageDates{ QDate( 2019, 1, 1 ), QDate( 2020, 7, 1 ), QDate( 2021, 3, 15 ) };
      const QVector<double> imageValues{ band2 + 20, band2, band2 + 10 };
      QCOMPARE( profiles[0].points.size(), 3 );
      for ( int i = 0; i < 3; ++i )
      {
        QCOMPARE( profiles[0].points[i].date, imageDates[i] );
        QCOMPARE( profiles[0].points[i].value, imageValues[i] );
      }
      QCOMPARE( profiles[1].name, "stack" );
      const QVector<QDate> stackDates{ QDate( 2020, 5, 1 ), QDate( 2021, 5, 1 ), QDate( 2022, 5, 1 ) };
      const QVector<int> stackBands{ 2, 1, 3 };
      for ( int i = 0; i < 3; ++i )
      {
        QCOMPARE( profiles[1].points[i].date, stackDates[i] );
        QCOMPARE( profiles[1].points[i].value, TestSupport::valueAt( stackBands[i], 2, 1 ) );
      }
      // One dated image is no history.
      QVERIFY( TemporalProfile::of( valuesAt( { &nameLayer, &undatedLayer }, pixelCentre( stack, 2, 1 ) ), 1 ).isEmpty() );
    }

    void rolesAreFoundByDescriptionThenWavelength_data()
    {
      QTest::addColumn<QStringList>( "descriptions" );
      QTest::addColumn<QVector<double>>( "wavelengths" ); // µm
      QTest::addColumn<int>( "role" );
      QTest::addColumn<int>( "band" );
      const QStringList sentinel{ "Blue", "Green", "Red", "Red edge 1", "Red edge 2", "Red edge 3", "NIR", "NIR narrow" };
      const int red = int( IndexPreset::Role::Red ), nir = int( IndexPreset::Role::Nir );
      const int swir1 = int( IndexPreset::Role::Swir1 ), swir2 = int( IndexPreset::Role::Swir2 );
      QTest::newRow( "red, not red edge" ) << sentinel << QVector<double>() << red << 3;
      QTest::newRow( "nir before nir narrow" ) << sentinel << QVector<double>() << nir << 7;
      QTest::newRow( "long names" ) << QStringList{ "Band 1 (Near infrared)", "Shortwave infrared 1" }
                                    << QVector<double>() << swir1 << 2;
      QTest::newRow( "spaced swir" ) << QStringList{ "SWIR 2", "SWIR 1" } << QVector<double>() << swir2 << 1;
      QTest::newRow( "description over wavelength" ) << QStringList{ "", "NIR" } << QVector<double>{ 0.842, 0.56 }
                                                     << nir << 2;
      QTest::newRow( "nir nearest the middle" ) << QStringList() << sentinelWavelengths << nir << 7;
      QTest::newRow( "swir2 by wavelength" ) << QStringList() << sentinelWavelengths << swir2 << 10;
      QTest::newRow( "no nir in rgb" ) << QStringList{ "Red", "Green", "Blue" } << QVector<double>{ 0.66, 0.56, 0.48 }
                                       << nir << 0;
      QTest::newRow( "nothing known" ) << QStringList{ "", "" } << QVector<double>() << red << 0;
    }
    void rolesAreFoundByDescriptionThenWavelength()
    {
      QFETCH( QStringList, descriptions );
      QFETCH( QVector<double>, wavelengths );
      QFETCH( int, role );
      QFETCH( int, band );
      QVector<SpectralMetadata::Band> bands( std::max( descriptions.size(), wavelengths.size() ) );
      for ( int i = 0; i < bands.size(); ++i )
      {
        bands[i].description = descriptions.value( i );
        bands[i].wavelength = wavelengths.value( i ) * 1000;
      }
      QCOMPARE( IndexPreset::bandFor( IndexPreset::Role( role ), bands ), band );
    }

    void presetsWriteTheirIndexOverTheScenesBands_data()
    {
      QTest::addColumn<QString>( "preset" );
      QTest::addColumn<QString>( "described" ); // over a Landsat scene's described bands
      QTest::addColumn<QString>( "measured" );  // over Sentinel-2's wavelengths alone
      QTest::newRow( "NDVI" ) << "NDVI" << "( \"s@5\" - \"s@4\" ) / ( \"s@5\" + \"s@4\" )"
                              << "( \"s@7\" - \"s@3\" ) / ( \"s@7\" + \"s@3\" )";
      QTest::newRow( "NDWI" ) << "NDWI" << "( \"s@3\" - \"s@5\" ) / ( \"s@3\" + \"s@5\" )"
                              << "( \"s@2\" - \"s@7\" ) / ( \"s@2\" + \"s@7\" )";
      QTest::newRow( "MNDWI" ) << "MNDWI" << "( \"s@3\" - \"s@6\" ) / ( \"s@3\" + \"s@6\" )"
                               << "( \"s@2\" - \"s@9\" ) / ( \"s@2\" + \"s@9\" )";
      QTest::newRow( "NDBI" ) << "NDBI" << "( \"s@6\" - \"s@5\" ) / ( \"s@6\" + \"s@5\" )"
                              << "( \"s@9\" - \"s@7\" ) / ( \"s@9\" + \"s@7\" )";
      QTest::newRow( "SAVI" ) << "SAVI" << "1.5 * ( \"s@5\" - \"s@4\" ) / ( \"s@5\" + \"s@4\" + 0.5 )"
                              << "1.5 * ( \"s@7\" - \"s@3\" ) / ( \"s@7\" + \"s@3\" + 0.5 )";
      QTest::newRow( "EVI" ) << "EVI"
                             << "2.5 * ( \"s@5\" - \"s@4\" ) / ( \"s@5\" + 6 * \"s@4\" - 7.5 * \"s@2\" + 1 )"
                             << "2.5 * ( \"s@7\" - \"s@3\" ) / ( \"s@7\" + 6 * \"s@3\" - 7.5 * \"s@1\" + 1 )";
      QTest::newRow( "NBR" ) << "NBR" << "( \"s@5\" - \"s@7\" ) / ( \"s@5\" + \"s@7\" )"
                             << "( \"s@7\" - \"s@10\" ) / ( \"s@7\" + \"s@10\" )";
    }
    void presetsWriteTheirIndexOverTheScenesBands()
    {
      QFETCH( QString, preset );
      QFETCH( QString, described );
      QFETCH( QString, measured );
      const IndexPreset *index = IndexPreset::named( preset );
      QVERIFY( index );
      // The scene reader's own layer for the described bands; a plain file with wavelengths for the other.
      Scene scene;
      QVERIFY( SceneReader::open( TestSupport::writeLandsat( TestSupport::absolute( "landsat" ) ),
                                     TestSupport::absolute( "scenes" ), scene ).done() );
      RasterLayout sentinel{ 20, 10, 10 };
      sentinel.wavelengths = sentinelWavelengths;
      const QString sentinelFile = TestSupport::writeRaster( TestSupport::absolute( "sentinel.tif" ), sentinel );
      for ( const auto &[file, expected] : { std::make_pair( scene.reflectanceLayer, described ),
                                             std::make_pair( sentinelFile, measured ) } )
      {
        const QVector<SpectralMetadata::Band> bands = SpectralMetadata::read( file ).bands;
        QMap<IndexPreset::Role, int> chosen;
        for ( IndexPreset::Role role : index->roles() )
          chosen.insert( role, IndexPreset::bandFor( role, bands ) );
        const QString expression = index->expression( "s", chosen );
        QCOMPARE( expression, expected );
        QVERIFY( BandMath::isValidExpression( expression ) );
      }
    }
};

RASTOVA_TEST( TestProfiles )
#include "TestProfiles.moc"
