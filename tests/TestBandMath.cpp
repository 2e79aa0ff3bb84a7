#include "Core/Utils.h"
#include "Gui/MenuBar.h"
#include "Processing/BandMath.h"
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
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <memory>

namespace
{
using TestSupport::absolute;
using TestSupport::addRasterLayer;

QString plainNotice( const QLabel *label )
{
  return QTextDocumentFragment::fromHtml( label->text() ).toPlainText();
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
      for ( QAction *action : mWindow->findChild<MenuBar *>()->menu( 3 )->actions() )
        if ( action->text() == QStringLiteral( "Tính toán kênh ảnh" ) )
          action->trigger();
      mDialog = mWindow->findChild<BandMathDialog *>();
      QVERIFY( mDialog && mDialog->isVisible() );
    }

    void doubleClickBand( const QString &reference )
    {
      const QList<QListWidgetItem *> items =
          find<QListWidget>( "rasterBandListWidget" )->findItems( reference, Qt::MatchExactly );
      QCOMPARE( items.size(), 1 );
      mDialog->rasterBandsListWidgetItemDoubleClicked( items.first() );
    }

    void setOutput( const QString &path ) { find<QWidget>( "fileWidget" )->findChild<QLineEdit *>()->setText( path ); }

    QString applyAndReadNotice()
    {
      find<QPushButton>( "applyButton" )->click();
      return plainNotice( find<QLabel>( "noticeLabel" ) );
    }

  private slots:
    void outputFileNames_data()
    {
      QTest::addColumn<QString>( "path" );
      QTest::addColumn<QString>( "extension" );
      QTest::addColumn<QString>( "expected" );
      QTest::newRow( "no suffix gets the driver's" ) << "/d/ndvi"
                                                     << "tif"
                                                     << "/d/ndvi.tif";
      QTest::newRow( "another suffix stays" ) << "/d/ndvi.img"
                                              << "tif"
                                              << "/d/ndvi.img";
      QTest::newRow( "driver without extension" ) << "/d/ndvi"
                                                  << ""
                                                  << "/d/ndvi";
      QTest::newRow( "dotted folder, bare name" ) << "/d/v1.2/ndvi"
                                                  << "tif"
                                                  << "/d/v1.2/ndvi.tif";
    }
    void outputFileNames()
    {
      QFETCH( QString, path );
      QFETCH( QString, extension );
      QFETCH( QString, expected );
      QCOMPARE( BandMath::outputFileName( path, extension ), expected );
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
      QCOMPARE( labels.size(), 27 );
      QVERIFY( labels.contains( " sin( " ) && labels.contains( " != " ) && labels.contains( " ) " ) );
      QCOMPARE( dem->bandCount(), 3 );
    }

    void checkTellsWhetherTheExpressionParses()
    {
      addRasterLayer( "a" );
      showDialog();
      auto *edit = find<QTextEdit>( "expressionTextEdit" );
      edit->setPlainText( "\"a@1\" * 2 + sqrt( \"a@2\" )" );
      find<QPushButton>( "checkButton" )->click();
      QCOMPARE( plainNotice( find<QLabel>( "noticeLabel" ) ), QStringLiteral( "Biểu thức hợp lệ" ) );
      QVERIFY( find<QLabel>( "noticeLabel" )->text().contains( "#55aa00" ) );
      edit->setPlainText( "\"a@1\" * * (" );
      find<QPushButton>( "checkButton" )->click();
      QCOMPARE( plainNotice( find<QLabel>( "noticeLabel" ) ), QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) );
      QVERIFY( find<QLabel>( "noticeLabel" )->text().contains( "#ff007f" ) );
      find<QPushButton>( "clearButton" )->click();
      QVERIFY( edit->toPlainText().isEmpty() );
      QCOMPARE( plainNotice( find<QLabel>( "noticeLabel" ) ), QStringLiteral( "Biểu thức KHÔNG hợp lệ" ) );
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
      QTest::newRow( "UTM 48 south" ) << 32748 << 699000.0 << 9050000.0;
      QTest::newRow( "Web Mercator, south-west" ) << 3857 << -8240000.0 << -3500000.0;
    }
    void ndviIsWrittenOverTheLayersExtent()
    {
      QFETCH( int, epsg );
      QFETCH( double, originX );
      QFETCH( double, originY );
      TestSupport::RasterSpec spec;
      spec.bands = 4;
      spec.width = 37;
      spec.height = 23;
      spec.epsg = epsg;
      spec.originX = originX;
      spec.originY = originY;
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

      QDir().mkpath( "results" );
      setOutput( absolute( "results/ndvi" ) );
      find<QCheckBox>( "autoOpenCheckBox" )->setChecked( true );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndReadNotice(), QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ) );
      const QString written = absolute( "results/ndvi.tif" );
      QCOMPARE( complete.count(), 1 );
      QCOMPARE( complete.at( 0 ).at( 0 ).toString(), written );

      std::unique_ptr<GDALDataset> out( GDALDataset::Open( written.toUtf8().constData(), GDAL_OF_RASTER ) );
      QVERIFY( out );
      QCOMPARE( QString( out->GetDriver()->GetDescription() ), QStringLiteral( "GTiff" ) );
      QCOMPARE( out->GetRasterCount(), 1 );
      QCOMPARE( out->GetRasterBand( 1 )->GetRasterDataType(), GDT_Float32 );
      QCOMPARE( out->GetRasterXSize(), spec.width );
      QCOMPARE( out->GetRasterYSize(), spec.height );
      double transform[6];
      out->GetGeoTransform( transform );
      QCOMPARE( transform[0], originX );
      QCOMPARE( transform[3], originY );
      QCOMPARE( transform[1], 30.0 );
      OGRSpatialReference expectedSrs;
      expectedSrs.importFromEPSG( epsg );
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
      QTest::addColumn<QString>( "notice" );
      QTest::newRow( "empty path and expression" ) << ""
                                                   << ""
                                                   << "Đường dẫn ảnh kết quả KHÔNG khả dụng";
      QTest::newRow( "folder is a file" ) << "blocker/out.tif"
                                          << "\"img@1\""
                                          << "Đường dẫn ảnh kết quả KHÔNG khả dụng";
      QTest::newRow( "vanished folder" ) << "vanished/out.tif"
                                         << "\"img@1\""
                                         << "Đường dẫn ảnh kết quả KHÔNG khả dụng";
      QTest::newRow( "does not parse" ) << "out.tif"
                                        << "\"img@1\" + "
                                        << "Biểu thức KHÔNG hợp lệ";
      QTest::newRow( "output is a folder" ) << "taken.tif"
                                            << "\"img@1\" * 2"
                                            << "Lỗi không thể ghi file kết quả";
      QTest::newRow( "removed layer" ) << "gone.tif"
                                       << "\"removed@1\" * 2"
                                       << "Lỗi kênh ảnh không hợp lệ";
      QTest::newRow( "band the layer lacks" ) << "nine.tif"
                                              << "\"img@9\""
                                              << "Lỗi kênh ảnh không hợp lệ";
    }
    void everyFailureIsReportedInPink()
    {
      QFETCH( QString, output );
      QFETCH( QString, expression );
      QFETCH( QString, notice );
      addRasterLayer( "img" );
      QgsProject::instance()->removeMapLayer( addRasterLayer( "removed" ) );
      TestSupport::writeBytes( "blocker", "a file" );
      QDir().mkpath( "taken.tif" );
      showDialog();
      setOutput( output.isEmpty() ? QString() : absolute( output ) );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( expression );
      find<QCheckBox>( "autoOpenCheckBox" )->setChecked( true );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndReadNotice(), notice );
      QVERIFY( find<QLabel>( "noticeLabel" )->text().contains( "#ff007f" ) );
      QCOMPARE( complete.count(), 0 );
      QTest::qWait( 50 );
      QVERIFY( mDialog->isVisible() );
      QVERIFY( find<QProgressBar>( "progressBar" )->isHidden() );
      if ( output == "gone.tif" || output == "nine.tif" )
        QVERIFY( !QFile::exists( absolute( output ) ) );
    }

    void noRasterInTheProjectIsAnInputError()
    {
      showDialog();
      setOutput( absolute( "constant.tif" ) );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( "1 + 1" );
      QCOMPARE( applyAndReadNotice(), QStringLiteral( "Lỗi không đọc được kênh ảnh" ) );
      QVERIFY( !QFile::exists( absolute( "constant.tif" ) ) );
    }

    void aFullDiskIsNotASuccess()
    {
      QDir().mkpath( "small" );
      QProcess mount;
      mount.start( "mount", { "-t", "tmpfs", "-o", "size=64k", "tmpfs", absolute( "small" ) } );
      if ( !mount.waitForFinished() || mount.exitCode() != 0 )
        QSKIP( "cannot mount a small tmpfs here" );
      TestSupport::RasterSpec spec;
      spec.width = 300;
      spec.height = 300;
      addRasterLayer( "img", spec );
      showDialog();
      setOutput( absolute( "small/full.tif" ) );
      find<QTextEdit>( "expressionTextEdit" )->setPlainText( "\"img@1\" + 1" );
      const QString notice = applyAndReadNotice();
      QProcess::execute( "umount", { absolute( "small" ) } );
      QCOMPARE( notice, QStringLiteral( "Lỗi không thể ghi file kết quả" ) );
      QVERIFY( find<QProgressBar>( "progressBar" )->isHidden() );
      QVERIFY( mDialog->isVisible() );
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
      bool visibleWhileMoving = true;
      connect( progress, &QProgressBar::valueChanged, this,
               [&]( int value )
               {
                 seen << value;
                 visibleWhileMoving = visibleWhileMoving && progress->isVisible();
               } );
      QSignalSpy complete( mDialog, &BandMathDialog::complete );
      QCOMPARE( applyAndReadNotice(), QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ) );
      QVERIFY2( seen.size() > 10, qPrintable( QString::number( seen.size() ) ) );
      QVERIFY( *std::max_element( seen.begin(), seen.end() ) >= 90 );
      QVERIFY( visibleWhileMoving );
      QVERIFY( progress->isHidden() );
      QCOMPARE( complete.count(), 0 );
      QTRY_VERIFY( !mDialog->isVisible() );
      // Another suffix stays as typed and GeoTIFF writes under it.
      std::unique_ptr<GDALDataset> out(
          GDALDataset::Open( absolute( "doubled.img" ).toUtf8().constData(), GDAL_OF_RASTER ) );
      QVERIFY( out );
      QCOMPARE( QString( out->GetDriver()->GetDescription() ), QStringLiteral( "GTiff" ) );
      QCOMPARE( TestSupport::readBand( absolute( "doubled.img" ), 1 ).at( 5 ), 2 * TestSupport::valueAt( 1, 5, 0 ) );
    }
};

RASTOVA_TEST_MAIN( TestBandMath )
#include "TestBandMath.moc"
