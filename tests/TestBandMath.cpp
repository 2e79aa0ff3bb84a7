#include "Core/Utils.h"
#include "Processing/BandMath.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"

#include <qgsrasterrenderer.h>

#include <cfloat>

using namespace TestSupport;

namespace
{
using Layout = RasterLayout;

const QString finished = QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" );

//! The fixtures the engine is compared on, by layer name; all but "wgs84" lie on the UTM grid of "a" or inside it.
const QMap<QString, Layout> fixtures = {
    { "a", Layout{ 40, 30, 3, GDT_UInt16, 32748, 500000, 9000000, 30, false, 0 } },
    { "b", Layout{ 40, 30, 2, GDT_Float32, 32748, 500000, 9000000, 30, false, 0 } },
    { "n", Layout{ 40, 30, 1, GDT_UInt16, 32748, 500000, 9000000, 30, true, valueAt( 1, 2, 0 ) } },
    // coarser and shifted, ending inside "a" on every side
    { "dem", Layout{ 11, 8, 1, GDT_Int16, 32748, 500100, 8999900, 90, true, valueAt( 1, 3, 2 ) } },
    // on the grid of "a", ending inside it on every side
    { "inner", Layout{ 20, 15, 1, GDT_UInt16, 32748, 500090, 8999910, 30, false, 0 } },
    { "wgs84", Layout{ 200, 160, 1, GDT_Int16, 4326, 104.99, -9.0, 0.0005, false, 0 } },
};
} // namespace

class TestBandMath : public WindowTest
{
    Q_OBJECT

  private:
    BandMathDialog *mDialog = nullptr;

    template <typename T> T *find( const char *name ) { return mDialog->findChild<T *>( name ); }

    void showDialog()
    {
      mDialog = showTool<BandMathDialog>( "Tính toán kênh ảnh" );
      QVERIFY( mDialog );
    }

    void doubleClickBand( const QString &reference )
    {
      const auto items = find<QListWidget>( "rasterBandListWidget" )->findItems( reference, Qt::MatchExactly );
      QCOMPARE( items.size(), 1 );
      mDialog->rasterBandsListWidgetItemDoubleClicked( items.first() );
    }

    void click( const char *button ) { find<QPushButton>( button )->click(); }

    void setOutput( const QString &path ) { find<QWidget>( "fileWidget" )->findChild<QLineEdit *>()->setText( path ); }

  private slots:
    void formOffersWhatItCanWriteAndBuildsWhatParses()
    {
      addRasterLayer( "dem", Layout{ 1000, 800, 3, GDT_UInt16, 3857, -8240000.123456, -3500000.5 } );
      addRasterLayer( "say \"hi\"" );
      showDialog();
      auto *formats = find<QComboBox>( "formatComboBox" );
      QVERIFY( formats->findData( "MEM" ) < 0 && formats->findData( "PNG" ) < 0 ); // PNG can only copy, not create
      click( "currentLayerExtentButton" );                                         // nothing selected
      QCOMPARE( find<QSpinBox>( "columnsSpinBox" )->value(), 1000 );

      auto *edit = find<QTextEdit>( "expressionTextEdit" );
      doubleClickBand( "dem@1" );
      click( "absButton" );
      QCOMPARE( edit->toPlainText(), QStringLiteral( "\"dem@1\" abs( " ) );

      click( "clearButton" );
      doubleClickBand( "say \"hi\"@1" );
      QCOMPARE( edit->toPlainText(), QStringLiteral( "\"say \\\"hi\\\"@1\"" ) );

      // What the buttons and bands put together parses.
      click( "clearButton" );
      for ( const char *step :
            { "openBracketButton", "dem@3", "minusButton", "dem@2", "closeBracketButton", "divideButton", "dem@1" } )
        QString( step ).endsWith( "Button" ) ? click( step ) : doubleClickBand( step );
      click( "checkButton" );
      QCOMPARE( noticeText( mDialog ), QStringLiteral( "Biểu thức hợp lệ" ) );
      edit->insertPlainText( " * * (" );
      click( "checkButton" );
      QCOMPARE( noticeText( mDialog ), QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) );

      // Every operator button inserts an operator of its own.
      QStringList labels;
      for ( QPushButton *button : find<QWidget>( "groupBox" )->findChildren<QPushButton *>() )
      {
        edit->clear();
        button->click();
        labels << edit->toPlainText().trimmed();
      }
      QCOMPARE( QSet<QString>( labels.cbegin(), labels.cend() ).size(), 27 );
      QVERIFY( !labels.contains( QString() ) );

      Utils::writeSetting( Utils::Keys::bandMathFormat, "Erdas Imagine Images (.img)" );
      BandMathDialog remembering( mWindow.get() );
      QCOMPARE( remembering.findChild<QComboBox *>( "formatComboBox" )->currentData().toString(),
                QStringLiteral( "HFA" ) );
    }

    void ndviIsWrittenOverTheLayersExtent()
    {
      // Degrees south-west of Greenwich, more decimals than the fields show.
      const Layout layout{ 37, 23, 4, GDT_Int16, 4326, -34.9165889615, -8.0123456789, 0.000271234567 };
      addRasterLayer( "a_utm" ); // QGIS lists it first; the result takes the CRS of the layer its extent came from
      addRasterLayer( "img", layout );
      QDir().mkpath( "v1.2" ); // a dotted folder: the bare name still counts as having no suffix
      // A layer showing the file that the result replaces must show the result after.
      Layout former = layout;
      former.bands = 3;
      auto *earlier = new QgsRasterLayer( writeRaster( absolute( "v1.2/ndvi" ), former ), "earlier" );
      QgsProject::instance()->addMapLayer( earlier );
      showDialog();
      auto *bands = find<QListWidget>( "rasterBandListWidget" );
      bands->setCurrentItem( bands->findItems( "img@1", Qt::MatchExactly ).value( 0 ) );
      click( "currentLayerExtentButton" );
      setOutput( absolute( "v1.2/ndvi" ) );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( "( \"img@4\" - \"img@3\" ) / ( \"img@4\" + \"img@3\" )" );
      auto *formats = find<QComboBox>( "formatComboBox" );
      formats->setCurrentIndex( formats->findData( "ENVI" ) );
      find<QCheckBox>( "autoOpenCheckBox" )->setChecked( true );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndWait( mDialog ), finished );
      const QString written = absolute( "v1.2/ndvi" );
      QCOMPARE( QList<QVariantList>( complete ), QList<QVariantList>{ { written } } );
      QTRY_COMPARE( QgsProject::instance()->mapLayersByName( "ndvi" ).size(), 1 );
      QCOMPARE( QgsProject::instance()->mapLayersByName( "ndvi" ).first()->crs().authid(),
                QLatin1String( "EPSG:4326" ) );
      QTRY_VERIFY_WITH_TIMEOUT( !mDialog->isVisible(), 3000 );

      std::unique_ptr<GDALDataset> out = openRaster( written );
      QVERIFY( out );
      QCOMPARE( ( QList<int>{ out->GetRasterCount(), out->GetRasterBand( 1 )->GetRasterDataType(),
                              out->GetRasterXSize(), out->GetRasterYSize() } ),
                ( QList<int>{ 1, GDT_Float32, layout.width, layout.height } ) );
      double transform[6];
      out->GetGeoTransform( transform );
      // Exactly the source's grid, not one shifted by the fields' rounding.
      QCOMPARE( ( QList<double>{ transform[0], transform[3] } ), ( QList<double>{ layout.originX, layout.originY } ) );
      QVERIFY( qFuzzyCompare( transform[1], layout.pixelSize ) && qFuzzyCompare( transform[5], -layout.pixelSize ) );
      const QVector<double> values = readBand( written, 1 );
      QCOMPARE( values.first(), double( float( ( valueAt( 4, 0, 0 ) - valueAt( 3, 0, 0 ) ) /
                                               ( valueAt( 4, 0, 0 ) + valueAt( 3, 0, 0 ) ) ) ) );
      const std::unique_ptr<QgsRasterBlock> shown(
          earlier->dataProvider()->block( 1, earlier->extent(), layout.width, layout.height ) );
      QCOMPARE( shown->value( 0 ), values.first() );
      QCOMPARE( shown->value( layout.width * layout.height - 1 ), values.last() );
      QCOMPARE( earlier->renderer()->usesBands(), QList<int>{ 1 } ); // its three-band style could not draw it
    }

    void gridFollowsTheNamedRasterUntilTheUserChoosesOne_data()
    {
      QTest::addColumn<QString>( "choice" );
      QTest::addColumn<QString>( "grid" ); // the layer whose grid the result must have
      QTest::addColumn<double>( "xmax" );
      QTest::addColumn<int>( "columns" );
      // clang-format off
      QTest::newRow( "untouched" ) << "" << "tile" << 515000.0 << 1500;
      QTest::newRow( "extent edited" ) << "xmax" << "scene" << 505000.0 << 35;
      QTest::newRow( "size edited" ) << "columns" << "scene" << 501050.0 << 70;
      QTest::newRow( "extent button" ) << "button" << "scene" << 501050.0 << 35;
      // clang-format on
    }
    void gridFollowsTheNamedRasterUntilTheUserChoosesOne()
    {
      QFETCH( QString, choice );
      QFETCH( QString, grid );
      QFETCH( double, xmax );
      QFETCH( int, columns );
      // A small scene listed first and a larger, finer image in another CRS (UTM north), same place, second.
      const QMap<QString, Layout> layouts = { { "scene", Layout{ 35, 36, 2, GDT_UInt16, 32748, 500000, 9000000, 30 } },
                                          { "tile", Layout{ 1500, 1200, 2, GDT_UInt16, 32648, 500000, -1000000, 10 } } };
      addRasterLayer( "scene", layouts["scene"] );
      addRasterLayer( "tile", layouts["tile"] );
      showDialog();
      auto *columnsField = find<QSpinBox>( "columnsSpinBox" );
      QCOMPARE( columnsField->value(), layouts["scene"].width );
      if ( choice == "xmax" )
        find<QDoubleSpinBox>( "xmaxDoubleSpinBox" )->setValue( xmax );
      else if ( choice == "columns" )
        columnsField->setValue( columns );
      else if ( choice == "button" )
      {
        auto *bands = find<QListWidget>( "rasterBandListWidget" );
        bands->setCurrentItem( bands->findItems( "scene@1", Qt::MatchExactly ).value( 0 ) );
        click( "currentLayerExtentButton" );
      }
      doubleClickBand( "tile@2" );
      click( "minusButton" );
      doubleClickBand( "tile@1" );
      QCOMPARE( columnsField->value(), columns );
      QCOMPARE( find<QDoubleSpinBox>( "xmaxDoubleSpinBox" )->value(), xmax );
      setOutput( absolute( "difference.tif" ) );
      QCOMPARE( applyAndWait( mDialog ), finished );

      std::unique_ptr<GDALDataset> out = openRaster( absolute( "difference.tif" ) );
      QVERIFY( out );
      const Layout &expected = layouts[grid];
      double transform[6];
      out->GetGeoTransform( transform );
      QCOMPARE(
          ( QList<double>{ double( out->GetRasterXSize() ), double( out->GetRasterYSize() ), transform[0],
                           transform[0] + transform[1] * out->GetRasterXSize(), transform[3] } ),
          ( QList<double>{ double( columns ), double( expected.height ), expected.originX, xmax, expected.originY } ) );
      OGRSpatialReference crs( out->GetProjectionRef() );
      QCOMPARE( crs.GetAuthorityCode( nullptr ), QByteArray::number( expected.epsg ) );
      if ( choice.isEmpty() )
        QCOMPARE( readBand( absolute( "difference.tif" ), 1 ).at( 1501 ), valueAt( 2, 1, 1 ) - valueAt( 1, 1, 1 ) );
    }

    void everyFailureIsReportedInPink_data()
    {
      QTest::addColumn<QString>( "output" );
      QTest::addColumn<QString>( "expression" );
      QTest::addColumn<QString>( "disk" );
      QTest::addColumn<QString>( "notice" );
      const QString badPath = "Đường dẫn ảnh kết quả KHÔNG khả dụng", badBand = "Lỗi kênh ảnh không hợp lệ",
                    cannotWrite = "Lỗi không thể ghi file kết quả", cannotRead = "Lỗi không đọc được kênh ảnh";
      // clang-format off
      QTest::newRow( "folder is a file" ) << "blocker/out.tif" << "\"img@1\"" << "" << badPath;
      QTest::newRow( "does not parse" ) << "out.tif" << "\"img@1\" + " << "" << "Biểu thức KHÔNG hợp lệ";
      QTest::newRow( "output is a folder, its suffix kept" ) << "taken.img" << "\"img@1\" * 2" << "" << cannotWrite;
      QTest::newRow( "removed layer" ) << "gone.tif" << "\"removed@1\" * 2" << "" << badBand;
      QTest::newRow( "no raster in the project" ) << "constant.tif" << "1 + 1" << "" << cannotRead;
      QTest::newRow( "transform fails everywhere" ) << "earlier.tif" << "\"wgs84@1\" + 1" << "" << cannotRead;
      QTest::newRow( "writes fail" ) << "earlier.tif" << "\"img@1\" + 1" << "limit" << cannotWrite;
      // clang-format on
    }
    void everyFailureIsReportedInPink()
    {
      QFETCH( QString, output );
      QFETCH( QString, expression );
      QFETCH( QString, disk );
      QFETCH( QString, notice );
      const QString folder = absolute( "failed" );
      QDir().mkpath( folder );
      if ( expression.contains( '"' ) ) // a constant expression is tried with no raster in the project
      {
        addRasterLayer( "img", Layout{ 300, 300 } ); // its result is larger than the write limit
        addRasterLayer( "wgs84", fixtures["wgs84"] );
        QgsProject::instance()->removeMapLayer( addRasterLayer( "removed" ) );
      }
      writeBytes( folder + "/blocker", "a file" );
      writeBytes( folder + "/earlier.tif", "an earlier result" );
      QDir().mkpath( folder + "/taken.img" );
      const QMap<QString, QByteArray> kept = folderContents( folder );
      showDialog();
      setOutput( folder + '/' + output );
      if ( expression.contains( "wgs84" ) ) // an extent in the first raster's CRS so far off that no point reprojects
      {
        find<QDoubleSpinBox>( "xmaxDoubleSpinBox" )->setValue( 9e14 + 3000 );
        find<QDoubleSpinBox>( "xminDoubleSpinBox" )->setValue( 9e14 );
      }
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( expression );
      find<QCheckBox>( "autoOpenCheckBox" )->setChecked( true );
      find<QComboBox>( "compressionComboBox" )->setCurrentIndex( 0 ); // compressed, it would fit the limits
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      auto limit = std::make_unique<FileSizeLimit>( disk == "limit" ? 64 * 1024 : 0 );
      const QString shown = applyAndWait( mDialog );
      limit.reset();
      QCOMPARE( shown.section( '\n', 0, 0 ), notice );
      QCOMPARE( folderContents( folder ), kept );
      QCOMPARE( complete.count(), 0 );
      QTest::qWait( 50 );
      QVERIFY( mDialog->isVisible() && find<QProgressBar>( "progressBar" )->isHidden() );
    }

    void sameValuesAsTheQgisCalculator_data()
    {
      QTest::addColumn<QString>( "layers" );
      QTest::addColumn<QString>( "expression" );
      // clang-format off
      QTest::newRow( "functions, unused raster open" ) << "a,b,n" << "sqrt( \"a@1\" ) + ln( \"a@2\" ) + log10( \"a@3\" ) + sin( \"b@1\" ) * cos( \"b@2\" ) + abs( 1500 - \"a@1\" ) + atan( \"a@1\" ) + asin( \"a@1\" / 9999 ) + tan( \"b@2\" )";
      QTest::newRow( "comparisons, min, max, two rasters" ) << "a,b" << "( \"a@1\" > 1200 ) * min( \"a@2\", \"b@1\" ) + max( \"b@2\", \"a@3\" ) - ( \"a@1\" <= \"b@1\" AND \"a@2\" != 0 ) / ( \"b@1\" - \"a@2\" )";
      QTest::newRow( "declared no-data" ) << "a,n" << "\"n@1\" + \"a@1\"";
      QTest::newRow( "coarser input, no-data declared" ) << "a,dem" << "\"dem@1\" * 2 + \"a@1\"";
      QTest::newRow( "same grid, inside" ) << "a,inner" << "\"inner@1\" - \"a@2\"";
      QTest::newRow( "degree raster named" ) << "a,wgs84" << "\"wgs84@1\" + \"a@1\"";
      // clang-format on
    }
    void sameValuesAsTheQgisCalculator()
    {
      QFETCH( QString, layers );
      QFETCH( QString, expression );
      QList<QgsRasterLayer *> opened;
      for ( const QString &name : layers.split( ',' ) )
        opened << addRasterLayer( name, fixtures[name] );
      const QgsRasterLayer *grid = opened.first();
      const QString ours = absolute( QStringLiteral( "ours-%1.tif" ).arg( QTest::currentDataTag() ) );
      const BandMath::Request request{ expression, ours, "GTiff", { grid->extent(), grid->width(), grid->height(), {} },
                                       {},         {},   {} };
      const ProcessingResult result = BandMath::prepareAndRun( request, QgsRasterCalculatorEntry::rasterEntries(),
                                                               QgsProject::instance()->transformContext() );
      QVERIFY2( result.done(), qPrintable( result.reason ) );

      // The calculator only gets the named layers: it would read (and may fail on) every other one.
      QVector<QgsRasterCalculatorEntry> named;
      for ( const QgsRasterCalculatorEntry &entry : QgsRasterCalculatorEntry::rasterEntries() )
        if ( expression.contains( '"' + entry.ref + '"' ) )
          named << entry;
      const QString theirs = absolute( QStringLiteral( "theirs-%1.tif" ).arg( QTest::currentDataTag() ) );
      QgsRasterCalculator calculator( expression, theirs, "GTiff", grid->extent(), grid->crs(), grid->width(),
                                      grid->height(), named, QgsProject::instance()->transformContext() );
      QCOMPARE( calculator.processCalculation(), QgsRasterCalculator::Success );

      // Beyond a named input of the same CRS the calculator's value is whatever its memory held; ours is no-data.
      QgsRectangle reach = grid->extent();
      for ( const QgsRasterLayer *layer : opened )
        if ( layer->crs() == grid->crs() && expression.contains( '"' + layer->name() + '@' ) )
          reach = reach.intersect( layer->extent() );
      QCOMPARE( reach != grid->extent(), layers.contains( "dem" ) || layers.contains( "inner" ) );
      QVector<double> expected = readBand( theirs, 1 );
      const double xRes = grid->rasterUnitsPerPixelX(), yRes = grid->rasterUnitsPerPixelY();
      for ( int y = 0; y < grid->height(); ++y )
        for ( int x = 0; x < grid->width(); ++x )
          if ( !reach.contains( QgsPointXY( grid->extent().xMinimum() + ( x + 0.5 ) * xRes,
                                            grid->extent().yMaximum() - ( y + 0.5 ) * yRes ) ) )
            expected[y * grid->width() + x] = -FLT_MAX;
      QCOMPARE( readBand( ours, 1 ).toList(), expected.toList() );

      int hasNoData = 0;
      QCOMPARE( openRaster( ours )->GetRasterBand( 1 )->GetNoDataValue( &hasNoData ), double( -FLT_MAX ) );
      QVERIFY( hasNoData );
    }

    void interruptedRunsLeaveTheTargetAsItWas_data()
    {
      QTest::addColumn<QString>( "interruption" );
      QTest::addColumn<QString>( "notice" );
      // clang-format off
      QTest::newRow( "stop button" ) << "stop" << "Đã hủy tính toán kênh ảnh";
      QTest::newRow( "closing the dialog" ) << "close" << "Đã hủy tính toán kênh ảnh";
      QTest::newRow( "output folder removed" ) << "remove" << "Lỗi không thể ghi file kết quả";
      QTest::newRow( "quitting" ) << "quit" << "";
      // clang-format on
    }
    void interruptedRunsLeaveTheTargetAsItWas()
    {
      QFETCH( QString, interruption );
      QFETCH( QString, notice );
      const QString folder = absolute( "interrupted" );
      QDir().mkpath( folder );
      writeBytes( folder + "/slow.tif", "an earlier result" );
      const QMap<QString, QByteArray> before = folderContents( folder );
      // Slow enough to interrupt: every row is resampled onto a grid ten times as fine.
      addRasterLayer( "slow", Layout{ 600, 600, 1 } );
      showDialog();
      find<QSpinBox>( "columnsSpinBox" )->setValue( 6000 );
      find<QSpinBox>( "rowsSpinBox" )->setValue( 6000 );
      setOutput( folder + "/slow.tif" );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( "\"slow@1\" * 2" );
      click( "applyButton" );
      QVERIFY( find<QPushButton>( "stopButton" )->isVisible() && !find<QPushButton>( "applyButton" )->isEnabled() );
      QTRY_VERIFY( find<QProgressBar>( "progressBar" )->value() > 0 );

      QElapsedTimer timer;
      timer.start();
      if ( interruption == "quit" )
        mWindow.reset();
      else if ( interruption == "close" )
        mDialog->close();
      else if ( interruption == "stop" )
        click( "stopButton" );
      else
        QVERIFY( QDir( folder ).removeRecursively() );
      if ( mWindow )
      {
        QTRY_VERIFY_WITH_TIMEOUT( find<QPushButton>( "applyButton" )->isEnabled(), 20000 );
        QVERIFY( interruption == "remove" || timer.elapsed() < 1000 );
        QCOMPARE( noticeText( mDialog ).section( '\n', 0, 0 ), notice );
        QCOMPARE( mDialog->isVisible(), interruption != "close" );
        QVERIFY( find<QPushButton>( "stopButton" )->isHidden() && find<QProgressBar>( "progressBar" )->isHidden() );
      }
      QCOMPARE( folderContents( folder ), ( interruption == "remove" ? QMap<QString, QByteArray>() : before ) );
      QCOMPARE( QFileInfo::exists( folder ), interruption != "remove" );
      if ( interruption != "stop" && interruption != "close" )
        return;

      // Still usable: the next run completes and closes the dialog without opening.
      Utils::writeSetting( Utils::Keys::dialogTimeout, 0 );
      if ( interruption == "close" )
        showDialog();
      find<QSpinBox>( "columnsSpinBox" )->setValue( 1200 );
      find<QSpinBox>( "rowsSpinBox" )->setValue( 1200 );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndWait( mDialog ), finished );
      QCOMPARE( complete.count(), 0 );
      QTRY_VERIFY( !mDialog->isVisible() );
      // Half a source pixel wide: output pixel 7 lies in source pixel 3; the last strip ends in the last one.
      const QVector<double> written = readBand( folder + "/slow.tif", 1 );
      QCOMPARE( ( QList<double>{ written.at( 7 ), written.last() } ),
                ( QList<double>{ 2 * valueAt( 1, 3, 0 ), 2 * valueAt( 1, 599, 599 ) } ) );
    }
};

RASTOVA_TEST( TestBandMath )
#include "TestBandMath.moc"
