#include "Core/Utils.h"
#include "Processing/BandMath.h"
#include "Processing/OutputName.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTextEdit>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <QElapsedTimer>

#include <cfloat>
#include <cmath>
#include <memory>

namespace
{
using TestSupport::absolute;
using TestSupport::addRasterLayer;

//! The fixtures the engine is compared on, by layer name; all but "wgs84" lie on the UTM grid of "a" or inside it.
TestSupport::RasterSpec fixture( const QString &name )
{
  using Spec = TestSupport::RasterSpec;
  const double demNoData = TestSupport::valueAt( 1, 3, 2 ), nNoData = TestSupport::valueAt( 1, 2, 0 );
  const QMap<QString, Spec> fixtures = {
      { "a", Spec{ 40, 30, 3, GDT_UInt16, 32748, 500000, 9000000, 30, false, 0 } },
      { "b", Spec{ 40, 30, 2, GDT_Float32, 32748, 500000, 9000000, 30, false, 0 } },
      { "n", Spec{ 40, 30, 1, GDT_UInt16, 32748, 500000, 9000000, 30, true, nNoData } },
      // coarser and shifted, ending inside "a" on every side
      { "dem", Spec{ 11, 8, 1, GDT_Int16, 32748, 500100, 8999900, 90, false, 0 } },
      { "demNoData", Spec{ 11, 8, 1, GDT_Int16, 32748, 500100, 8999900, 90, true, demNoData } },
      // on the grid of "a", ending inside it on every side
      { "inner", Spec{ 20, 15, 1, GDT_UInt16, 32748, 500090, 8999910, 30, false, 0 } },
      { "scene", Spec{ 100, 80, 2, GDT_Float32, 32748, 500000, 9000000, 30, false, 0 } },
      { "wgs84", Spec{ 200, 160, 1, GDT_Int16, 4326, 104.99, -9.0, 0.0005, false, 0 } },
  };
  return fixtures.value( name );
}

//! What the engine computes for \a expression over the first layer's grid, written to \a output.
QgsRasterCalculator::Result runEngine( const QString &expression, const QString &output, const QgsRasterLayer *grid )
{
  BandMath::Request request;
  request.expression = expression;
  request.outputFile = output;
  request.driver = QStringLiteral( "GTiff" );
  request.extent = grid->extent();
  request.columns = grid->width();
  request.rows = grid->height();
  return BandMath::prepareAndRun( request );
}

bool sameFloat( double a, double b )
{
  return a == b || ( std::isnan( a ) && std::isnan( b ) );
}
} // namespace

class TestBandMath : public TestSupport::WindowTest
{
    Q_OBJECT

  private:
    BandMathDialog *mDialog = nullptr;

    template <typename T> T *find( const char *name ) { return mDialog->findChild<T *>( name ); }

    void showDialog()
    {
      mDialog = TestSupport::showTool<BandMathDialog>( "Tính toán kênh ảnh" );
      QVERIFY( mDialog );
    }

    void doubleClickBand( const QString &reference )
    {
      const QList<QListWidgetItem *> items =
          find<QListWidget>( "rasterBandListWidget" )->findItems( reference, Qt::MatchExactly );
      QCOMPARE( items.size(), 1 );
      mDialog->rasterBandsListWidgetItemDoubleClicked( items.first() );
    }

    void setOutput( const QString &path ) { find<QWidget>( "fileWidget" )->findChild<QLineEdit *>()->setText( path ); }

    QString applyAndReadNotice() { return TestSupport::applyAndWait( mDialog ); }

    //! Starts a run slow enough to be interrupted: every row is resampled onto a grid ten times as fine.
    void startSlowRun( const QString &output )
    {
      TestSupport::RasterSpec spec;
      spec.width = 600;
      spec.height = 600;
      spec.bands = 1;
      addRasterLayer( "slow", spec );
      showDialog();
      find<QSpinBox>( "columnsSpinBox" )->setValue( 6000 );
      find<QSpinBox>( "rowsSpinBox" )->setValue( 6000 );
      setOutput( output );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( "\"slow@1\" * 2" );
      find<QPushButton>( "applyButton" )->click();
      QVERIFY( find<QPushButton>( "stopButton" )->isVisible() );
      QVERIFY( !find<QPushButton>( "applyButton" )->isEnabled() );
      QTRY_VERIFY( find<QProgressBar>( "progressBar" )->value() > 0 );
    }

    //! Folder entries a run left behind besides \a expected.
    static QStringList leftovers( const QString &folder, const QStringList &expected )
    {
      QStringList names =
          QDir( folder ).entryList( QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name );
      for ( const QString &name : expected )
        names.removeAll( name );
      return names;
    }

  private slots:
    void outputFileNames_data()
    {
      QTest::addColumn<QString>( "path" );
      QTest::addColumn<QString>( "extension" );
      QTest::addColumn<QString>( "expected" );
      // clang-format off
      QTest::newRow( "no suffix gets the driver's" ) << "/d/ndvi" << "tif" << "/d/ndvi.tif";
      QTest::newRow( "another suffix stays" ) << "/d/ndvi.img" << "tif" << "/d/ndvi.img";
      QTest::newRow( "driver without extension" ) << "/d/ndvi" << "" << "/d/ndvi";
      QTest::newRow( "dotted folder, bare name" ) << "/d/v1.2/ndvi" << "tif" << "/d/v1.2/ndvi.tif";
      // clang-format on
    }
    void outputFileNames()
    {
      QFETCH( QString, path );
      QFETCH( QString, extension );
      QFETCH( QString, expected );
      QCOMPARE( OutputName::withExtension( path, extension ), expected );
    }

    void formatsOfferCreatableDriversWithGeoTiffFirstChosen()
    {
      showDialog();
      auto *formats = find<QComboBox>( "formatComboBox" );
      QCOMPARE( formats->currentText(), QStringLiteral( "GeoTIFF" ) );
      QCOMPARE( formats->currentData().toString(), QStringLiteral( "GTiff" ) );
      QCOMPARE( formats->findData( "MEM" ), -1 );
      QVERIFY( formats->findData( "HFA" ) >= 0 );
      QCOMPARE( formats->findData( "PNG" ), -1 ); // can only copy, not create

      Utils::writeSetting( Utils::Keys::bandMathFormat, "Erdas Imagine Images (.img)" );
      BandMathDialog remembering( mWindow.get() );
      QCOMPARE( remembering.findChild<QComboBox *>( "formatComboBox" )->currentData().toString(),
                QStringLiteral( "HFA" ) );
    }

    void operatorsAndBandsGoInAtTheCursor()
    {
      QgsRasterLayer *dem = addRasterLayer( "dem" );
      addRasterLayer( "say \"hi\"" );
      showDialog();
      auto *edit = find<QTextEdit>( "expressionTextEdit" );
      doubleClickBand( "dem@1" );
      QCOMPARE( edit->toPlainText(), QStringLiteral( "\"dem@1\"" ) );
      find<QPushButton>( "absButton" )->click();
      QCOMPARE( edit->toPlainText(), QStringLiteral( "\"dem@1\" abs( " ) );

      QTextCursor cursor = edit->textCursor();
      cursor.setPosition( 1 );
      cursor.setPosition( 4, QTextCursor::KeepAnchor ); // "dem"
      edit->setTextCursor( cursor );
      find<QPushButton>( "plusButton" )->click();
      QCOMPARE( edit->toPlainText(), QStringLiteral( "\" + @1\" abs( " ) );

      cursor.setPosition( 0 );
      edit->setTextCursor( cursor );
      find<QPushButton>( "logButton" )->click();
      QVERIFY( edit->toPlainText().startsWith( " log10( \"" ) );

      find<QPushButton>( "clearButton" )->click();
      doubleClickBand( "say \"hi\"@1" );
      QCOMPARE( edit->toPlainText(), QStringLiteral( "\"say \\\"hi\\\"@1\"" ) );

      QStringList labels;
      for ( QPushButton *button : find<QWidget>( "groupBox" )->findChildren<QPushButton *>() )
      {
        edit->clear();
        button->click();
        labels << edit->toPlainText();
      }
      // Every operator button inserts an operator of its own.
      QCOMPARE( labels.size(), 27 );
      QCOMPARE( QSet<QString>( labels.cbegin(), labels.cend() ).size(), 27 );
      QVERIFY( !labels.contains( QString() ) && !labels.contains( QStringLiteral( "  " ) ) );
      QCOMPARE( dem->bandCount(), 3 );
    }

    void checkTellsWhetherTheExpressionParses()
    {
      addRasterLayer( "a" );
      showDialog();
      auto *edit = find<QTextEdit>( "expressionTextEdit" );
      edit->setPlainText( "\"a@1\" * 2 + sqrt( \"a@2\" )" );
      find<QPushButton>( "checkButton" )->click();
      QCOMPARE( TestSupport::noticeText( mDialog ), QStringLiteral( "Biểu thức hợp lệ" ) );
      edit->setPlainText( "\"a@1\" * * (" );
      find<QPushButton>( "checkButton" )->click();
      QCOMPARE( TestSupport::noticeText( mDialog ), QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) );
      find<QPushButton>( "clearButton" )->click();
      QVERIFY( edit->toPlainText().isEmpty() );
      QCOMPARE( TestSupport::noticeText( mDialog ), QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) );
    }

    void extentFollowsTheFirstImageUntilAskedOtherwise()
    {
      TestSupport::RasterSpec big;
      big.width = 1000;
      big.height = 800;
      big.epsg = 3857;
      big.originX = -8240000.123456;
      big.originY = -3500000.5;
      addRasterLayer( "first", big );
      showDialog();
      QCOMPARE( find<QSpinBox>( "columnsSpinBox" )->value(), 1000 );
      QCOMPARE( find<QSpinBox>( "rowsSpinBox" )->value(), 800 );
      QCOMPARE( find<QDoubleSpinBox>( "xminDoubleSpinBox" )->value(), -8240000.123456 );
      QCOMPARE( find<QDoubleSpinBox>( "ymaxDoubleSpinBox" )->value(), -3500000.5 );
      QCOMPARE( find<QDoubleSpinBox>( "yminDoubleSpinBox" )->value(), -3500000.5 - 800 * 30 );
      mDialog->close();

      addRasterLayer( "second" );
      showDialog();
      QCOMPARE( find<QSpinBox>( "columnsSpinBox" )->value(), 1000 );
      find<QPushButton>( "currentLayerExtentButton" )->click(); // nothing selected
      QCOMPARE( find<QSpinBox>( "columnsSpinBox" )->value(), 1000 );
      auto *bands = find<QListWidget>( "rasterBandListWidget" );
      bands->setCurrentItem( bands->findItems( "second@2", Qt::MatchExactly ).first() );
      find<QPushButton>( "currentLayerExtentButton" )->click();
      QCOMPARE( find<QSpinBox>( "columnsSpinBox" )->value(), 20 );
      QCOMPARE( find<QDoubleSpinBox>( "xmaxDoubleSpinBox" )->value(), 500600.0 );
      QCOMPARE( bands->count(), 6 );
      QCOMPARE( bands->item( 3 )->toolTip(), absolute( "second.tif" ) );
    }

    void ndviIsWrittenOverTheLayersExtent_data()
    {
      QTest::addColumn<int>( "epsg" );
      QTest::addColumn<double>( "originX" );
      QTest::addColumn<double>( "originY" );
      QTest::addColumn<double>( "pixelSize" );
      QTest::addColumn<double>( "typedXmin" );
      QTest::newRow( "UTM 48 south" ) << 32748 << 699000.0 << 9050000.0 << 30.0 << qQNaN();
      QTest::newRow( "Web Mercator, south-west" ) << 3857 << -8240000.0 << -3500000.0 << 30.0 << qQNaN();
      QTest::newRow( "degrees, south-west, exact grid" )
          << 4326 << -34.9165889615 << -8.0123456789 << 0.000271234567 << qQNaN();
      QTest::newRow( "degrees, xmin typed" ) << 4326 << -34.9165889615 << -8.0123456789 << 0.000271234567 << -34.9166;
    }
    void ndviIsWrittenOverTheLayersExtent()
    {
      QFETCH( int, epsg );
      QFETCH( double, originX );
      QFETCH( double, originY );
      QFETCH( double, pixelSize );
      QFETCH( double, typedXmin );
      TestSupport::RasterSpec spec;
      spec.bands = 4;
      spec.width = 37;
      spec.height = 23;
      spec.epsg = epsg;
      spec.originX = originX;
      spec.originY = originY;
      spec.pixelSize = pixelSize;
      spec.type = GDT_Int16;
      addRasterLayer( "img", spec );
      showDialog();

      for ( const char *button : { "openBracketButton" } )
        find<QPushButton>( button )->click();
      doubleClickBand( "img@4" );
      find<QPushButton>( "minusButton" )->click();
      doubleClickBand( "img@3" );
      find<QPushButton>( "closeBracketButton" )->click();
      find<QPushButton>( "divideButton" )->click();
      find<QPushButton>( "openBracketButton" )->click();
      doubleClickBand( "img@4" );
      find<QPushButton>( "plusButton" )->click();
      doubleClickBand( "img@3" );
      find<QPushButton>( "closeBracketButton" )->click();
      QCOMPARE( find<QTextEdit>( "expressionTextEdit" )->toPlainText().simplified(),
                QStringLiteral( "( \"img@4\" - \"img@3\" ) / ( \"img@4\" + \"img@3\" )" ) );

      if ( !std::isnan( typedXmin ) )
        find<QDoubleSpinBox>( "xminDoubleSpinBox" )->setValue( typedXmin );
      QDir().mkpath( "results" );
      setOutput( absolute( "results/ndvi" ) );
      find<QCheckBox>( "autoOpenCheckBox" )->setChecked( true );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndReadNotice(), QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ) );
      const QString written = absolute( "results/ndvi.tif" );
      QCOMPARE( complete.count(), 1 );
      QCOMPARE( complete.at( 0 ).at( 0 ).toString(), written );

      std::unique_ptr<GDALDataset> out = TestSupport::openRaster( written );
      QVERIFY( out );
      QCOMPARE( QString( out->GetDriver()->GetDescription() ), QStringLiteral( "GTiff" ) );
      QCOMPARE( out->GetRasterCount(), 1 );
      QCOMPARE( out->GetRasterBand( 1 )->GetRasterDataType(), GDT_Float32 );
      QCOMPARE( out->GetRasterXSize(), spec.width );
      QCOMPARE( out->GetRasterYSize(), spec.height );
      double transform[6];
      out->GetGeoTransform( transform );
      // Exactly the source's grid, not one shifted by the fields' rounding.
      QVERIFY( transform[0] == ( std::isnan( typedXmin ) ? originX : typedXmin ) );
      QVERIFY( transform[3] == originY );
      QVERIFY( transform[5] == -pixelSize || qAbs( transform[5] / -pixelSize - 1 ) < 1e-12 );
      if ( !std::isnan( typedXmin ) )
        return;
      OGRSpatialReference expectedSrs;
      expectedSrs.importFromEPSG( epsg );
      expectedSrs.SetAxisMappingStrategy( OAMS_TRADITIONAL_GIS_ORDER );
      QVERIFY( out->GetSpatialRef() && out->GetSpatialRef()->IsSame( &expectedSrs ) );
      const QVector<double> ndvi = TestSupport::readBand( written, 1 );
      for ( int y = 0; y < spec.height; ++y )
        for ( int x = 0; x < spec.width; ++x )
        {
          const double nir = TestSupport::valueAt( 4, x, y ), red = TestSupport::valueAt( 3, x, y );
          QVERIFY2( qAbs( ndvi[y * spec.width + x] - ( nir - red ) / ( nir + red ) ) < 1e-6,
                    qPrintable( QStringLiteral( "pixel %1,%2" ).arg( x ).arg( y ) ) );
        }

      QTRY_VERIFY( QgsProject::instance()->mapLayersByName( "ndvi" ).size() == 1 );
      QTRY_VERIFY_WITH_TIMEOUT( !mDialog->isVisible(), 3000 );
    }

    void everyFailureIsReportedInPink_data()
    {
      QTest::addColumn<QString>( "output" );
      QTest::addColumn<QString>( "expression" );
      QTest::addColumn<QString>( "disk" );
      QTest::addColumn<QString>( "notice" );
      const QString badPath = "Đường dẫn ảnh kết quả KHÔNG khả dụng", badBand = "Lỗi kênh ảnh không hợp lệ",
                    cannotWrite = "Lỗi không thể ghi file kết quả";
      // clang-format off
      QTest::newRow( "empty path and expression" ) << "" << "" << "" << badPath;
      QTest::newRow( "folder is a file" ) << "blocker/out.tif" << "\"img@1\"" << "" << badPath;
      QTest::newRow( "vanished folder" ) << "vanished/out.tif" << "\"img@1\"" << "" << badPath;
      QTest::newRow( "does not parse" ) << "out.tif" << "\"img@1\" + " << "" << "Biểu thức KHÔNG hợp lệ";
      QTest::newRow( "output is a folder" ) << "taken.tif" << "\"img@1\" * 2" << "" << cannotWrite;
      QTest::newRow( "removed layer" ) << "gone.tif" << "\"removed@1\" * 2" << "" << badBand;
      QTest::newRow( "band the layer lacks" ) << "nine.tif" << "\"img@9\"" << "" << badBand;
      QTest::newRow( "no raster in the project" ) << "constant.tif" << "1 + 1" << "" << "Lỗi không đọc được kênh ảnh";
      QTest::newRow( "writes fail" ) << "earlier.tif" << "\"img@1\" + 1" << "limit" << cannotWrite;
      QTest::newRow( "full disk" ) << "earlier.tif" << "\"img@1\" + 1" << "mount" << cannotWrite;
      // clang-format on
    }
    void everyFailureIsReportedInPink()
    {
      QFETCH( QString, output );
      QFETCH( QString, expression );
      QFETCH( QString, disk );
      QFETCH( QString, notice );
      const QString folder = absolute( "failed" );
      if ( disk == "mount" ? !TestSupport::mountSmallDisk( folder ) : !QDir().mkpath( folder ) )
        QSKIP( "cannot mount a small tmpfs here" );
      if ( expression.contains( '"' ) ) // a constant expression is tried with no raster in the project
      {
        TestSupport::RasterSpec big; // its result does not fit on the small disk
        big.width = 300;
        big.height = 300;
        addRasterLayer( "img", big );
        QgsProject::instance()->removeMapLayer( addRasterLayer( "removed" ) );
      }
      TestSupport::writeBytes( folder + "/blocker", "a file" );
      TestSupport::writeBytes( folder + "/earlier.tif", "an earlier result" );
      QDir().mkpath( folder + "/taken.tif" );
      const QStringList before = leftovers( folder, {} );
      const QMap<QString, QByteArray> kept = TestSupport::folderContents( folder );
      showDialog();
      setOutput( output.isEmpty() ? QString() : folder + '/' + output );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( expression );
      find<QCheckBox>( "autoOpenCheckBox" )->setChecked( true );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      std::unique_ptr<TestSupport::FileSizeLimit> limit;
      if ( disk == "limit" )
        limit = std::make_unique<TestSupport::FileSizeLimit>( 64 * 1024 );
      const QString shown = applyAndReadNotice();
      limit.reset();
      const QStringList after = leftovers( folder, {} );
      const bool unchanged = TestSupport::folderContents( folder ) == kept;
      if ( disk == "mount" )
        QProcess::execute( "umount", { folder } );
      QCOMPARE( shown, notice );
      QCOMPARE( after, before );
      QVERIFY( unchanged );
      QCOMPARE( complete.count(), 0 );
      QTest::qWait( 50 );
      QVERIFY( mDialog->isVisible() );
      QVERIFY( find<QProgressBar>( "progressBar" )->isHidden() );
    }

    void progressMovesAndSuccessClosesWithoutOpening()
    {
      TestSupport::RasterSpec spec;
      spec.width = 1200;
      spec.height = 1200;
      spec.bands = 1;
      addRasterLayer( "large", spec );
      Utils::writeSetting( Utils::Keys::dialogTimeout, 0 );
      showDialog();
      setOutput( absolute( "doubled.img" ) );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( "\"large@1\" * 2" );
      auto *progress = find<QProgressBar>( "progressBar" );
      QList<int> seen;
      connect( progress, &QProgressBar::valueChanged, this, [&]( int value ) { seen << value; } );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndReadNotice(), QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ) );
      QVERIFY2( seen.size() >= 3, qPrintable( QString::number( seen.size() ) ) );
      QVERIFY( *std::max_element( seen.begin(), seen.end() ) >= 90 );
      QVERIFY( progress->isHidden() );
      QCOMPARE( complete.count(), 0 );
      QTRY_VERIFY( !mDialog->isVisible() );
      // Another suffix stays as typed and GeoTIFF writes under it.
      std::unique_ptr<GDALDataset> out = TestSupport::openRaster( absolute( "doubled.img" ) );
      QVERIFY( out );
      QCOMPARE( QString( out->GetDriver()->GetDescription() ), QStringLiteral( "GTiff" ) );
      QCOMPARE( TestSupport::readBand( absolute( "doubled.img" ), 1 ).at( 5 ), 2 * TestSupport::valueAt( 1, 5, 0 ) );
    }

    void sameValuesAsTheQgisCalculator_data()
    {
      QTest::addColumn<QString>( "layers" );
      QTest::addColumn<QString>( "expression" );
      QTest::newRow( "arithmetic" ) << "a"
                                    << "\"a@1\" * 2 + \"a@2\" / 3 - \"a@3\" ^ 0.5";
      QTest::newRow( "comparisons" )
          << "a"
          << "( \"a@1\" > 1100 ) * \"a@2\" + ( \"a@3\" <= 3300 ) - ( \"a@1\" = 1006 ) + ( \"a@2\" != 2040 )";
      QTest::newRow( "and, or" ) << "a,b"
                                 << "\"a@1\" > 1200 and \"a@2\" < 2400 or \"b@1\" = 1006";
      QTest::newRow( "min, max" ) << "a,b"
                                  << "max( \"a@1\", \"b@1\" * 1.5 ) - min( \"a@2\", 2100 )";
      QTest::newRow( "functions" )
          << "a,b"
          << "sqrt( \"a@1\" ) + ln( \"a@2\" ) + log10( \"a@3\" ) + sin( \"b@1\" ) * cos( \"b@2\" ) + abs( 1500 - "
             "\"a@1\" ) + atan( \"a@1\" ) + asin( \"a@1\" / 9999 ) + tan( \"b@2\" )";
      QTest::newRow( "two rasters, unused one open" ) << "a,b,n"
                                                      << "( \"a@3\" - \"b@1\" ) / ( \"a@3\" + \"b@1\" )";
      QTest::newRow( "declared no-data" ) << "a,n"
                                          << "\"n@1\" + \"a@1\"";
      QTest::newRow( "coarser input, no-data declared" ) << "a,demNoData"
                                                         << "\"demNoData@1\" * 2 + \"a@1\"";
      QTest::newRow( "coarser input, none declared" ) << "a,dem"
                                                      << "\"dem@1\" * 2 + \"a@1\"";
      QTest::newRow( "same grid, inside" ) << "a,inner"
                                           << "\"inner@1\" - \"a@2\"";
      QTest::newRow( "degree raster open, not named" )
          << "scene,wgs84"
          << "( \"scene@2\" - \"scene@1\" ) / ( \"scene@2\" + \"scene@1\" )";
      QTest::newRow( "degree raster named" ) << "scene,wgs84"
                                             << "\"wgs84@1\" + \"scene@1\"";
    }
    void sameValuesAsTheQgisCalculator()
    {
      QFETCH( QString, layers );
      QFETCH( QString, expression );
      QList<QgsRasterLayer *> opened;
      for ( const QString &name : layers.split( ',' ) )
        opened << addRasterLayer( name, fixture( name ) );
      const QgsRasterLayer *grid = opened.first();
      const QString ours = absolute( QStringLiteral( "ours-%1.tif" ).arg( QTest::currentDataTag() ) );
      QCOMPARE( int( runEngine( expression, ours, grid ) ), int( QgsRasterCalculator::Success ) );

      // The calculator only gets the named layers: it would read (and may fail on) every other one.
      QVector<QgsRasterCalculatorEntry> named;
      for ( const QgsRasterCalculatorEntry &entry : QgsRasterCalculatorEntry::rasterEntries() )
        if ( expression.contains( '"' + entry.ref + '"' ) )
          named << entry;
      const QString theirs = absolute( QStringLiteral( "theirs-%1.tif" ).arg( QTest::currentDataTag() ) );
      QgsRasterCalculator calculator( expression, theirs, "GTiff", grid->extent(), grid->crs(), grid->width(),
                                      grid->height(), named, QgsProject::instance()->transformContext() );
      QCOMPARE( calculator.processCalculation(), QgsRasterCalculator::Success );

      const QVector<double> ourValues = TestSupport::readBand( ours, 1 ),
                            theirValues = TestSupport::readBand( theirs, 1 );
      const double xRes = grid->rasterUnitsPerPixelX(), yRes = grid->rasterUnitsPerPixelY();
      int outside = 0;
      for ( int y = 0; y < grid->height(); ++y )
        for ( int x = 0; x < grid->width(); ++x )
        {
          const QgsPointXY centre( grid->extent().xMinimum() + ( x + 0.5 ) * xRes,
                                   grid->extent().yMaximum() - ( y + 0.5 ) * yRes );
          // Beyond a named input of the same CRS the calculator's value is whatever its memory held.
          const bool reached = std::all_of( opened.cbegin(), opened.cend(),
                                            [&]( const QgsRasterLayer *layer )
                                            {
                                              return layer->crs() != grid->crs() ||
                                                     !expression.contains( '"' + layer->name() + '@' ) ||
                                                     layer->extent().contains( centre );
                                            } );
          const int index = y * grid->width() + x;
          const double expected = reached ? theirValues[index] : double( -FLT_MAX );
          outside += !reached;
          QVERIFY2( sameFloat( ourValues[index], expected ),
                    qPrintable( QString::asprintf( "pixel %d,%d: %g, not %g", x, y, ourValues[index], expected ) ) );
        }
      QCOMPARE( outside > 0, layers.contains( "dem" ) || layers.contains( "inner" ) );

      std::unique_ptr<GDALDataset> out = TestSupport::openRaster( ours );
      int hasNoData = 0;
      QCOMPARE( out->GetRasterBand( 1 )->GetNoDataValue( &hasNoData ), double( -FLT_MAX ) );
      QVERIFY( hasNoData );
      out.reset();
      const QString again = absolute( QStringLiteral( "again-%1.tif" ).arg( QTest::currentDataTag() ) );
      QCOMPARE( int( runEngine( expression, again, grid ) ), int( QgsRasterCalculator::Success ) );
      QFile first( ours ), second( again );
      QVERIFY( first.open( QIODevice::ReadOnly ) && second.open( QIODevice::ReadOnly ) );
      QVERIFY( first.readAll() == second.readAll() );
    }

    void failedRunsLeaveTheTargetAsItWas_data()
    {
      QTest::addColumn<QString>( "output" );
      QTest::addColumn<QString>( "expression" );
      QTest::addColumn<double>( "xmin" );
      QTest::addColumn<int>( "result" );
      QTest::newRow( "writer cannot create" )
          << "blocker/out.tif"
          << "\"scene@1\"" << 500000.0 << int( QgsRasterCalculator::CreateOutputError );
      QTest::newRow( "target is a folder" )
          << "taken.tif"
          << "\"scene@1\"" << 500000.0 << int( QgsRasterCalculator::CreateOutputError );
      QTest::newRow( "transform fails everywhere" )
          << "earlier.tif"
          << "\"wgs84@1\" + 1" << 1e15 << int( QgsRasterCalculator::InputLayerError );
      QTest::newRow( "unknown band" ) << "earlier.tif"
                                      << "\"wgs84@2\"" << 500000.0 << int( QgsRasterCalculator::BandError );
    }
    void failedRunsLeaveTheTargetAsItWas()
    {
      QFETCH( QString, output );
      QFETCH( QString, expression );
      QFETCH( double, xmin );
      QFETCH( int, result );
      addRasterLayer( "scene", fixture( "scene" ) );
      addRasterLayer( "wgs84", fixture( "wgs84" ) );
      QDir().mkpath( "failures" );
      QDir::setCurrent( absolute( "failures" ) );
      TestSupport::writeBytes( "blocker", "a file" );
      QDir().mkpath( "taken.tif" );
      TestSupport::writeBytes( "earlier.tif", "an earlier result" );
      BandMath::Request request;
      request.expression = expression;
      request.outputFile = absolute( output );
      request.driver = QStringLiteral( "GTiff" );
      request.extent = QgsRectangle( xmin, 8997600, xmin + 3000, 9000000 );
      request.columns = 100;
      request.rows = 80;
      const QgsRasterCalculator::Result got = BandMath::prepareAndRun( request );
      QDir::setCurrent( absolute( ".." ) );
      QCOMPARE( int( got ), result );
      QFile earlier( absolute( "failures/earlier.tif" ) );
      QVERIFY( earlier.open( QIODevice::ReadOnly ) );
      QCOMPARE( earlier.readAll(), QByteArray( "an earlier result" ) );
      QCOMPARE( leftovers( absolute( "failures" ), { "blocker", "taken.tif", "earlier.tif" } ), QStringList() );
      QVERIFY( QDir( absolute( "failures/taken.tif" ) ).isEmpty() );
    }

    void stopOrCloseCancelsAndLeavesNothing_data()
    {
      QTest::addColumn<bool>( "close" );
      QTest::newRow( "stop button" ) << false;
      QTest::newRow( "closing the dialog" ) << true;
    }
    void stopOrCloseCancelsAndLeavesNothing()
    {
      QFETCH( bool, close );
      QDir().mkpath( "cancel" );
      TestSupport::writeBytes( "cancel/slow.tif", "an earlier result" );
      startSlowRun( absolute( "cancel/slow.tif" ) );
      QElapsedTimer timer;
      timer.start();
      if ( close )
        mDialog->close();
      else
        find<QPushButton>( "stopButton" )->click();
      QTRY_VERIFY( find<QPushButton>( "applyButton" )->isEnabled() );
      QVERIFY( timer.elapsed() < 1000 );
      QCOMPARE( TestSupport::noticeText( mDialog ), QStringLiteral( "Đã hủy tính toán kênh ảnh" ) );
      QVERIFY( find<QPushButton>( "stopButton" )->isHidden() );
      QVERIFY( find<QProgressBar>( "progressBar" )->isHidden() );
      QFile earlier( absolute( "cancel/slow.tif" ) );
      QVERIFY( earlier.open( QIODevice::ReadOnly ) );
      QCOMPARE( earlier.readAll(), QByteArray( "an earlier result" ) );
      QCOMPARE( leftovers( absolute( "cancel" ), { "slow.tif" } ), QStringList() );
      QCOMPARE( QgsProject::instance()->count(), 1 );

      // Still usable: the next run completes.
      if ( close )
        showDialog();
      find<QSpinBox>( "columnsSpinBox" )->setValue( 600 );
      find<QSpinBox>( "rowsSpinBox" )->setValue( 600 );
      QCOMPARE( applyAndReadNotice(), QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ) );
      QCOMPARE( TestSupport::readBand( absolute( "cancel/slow.tif" ), 1 ).at( 7 ),
                2 * TestSupport::valueAt( 1, 7, 0 ) );
    }

    void quittingDuringARunLeavesNothing()
    {
      QDir().mkpath( "quit" );
      startSlowRun( absolute( "quit/out.tif" ) );
      mWindow.reset();
      QCOMPARE( leftovers( absolute( "quit" ), {} ), QStringList() );
    }

    void vanishedOutputFolderDuringTheRunIsAWriteFailure()
    {
      QDir().mkpath( "doomed" );
      startSlowRun( absolute( "doomed/out.tif" ) );
      QVERIFY( QDir( absolute( "doomed" ) ).removeRecursively() );
      QTRY_VERIFY_WITH_TIMEOUT( find<QPushButton>( "applyButton" )->isEnabled(), 20000 );
      QCOMPARE( TestSupport::noticeText( mDialog ), QStringLiteral( "Lỗi không thể ghi file kết quả" ) );
      QVERIFY( !QFileInfo::exists( absolute( "doomed" ) ) );
      QVERIFY( mDialog->isVisible() );
    }
};

RASTOVA_TEST( TestBandMath )
#include "TestBandMath.moc"
