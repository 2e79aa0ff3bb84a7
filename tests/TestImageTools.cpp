#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Processing/RasterBands.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"
#include "Tools/ImageCombinationDialog.h"
#include "Tools/ImageSeparationDialog.h"
#include "Widgets/MapLayerComboBox.h"
#include "Widgets/WriterFormatComboBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <gdal_priv.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>

#include <cmath>
#include <memory>

namespace
{
using TestSupport::absolute;
using TestSupport::addRasterLayer;
using TestSupport::applyAndWait;

TestSupport::RasterSpec spec( int bands, GDALDataType type, bool noData = false, double noDataValue = 0 )
{
  TestSupport::RasterSpec result;
  result.bands = bands;
  result.type = type;
  result.hasNoData = noData;
  result.noData = noDataValue;
  return result;
}

} // namespace

class TestImageTools : public TestSupport::WindowTest
{
    Q_OBJECT

  private:
    ImageCombinationDialog *showCombination( const QList<QgsRasterLayer *> &layers, const QString &output )
    {
      auto *dialog = TestSupport::showTool<ImageCombinationDialog>( "Gộp kênh ảnh" );
      auto *choices = dialog->findChild<MapLayerComboBox *>( "mapLayerComboBox" );
      for ( QgsRasterLayer *layer : layers )
      {
        choices->setLayer( layer );
        dialog->findChild<QToolButton *>( "addButton" )->click();
      }
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( output );
      return dialog;
    }

    ImageSeparationDialog *showSeparation( const QString &folder )
    {
      auto *dialog = TestSupport::showTool<ImageSeparationDialog>( "Tách kênh ảnh" );
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( folder );
      return dialog;
    }

  private slots:
    void writerFormats_data()
    {
      QTest::addColumn<int>( "layerType" );
      QTest::addColumn<QString>( "driver" );
      QTest::addColumn<QString>( "extension" );
      // clang-format off
      QTest::newRow( "GeoTIFF" ) << 0 << "GTiff" << "tif";
      QTest::newRow( "Erdas Imagine" ) << 0 << "HFA" << "img";
      QTest::newRow( "ENVI has none" ) << 0 << "ENVI" << "";
      QTest::newRow( "Shapefile" ) << 1 << "ESRI Shapefile" << "shp";
      // clang-format on
    }
    void writerFormats()
    {
      QFETCH( int, layerType );
      QFETCH( QString, driver );
      QFETCH( QString, extension );
      WriterFormatComboBox formats;
      formats.setLayerType( layerType );
      formats.refresh();
      auto *combo = formats.findChild<QComboBox *>();
      combo->setCurrentIndex( combo->findData( driver ) );
      QCOMPARE( formats.currentDriverName(), driver );
      QCOMPARE( formats.currentExtension(), extension );
    }

    void stackTypeHoldsEveryBand_data()
    {
      QTest::addColumn<int>( "first" );
      QTest::addColumn<int>( "second" );
      QTest::addColumn<int>( "stacked" );
      QTest::newRow( "Byte, UInt16" ) << int( GDT_Byte ) << int( GDT_UInt16 ) << int( Qgis::DataType::UInt16 );
      QTest::newRow( "Int32, Float32" ) << int( GDT_Int32 ) << int( GDT_Float32 ) << int( Qgis::DataType::Float64 );
    }
    void stackTypeHoldsEveryBand()
    {
      QFETCH( int, first );
      QFETCH( int, second );
      QFETCH( int, stacked );
      QgsRasterLayer *a = addRasterLayer( "a", spec( 1, GDALDataType( first ) ) );
      QgsRasterLayer *b = addRasterLayer( "b", spec( 2, GDALDataType( second ) ) );
      QCOMPARE( int( RasterBands::stackDataType( RasterBands::stackRequest( { a, b }, {}, {} ).sources ) ), stacked );
    }

    void combinationStacksBandsWithTheirNoData()
    {
      QgsRasterLayer *scene = addRasterLayer( "scene", spec( 3, GDT_UInt16, true, 0 ) );
      QgsRasterLayer *ndvi = addRasterLayer( "ndvi", spec( 1, GDT_Float32, true, 0 ) );
      auto *dialog = showCombination( { scene, ndvi }, absolute( "stack" ) );
      dialog->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QList<int> progress;
      connect( dialog->findChild<QProgressBar *>( "progressBar" ), &QProgressBar::valueChanged, this,
               [&progress]( int value ) { progress << value; } );
      QSignalSpy complete( dialog, &ImageCombinationDialog::complete );

      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      QVERIFY( progress.contains( 100 ) );
      const QString written = absolute( "stack.tif" );
      QCOMPARE( complete.count(), 1 );
      QCOMPARE( complete.at( 0 ).at( 0 ).toString(), written );
      QCOMPARE( TestSupport::checkWritten(
                    written,
                    { { scene->source(), 1 }, { scene->source(), 2 }, { scene->source(), 3 }, { ndvi->source(), 1 } },
                    GDT_Float32, 0 ),
                QString() );
      std::unique_ptr<GDALDataset> out = TestSupport::openRaster( written );
      OGRSpatialReference utmSouth;
      utmSouth.importFromEPSG( 32748 );
      QVERIFY( out->GetSpatialRef() && out->GetSpatialRef()->IsSame( &utmSouth ) );
      double transform[6];
      out->GetGeoTransform( transform );
      QCOMPARE( transform[0], 500000.0 );
      QCOMPARE( transform[3], 9000000.0 );
      QTRY_COMPARE( QgsProject::instance()->mapLayersByName( "stack" ).size(), 1 );
      QTRY_VERIFY_WITH_TIMEOUT( !dialog->isVisible(), 3000 );
    }

    void differentNoDataBecomesDeclaredNaN_data()
    {
      QTest::addColumn<bool>( "sceneHasNoData" );
      QTest::newRow( "scene with its own no-data" ) << true;
      QTest::newRow( "scene without no-data first" ) << false;
    }
    void differentNoDataBecomesDeclaredNaN()
    {
      QFETCH( bool, sceneHasNoData );
      QgsRasterLayer *scene = addRasterLayer( "scene", spec( 2, GDT_UInt16, sceneHasNoData, 1000 ) );
      QgsRasterLayer *index = addRasterLayer( "index", spec( 1, GDT_Float32, true, 1037 ) );
      const ProcessingResult result = RasterBands::stack(
          RasterBands::stackRequest( { scene, index }, absolute( "mixed.tif" ), "GTiff" ), nullptr );
      QVERIFY2( result.done(), qPrintable( result.reason ) );
      std::unique_ptr<GDALDataset> out = TestSupport::openRaster( absolute( "mixed.tif" ) );
      QCOMPARE( out->GetRasterBand( 1 )->GetRasterDataType(), GDT_Float32 );
      for ( int band = 1; band <= 3; ++band )
      {
        int has = 0;
        QVERIFY( std::isnan( out->GetRasterBand( band )->GetNoDataValue( &has ) ) && has );
      }
      // valueAt( 1, 0, 0 ) is 1000 and valueAt( 1, 0, 1 ) is 1037.
      const QVector<double> band1 = TestSupport::readBand( absolute( "mixed.tif" ), 1 );
      QCOMPARE( std::isnan( band1[0] ), sceneHasNoData );
      QCOMPARE( band1.mid( 1 ), TestSupport::readBand( scene->source(), 1 ).mid( 1 ) );
      const QVector<double> band3 = TestSupport::readBand( absolute( "mixed.tif" ), 3 );
      QVERIFY( std::isnan( band3[20] ) );
      QCOMPARE( band3[0], 1000.0 );
    }

    void sameNamedImagesStayDistinct_data()
    {
      QTest::addColumn<bool>( "laterFirst" );
      QTest::newRow( "2020 then 2021" ) << false;
      QTest::newRow( "2021 then 2020" ) << true;
    }
    void sameNamedImagesStayDistinct()
    {
      QFETCH( bool, laterFirst );
      QDir().mkpath( "2020" );
      QDir().mkpath( "2021" );
      TestSupport::RasterSpec later = spec( 1, GDT_Float32 );
      later.offset = 0.5;
      QgsRasterLayer *earlier = addRasterLayer( "2020/ndvi", spec( 1, GDT_Float32 ) );
      QgsRasterLayer *newer = addRasterLayer( "2021/ndvi", later );
      const QList<QgsRasterLayer *> order =
          laterFirst ? QList<QgsRasterLayer *>{ newer, earlier } : QList<QgsRasterLayer *>{ earlier, newer };
      auto *dialog = showCombination( order, absolute( "series.tif" ) );
      auto *list = dialog->findChild<QListWidget *>( "bandListWidget" );
      QCOMPARE( list->item( 0 )->text(), QStringLiteral( "ndvi" ) );
      QVERIFY( list->item( 0 )->toolTip() != list->item( 1 )->toolTip() );
      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      for ( int band = 1; band <= 2; ++band )
        QCOMPARE( TestSupport::readBand( absolute( "series.tif" ), band ),
                  TestSupport::readBand( order[band - 1]->source(), 1 ) );
    }

    void orderAndResolutionFollowTheList()
    {
      QgsRasterLayer *first = addRasterLayer( "first", spec( 1, GDT_UInt16 ) );
      TestSupport::RasterSpec coarse = spec( 1, GDT_UInt16 );
      coarse.width = 10;
      coarse.height = 5;
      coarse.pixelSize = 60;
      QgsRasterLayer *half = addRasterLayer( "half", coarse );
      auto *dialog = showCombination( { first, half }, absolute( "ordered.tif" ) );
      auto *list = dialog->findChild<QListWidget *>( "bandListWidget" );
      list->setCurrentRow( 1 );
      dialog->findChild<QToolButton *>( "upButton" )->click();
      QCOMPARE( list->item( 0 )->text(), QStringLiteral( "half" ) );
      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      std::unique_ptr<GDALDataset> out = TestSupport::openRaster( absolute( "ordered.tif" ) );
      QCOMPARE( out->GetRasterXSize(), 10 );
      QCOMPARE( TestSupport::readBand( absolute( "ordered.tif" ), 1 ), TestSupport::readBand( half->source(), 1 ) );
      // The 30 m image is read on the 60 m grid of the first listed one, nearest
      // neighbour: output pixel (1, 0) is centred where source pixel (3, 1) starts.
      QCOMPARE( TestSupport::readBand( absolute( "ordered.tif" ), 2 ).at( 1 ), TestSupport::valueAt( 1, 3, 1 ) );
    }

    void combinationChecks_data()
    {
      QTest::addColumn<QStringList>( "rows" );
      QTest::addColumn<QString>( "output" );
      QTest::addColumn<QString>( "notice" );
      // clang-format off
      QTest::newRow( "empty list" ) << QStringList() << "out.tif" << "Chưa có ảnh nào được chọn";
      QTest::newRow( "unwritable path" ) << QStringList{ "a" } << "blocker/out.tif" << "Đường dẫn ảnh kết quả không khả dụng";
      QTest::newRow( "every image gone" ) << QStringList{ "gone" } << "out.tif" << "Không có kênh ảnh nào khả dụng";
      QTest::newRow( "one image gone" ) << QStringList{ "a", "gone" } << "out.tif" << "Ảnh không còn trên bản đồ: gone";
      QTest::newRow( "another CRS" ) << QStringList{ "a", "mercator" } << "out.tif" << "Các ảnh không cùng khu vực hoặc hệ tọa độ";
      QTest::newRow( "a pixel off" ) << QStringList{ "a", "shifted" } << "out.tif" << "Các ảnh không cùng khu vực hoặc hệ tọa độ";
      QTest::newRow( "corners through decimal text" ) << QStringList{ "a", "rounded" } << "out.tif" << "Gộp kênh ảnh đã hoàn thành";
      // clang-format on
    }
    void combinationChecks()
    {
      QFETCH( QStringList, rows );
      QFETCH( QString, output );
      QFETCH( QString, notice );
      QMap<QString, QgsRasterLayer *> layers;
      layers["a"] = addRasterLayer( "a" );
      TestSupport::RasterSpec mercator;
      mercator.epsg = 3857;
      layers["mercator"] = addRasterLayer( "mercator", mercator );
      TestSupport::RasterSpec shifted;
      shifted.originX += 30;
      layers["shifted"] = addRasterLayer( "shifted", shifted );
      TestSupport::RasterSpec rounded;
      rounded.originX += 0.000004;
      layers["rounded"] = addRasterLayer( "rounded", rounded );
      layers["gone"] = addRasterLayer( "gone" );
      TestSupport::writeBytes( "blocker", "file" );
      QList<QgsRasterLayer *> listed;
      for ( const QString &row : rows )
        listed << layers[row];
      auto *dialog = showCombination( listed, absolute( output ) );
      QgsProject::instance()->removeMapLayer( layers["gone"] );
      QCOMPARE( applyAndWait( dialog ), notice );
      QCOMPARE( QFile::exists( absolute( "out.tif" ) ), notice == QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
    }

    void separationWritesEveryBandWithItsTypeAndNoData()
    {
      TestSupport::RasterSpec six = spec( 6, GDT_Int16, true, -32768 );
      six.originX = -70000;
      QgsRasterLayer *layer = addRasterLayer( "scene", six );
      QDir().mkpath( "bands" );
      auto *dialog = showSeparation( absolute( "bands" ) );
      QCOMPARE( dialog->findChild<QLineEdit *>( "bandCountLineEdit" )->text(), QStringLiteral( "6" ) );
      QCOMPARE( dialog->findChild<QLineEdit *>( "pixelTypeLineEdit" )->text(), QStringLiteral( "16 bit" ) );
      auto *names = dialog->findChild<QListWidget *>( "bandListWidget" );
      QCOMPARE( names->item( 0 )->text(), QStringLiteral( "scene-band1" ) );
      QVERIFY( names->item( 1 )->flags().testFlag( Qt::ItemIsEditable ) );
      names->item( 1 )->setText( "nir" );
      dialog->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QSignalSpy complete( dialog, &ImageSeparationDialog::complete );

      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Tách kênh ảnh đã hoàn thành" ) );
      QStringList expected;
      for ( int band = 1; band <= 6; ++band )
        expected << absolute( band == 2 ? "bands/nir.tif" : QStringLiteral( "bands/scene-band%1.tif" ).arg( band ) );
      QCOMPARE( complete.at( 0 ).at( 0 ).toStringList(), expected );
      for ( int band = 1; band <= 6; ++band )
        QCOMPARE( TestSupport::checkWritten( expected[band - 1], { { layer->source(), band } }, GDT_Int16, -32768 ),
                  QString() );
      QTRY_COMPARE( QgsProject::instance()->count(), 7 );
    }

    void separationNamesFitTheFormat()
    {
      addRasterLayer( "pair", spec( 2, GDT_Byte ) );
      auto *dialog = showSeparation( absolute( "missing" ) );
      QCOMPARE( applyAndWait( dialog ).section( '\n', 0, 0 ),
                QStringLiteral( "Thư mục lưu ảnh kết quả không tồn tại" ) );

      QDir().mkpath( "envi" );
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( absolute( "envi" ) );
      auto *formats = dialog->findChild<QWidget *>( "formatComboBox" )->findChild<QComboBox *>();
      formats->setCurrentIndex( formats->findData( "ENVI" ) );
      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Tách kênh ảnh đã hoàn thành" ) );
      const QStringList written = QDir( "envi" ).entryList( QDir::Files | QDir::Hidden );
      QVERIFY2( written.contains( "pair-band1" ) && written.contains( "pair-band2.hdr" ),
                qPrintable( written.join( ' ' ) ) );
      QVERIFY( !written.contains( "pair-band1." ) );
      QCOMPARE( TestSupport::readBand( absolute( "envi/pair-band2" ), 1 ),
                TestSupport::readBand( absolute( "pair.tif" ), 2 ) );
    }

    void separationRefusals()
    {
      QgsRasterLayer *single = addRasterLayer( "single", spec( 1, GDT_Float32 ) );
      auto *dialog = showSeparation( QString() );
      QCOMPARE( dialog->findChild<QLineEdit *>( "pixelTypeLineEdit" )->text(), QStringLiteral( "32 bit" ) );
      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Chưa chọn thư mục lưu ảnh kết quả" ) );

      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( QDir::currentPath() );
      QTest::ignoreMessage( QtCriticalMsg, "BandCount < 2" );
      QVERIFY( applyAndWait( dialog ).startsWith( QStringLiteral( "Không thể tách kênh ảnh" ) ) );
      QgsProject::instance()->removeMapLayer( single );
      dialog->close();

      addRasterLayer( "pair", spec( 2, GDT_Byte ) );
      dialog = showSeparation( QDir::currentPath() );
      dialog->findChild<QListWidget *>( "bandListWidget" )->item( 1 )->setText( "pair-band1" );
      QTest::ignoreMessage( QtCriticalMsg, QRegularExpression( "pair-band1\\.tif is named for two bands" ) );
      QVERIFY( applyAndWait( dialog ).startsWith( QStringLiteral( "Không thể tách kênh ảnh" ) ) );
      QVERIFY( !QFile::exists( absolute( "pair-band1.tif" ) ) );
    }

    void failedRunsKeepEarlierFiles_data()
    {
      QTest::addColumn<bool>( "stack" );
      QTest::addColumn<QString>( "failure" );
      QTest::addColumn<QString>( "notice" );
      // clang-format off
      QTest::newRow( "stack, writes fail" ) << true << "limit" << "Gộp kênh ảnh thất bại";
      QTest::newRow( "stack, full disk" ) << true << "disk" << "Gộp kênh ảnh thất bại";
      QTest::newRow( "stack, cancelled" ) << true << "cancel" << "Đã hủy gộp kênh ảnh";
      QTest::newRow( "split, writes fail" ) << false << "limit" << "Không thể tách kênh ảnh";
      QTest::newRow( "split, full disk" ) << false << "disk" << "Không thể tách kênh ảnh";
      QTest::newRow( "split, cancelled" ) << false << "cancel" << "Đã hủy tách kênh ảnh";
      // clang-format on
    }
    void failedRunsKeepEarlierFiles()
    {
      QFETCH( bool, stack );
      QFETCH( QString, failure );
      QFETCH( QString, notice );
      const QString folder = absolute( "results" );
      if ( failure == "disk" ? !TestSupport::mountSmallDisk( folder ) : !QDir().mkpath( folder ) )
        QSKIP( "cannot mount a small tmpfs here" );
      TestSupport::RasterSpec big = spec( 3, GDT_UInt16 );
      big.width = failure == "cancel" ? 3000 : 200;
      big.height = failure == "cancel" ? 3000 : 200;
      QgsRasterLayer *layer = addRasterLayer( "big", big );
      const QString earlier = stack ? folder + "/stack.tif" : folder + "/big-band2.tif";
      TestSupport::writeRaster( earlier, spec( 1, GDT_Byte ) );
      const QMap<QString, QByteArray> before = TestSupport::folderContents( folder );

      QWidget *dialog = stack ? static_cast<QWidget *>( showCombination( { layer }, folder + "/stack.tif" ) )
                              : showSeparation( folder );
      if ( failure != "cancel" )
        QTest::ignoreMessage( QtCriticalMsg, QRegularExpression( "." ) );
      std::unique_ptr<TestSupport::FileSizeLimit> limit;
      if ( failure == "limit" )
        limit = std::make_unique<TestSupport::FileSizeLimit>( 64 * 1024 );
      if ( failure == "cancel" )
        QTimer::singleShot( 0, dialog->findChild<QPushButton *>( "stopButton" ), &QPushButton::click );
      const QString shown = applyAndWait( dialog );
      limit.reset();
      const QMap<QString, QByteArray> after = TestSupport::folderContents( folder );
      if ( failure == "disk" )
        QProcess::execute( "umount", { folder } );

      QCOMPARE( shown.section( '\n', 0, 0 ), notice );
      QVERIFY( dialog->isVisible() );
      QCOMPARE( after.keys(), before.keys() );
      QVERIFY( after == before );
      QCOMPARE( QgsProject::instance()->count(), 1 );
    }

    void derivedImagesLineUpWithTheirSource_data()
    {
      QTest::addColumn<int>( "epsg" );
      QTest::addColumn<double>( "originX" );
      QTest::addColumn<double>( "originY" );
      QTest::addColumn<double>( "pixelSize" );
      QTest::newRow( "degrees, west and south" ) << 4326 << -35.4123456789 << -7.1234567891 << 0.000256789123;
      QTest::newRow( "UTM 25 south" ) << 32725 << 204567.891 << 9123456.789 << 28.5;
    }
    void derivedImagesLineUpWithTheirSource()
    {
      QFETCH( int, epsg );
      QFETCH( double, originX );
      QFETCH( double, originY );
      QFETCH( double, pixelSize );
      TestSupport::RasterSpec layout = spec( 4, GDT_UInt16 );
      layout.epsg = epsg;
      layout.originX = originX;
      layout.originY = originY;
      layout.pixelSize = pixelSize;
      QgsRasterLayer *scene = addRasterLayer( "scene", layout );

      // The analyst's chain: an index from band math over the scene's extent, stacked with the scene, split again.
      auto *bandMath = TestSupport::showTool<BandMathDialog>( "Tính toán kênh ảnh" );
      auto *bands = bandMath->findChild<QListWidget *>( "rasterBandListWidget" );
      bands->setCurrentRow( 0 );
      bandMath->findChild<QPushButton *>( "currentLayerExtentButton" )->click();
      bandMath->findChild<QTextEdit *>( "expressionTextEdit" )
          ->setPlainText( "( \"scene@4\" - \"scene@3\" ) / ( \"scene@4\" + \"scene@3\" )" );
      bandMath->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( absolute( "ndvi.tif" ) );
      bandMath->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QCOMPARE( applyAndWait( bandMath ), QStringLiteral( "Tính toán kênh ảnh đã hoàn thành" ) );
      QTRY_COMPARE( QgsProject::instance()->mapLayersByName( "ndvi" ).size(), 1 );
      auto *ndvi = qobject_cast<QgsRasterLayer *>( QgsProject::instance()->mapLayersByName( "ndvi" ).constFirst() );
      QTRY_VERIFY( MainWindow::mapCanvas()->layers().contains( ndvi ) );
      bandMath->close();

      auto *combination = showCombination( { scene, ndvi }, absolute( "stack.tif" ) );
      QCOMPARE( applyAndWait( combination ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      combination->close();
      MainWindow::controller()->openFileName( absolute( "stack.tif" ) );
      QTRY_COMPARE( QgsProject::instance()->mapLayersByName( "stack" ).size(), 1 );
      auto *stack = qobject_cast<QgsRasterLayer *>( QgsProject::instance()->mapLayersByName( "stack" ).constFirst() );
      QTRY_VERIFY( MainWindow::mapCanvas()->layers().contains( stack ) );
      QDir().mkpath( "split" );
      auto *separation = showSeparation( absolute( "split" ) );
      separation->findChild<MapLayerComboBox *>( "mapLayerComboBox" )->setLayer( stack );
      QCOMPARE( applyAndWait( separation ), QStringLiteral( "Tách kênh ảnh đã hoàn thành" ) );

      for ( int band = 1; band <= 4; ++band )
        QCOMPARE( TestSupport::readBand( absolute( QStringLiteral( "split/stack-band%1.tif" ).arg( band ) ), 1 ),
                  TestSupport::readBand( scene->source(), band ) );
      QCOMPARE( TestSupport::readBand( absolute( "split/stack-band5.tif" ), 1 ),
                TestSupport::readBand( absolute( "ndvi.tif" ), 1 ) );
      QVERIFY( RasterGrid::of( ndvi ).linesUpWith( RasterGrid::of( scene ) ) );
    }

    void replacingTouchesOnlyTheTargetsOwnFiles_data()
    {
      QTest::addColumn<QString>( "target" );
      QTest::addColumn<QString>( "kept" );    // a file that must come through unchanged
      QTest::addColumn<QString>( "removed" ); // a stale sidecar of the earlier target
      QTest::addColumn<bool>( "written" );
      // clang-format off
      QTest::newRow( "a VRT's source stays" ) << "own/scene.vrt" << "own/scene.tif" << "" << true;
      QTest::newRow( "stale statistics go" ) << "own/earlier.tif" << "" << "own/earlier.tif.aux.xml" << true;
      QTest::newRow( "a folder that cannot hold it" ) << "blocker/rastova-nowhere.tif" << "blocker" << "" << false;
      // clang-format on
    }
    void replacingTouchesOnlyTheTargetsOwnFiles()
    {
      QFETCH( QString, target );
      QFETCH( QString, kept );
      QFETCH( QString, removed );
      QFETCH( bool, written );
      QDir().mkpath( "own" );
      TestSupport::writeRaster( "own/scene.tif" );
      TestSupport::writeBytes( "own/scene.vrt", "<VRTDataset rasterXSize=\"20\" rasterYSize=\"10\"><VRTRasterBand "
                                                "dataType=\"UInt16\" band=\"1\"><SimpleSource><SourceFilename "
                                                "relativeToVRT=\"1\">scene.tif</SourceFilename><SourceBand>1</"
                                                "SourceBand></SimpleSource></VRTRasterBand></VRTDataset>" );
      TestSupport::writeRaster( "own/earlier.tif" );
      TestSupport::writeBytes( "own/earlier.tif.aux.xml", "<PAMDataset><Metadata><MDI key=\"STALE\">1</MDI>"
                                                          "</Metadata></PAMDataset>" );
      TestSupport::writeBytes( "blocker", "a file, not a folder" );
      QFile keptFile( absolute( kept ) );
      const QByteArray keptBytes = keptFile.open( QIODevice::ReadOnly ) ? keptFile.readAll() : QByteArray();

      QgsRasterLayer *layer = addRasterLayer( "layer", spec( 1, GDT_Byte ) );
      const ProcessingResult result =
          RasterBands::stack( RasterBands::stackRequest( { layer }, absolute( target ), "GTiff" ), nullptr );
      QCOMPARE( result.done(), written );
      QCOMPARE( TestSupport::openRaster( absolute( target ) ) != nullptr, written );
      if ( !kept.isEmpty() )
      {
        QFile after( absolute( kept ) );
        QVERIFY( after.open( QIODevice::ReadOnly ) );
        QCOMPARE( after.readAll(), keptBytes );
      }
      QFile stale( absolute( removed ) );
      QVERIFY( removed.isEmpty() || !stale.open( QIODevice::ReadOnly ) || !stale.readAll().contains( "STALE" ) );
      QVERIFY( !QFile::exists( "/rastova-nowhere.tif" ) );
    }

    void aCompleteResultReplacesEveryFileOfTheEarlierOne()
    {
      QgsRasterLayer *three = addRasterLayer( "three", spec( 3, GDT_Byte ) );
      QgsRasterLayer *one = addRasterLayer( "one", spec( 1, GDT_Byte ) );
      QDir().mkpath( "replaced" );
      for ( QgsRasterLayer *layer : { three, one } )
      {
        const ProcessingResult result =
            RasterBands::stack( RasterBands::stackRequest( { layer }, absolute( "replaced/stack" ), "ENVI" ), nullptr );
        QVERIFY2( result.done(), qPrintable( result.reason ) );
      }
      QCOMPARE( TestSupport::openRaster( absolute( "replaced/stack" ) )->GetRasterCount(), 1 );
      for ( const QString &name :
            QDir( "replaced" ).entryList( QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot ) )
        QVERIFY2( name.startsWith( "stack" ), qPrintable( name ) );
    }
};

RASTOVA_TEST( TestImageTools )
#include "TestImageTools.moc"
