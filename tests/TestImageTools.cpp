#include "Core/Utils.h"
#include "Gui/MenuBar.h"
#include "TestSupport.h"
#include "Tools/ImageCombinationDialog.h"
#include "Tools/ImageSeparationDialog.h"
#include "Processing/RasterBands.h"
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
#include <QTextDocumentFragment>
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

TestSupport::RasterSpec spec( int bands, GDALDataType type, bool noData = false, double noDataValue = 0 )
{
  TestSupport::RasterSpec result;
  result.bands = bands;
  result.type = type;
  result.hasNoData = noData;
  result.noData = noDataValue;
  return result;
}

QString plainNotice( const QWidget *dialog )
{
  return QTextDocumentFragment::fromHtml( dialog->findChild<QLabel *>( "noticeLabel" )->text() ).toPlainText();
}

std::unique_ptr<GDALDataset> openWritten( const QString &path )
{
  return std::unique_ptr<GDALDataset>( GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER ) );
}

bool mountTinyDisk( const QString &folder )
{
  QDir().mkpath( folder );
  return QProcess::execute( "mount", { "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder } ) == 0;
}
} // namespace

class TestImageTools : public TestSupport::WindowTest
{
    Q_OBJECT

  private:
    template <typename Dialog> Dialog *showTool( const QString &command )
    {
      for ( QAction *action : mWindow->findChild<MenuBar *>()->menu( 3 )->actions() )
        if ( action->text() == command )
          action->trigger();
      auto *dialog = mWindow->findChild<Dialog *>();
      return dialog && dialog->isVisible() ? dialog : nullptr;
    }

    ImageCombinationDialog *showCombination( const QStringList &layerNames, const QString &output )
    {
      auto *dialog = showTool<ImageCombinationDialog>( "Gộp kênh ảnh" );
      auto *choices = dialog->findChild<QWidget *>( "mapLayerComboBox" )->findChild<QComboBox *>();
      for ( const QString &name : layerNames )
      {
        choices->setCurrentIndex( choices->findText( name ) );
        dialog->findChild<QToolButton *>( "addButton" )->click();
      }
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( output );
      return dialog;
    }

    ImageSeparationDialog *showSeparation( const QString &folder )
    {
      auto *dialog = showTool<ImageSeparationDialog>( "Tách kênh ảnh" );
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( folder );
      return dialog;
    }

  private slots:
    void writerFormats()
    {
      WriterFormatComboBox formats;
      QCOMPARE( formats.currentDriverName(), QString() ); // empty until refreshed
      formats.refresh();
      QCOMPARE( formats.currentExtension(), QStringLiteral( "tif" ) );
      auto *combo = formats.findChild<QComboBox *>();
      combo->setCurrentIndex( combo->findData( "HFA" ) );
      QCOMPARE( formats.currentExtension(), QStringLiteral( "img" ) );
      formats.setLayerType( 1 );
      formats.refresh();
      QCOMPARE( combo->currentIndex(), 0 );
      combo->setCurrentIndex( combo->findData( "ESRI Shapefile" ) );
      QCOMPARE( formats.currentExtension(), QStringLiteral( "shp" ) );
    }

    void stackTypeHoldsEveryBand_data()
    {
      QTest::addColumn<int>( "first" );
      QTest::addColumn<int>( "second" );
      QTest::addColumn<int>( "stacked" );
      QTest::newRow( "Byte, Byte" ) << int( GDT_Byte ) << int( GDT_Byte ) << int( Qgis::DataType::Byte );
      QTest::newRow( "Byte, UInt16" ) << int( GDT_Byte ) << int( GDT_UInt16 ) << int( Qgis::DataType::UInt16 );
      QTest::newRow( "UInt16, Int16" ) << int( GDT_UInt16 ) << int( GDT_Int16 ) << int( Qgis::DataType::Int32 );
      QTest::newRow( "Byte, Float32" ) << int( GDT_Byte ) << int( GDT_Float32 ) << int( Qgis::DataType::Float32 );
      QTest::newRow( "Int32, Float32" ) << int( GDT_Int32 ) << int( GDT_Float32 ) << int( Qgis::DataType::Float64 );
    }
    void stackTypeHoldsEveryBand()
    {
      QFETCH( int, first );
      QFETCH( int, second );
      QFETCH( int, stacked );
      QgsRasterLayer *a = addRasterLayer( "a", spec( 1, GDALDataType( first ) ) );
      QgsRasterLayer *b = addRasterLayer( "b", spec( 2, GDALDataType( second ) ) );
      QCOMPARE( int( RasterBands::stackDataType( { a, b } ) ), stacked );
    }

    void combinationStacksBandsWithTheirNoData()
    {
      QgsRasterLayer *scene = addRasterLayer( "scene", spec( 3, GDT_UInt16, true, 0 ) );
      QgsRasterLayer *ndvi = addRasterLayer( "ndvi", spec( 1, GDT_Float32, true, 0 ) );
      auto *dialog = showCombination( { "scene", "ndvi" }, absolute( "stack" ) );
      dialog->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QList<int> progress;
      connect( dialog->findChild<QProgressBar *>( "progressBar" ), &QProgressBar::valueChanged, this,
               [&progress]( int value ) { progress << value; } );
      QSignalSpy complete( dialog, &ImageCombinationDialog::complete );
      dialog->findChild<QPushButton *>( "applyButton" )->click();

      QCOMPARE( plainNotice( dialog ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      QCOMPARE( progress, QList<int>( { 25, 50, 75, 100 } ) );
      const QString written = absolute( "stack.tif" );
      QCOMPARE( complete.count(), 1 );
      QCOMPARE( complete.at( 0 ).at( 0 ).toString(), written );
      std::unique_ptr<GDALDataset> out = openWritten( written );
      QVERIFY( out );
      QCOMPARE( out->GetRasterCount(), 4 );
      QCOMPARE( out->GetRasterBand( 1 )->GetRasterDataType(), GDT_Float32 );
      const QString sources[] = { scene->source(), scene->source(), scene->source(), ndvi->source() };
      const int sourceBands[] = { 1, 2, 3, 1 };
      for ( int band = 1; band <= 4; ++band )
      {
        QCOMPARE( TestSupport::readBand( written, band ),
                  TestSupport::readBand( sources[band - 1], sourceBands[band - 1] ) );
        int has = 0;
        QCOMPARE( out->GetRasterBand( band )->GetNoDataValue( &has ), 0.0 );
        QVERIFY( has );
      }
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

    void differentNoDataValuesBecomeNaN()
    {
      const double sceneNoData = TestSupport::valueAt( 1, 0, 0 );
      QgsRasterLayer *scene = addRasterLayer( "scene", spec( 2, GDT_UInt16, true, sceneNoData ) );
      QgsRasterLayer *dem = addRasterLayer( "dem", spec( 1, GDT_Byte ) );
      QString error;
      QVERIFY2( RasterBands::stack( { scene, dem }, absolute( "mixed.tif" ), "GTiff", {}, &error ),
                qPrintable( error ) );
      std::unique_ptr<GDALDataset> out = openWritten( absolute( "mixed.tif" ) );
      QCOMPARE( out->GetRasterBand( 1 )->GetRasterDataType(), GDT_Float32 );
      int has = 0;
      QVERIFY( std::isnan( out->GetRasterBand( 1 )->GetNoDataValue( &has ) ) && has );
      QVector<double> band1 = TestSupport::readBand( absolute( "mixed.tif" ), 1 );
      const QVector<double> source1 = TestSupport::readBand( scene->source(), 1 );
      QVERIFY( std::isnan( band1[0] ) );
      QCOMPARE( band1.mid( 1 ), source1.mid( 1 ) );
      QCOMPARE( TestSupport::readBand( absolute( "mixed.tif" ), 3 ), TestSupport::readBand( dem->source(), 1 ) );
    }

    void orderAndResolutionFollowTheList()
    {
      addRasterLayer( "first", spec( 1, GDT_UInt16 ) );
      TestSupport::RasterSpec coarse = spec( 1, GDT_UInt16 );
      coarse.width = 10;
      coarse.height = 5;
      coarse.pixelSize = 60;
      QgsRasterLayer *half = addRasterLayer( "half", coarse );
      auto *dialog = showCombination( { "first", "half" }, absolute( "ordered.tif" ) );
      auto *list = dialog->findChild<QListWidget *>( "bandListWidget" );
      list->setCurrentRow( 1 );
      dialog->findChild<QToolButton *>( "upButton" )->click();
      QCOMPARE( list->item( 0 )->text(), QStringLiteral( "half" ) );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( plainNotice( dialog ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      std::unique_ptr<GDALDataset> out = openWritten( absolute( "ordered.tif" ) );
      QCOMPARE( out->GetRasterXSize(), 10 );
      QCOMPARE( TestSupport::readBand( absolute( "ordered.tif" ), 1 ), TestSupport::readBand( half->source(), 1 ) );
      // The 30 m image is read on the 60 m grid of the first listed one, nearest
      // neighbour: output pixel (1, 0) is centred where source pixel (3, 1) starts.
      QCOMPARE( TestSupport::readBand( absolute( "ordered.tif" ), 2 ).at( 1 ), TestSupport::valueAt( 1, 3, 1 ) );
    }

    void combinationRefusals_data()
    {
      QTest::addColumn<QStringList>( "rows" );
      QTest::addColumn<QString>( "output" );
      QTest::addColumn<QString>( "notice" );
      QTest::newRow( "empty list" ) << QStringList() << "out.tif"
                                    << "Chưa có ảnh nào được chọn";
      QTest::newRow( "unwritable path" ) << QStringList{ "a" } << "blocker/out.tif"
                                         << "Đường dẫn ảnh kết quả không khả dụng";
      QTest::newRow( "no usable rows" ) << QStringList{ "gone" } << "out.tif"
                                        << "Không có kênh ảnh nào khả dụng";
      QTest::newRow( "another CRS" ) << QStringList{ "a", "mercator" } << "out.tif"
                                     << "Các ảnh không cùng khu vực hoặc hệ tọa độ";
      QTest::newRow( "another extent" ) << QStringList{ "a", "shifted" } << "out.tif"
                                        << "Các ảnh không cùng khu vực hoặc hệ tọa độ";
    }
    void combinationRefusals()
    {
      QFETCH( QStringList, rows );
      QFETCH( QString, output );
      QFETCH( QString, notice );
      addRasterLayer( "a" );
      TestSupport::RasterSpec mercator;
      mercator.epsg = 3857;
      addRasterLayer( "mercator", mercator );
      TestSupport::RasterSpec shifted;
      shifted.originX += 30;
      addRasterLayer( "shifted", shifted );
      QgsRasterLayer *gone = addRasterLayer( "gone" );
      TestSupport::writeBytes( "blocker", "file" );
      auto *dialog = showCombination( rows, absolute( output ) );
      QgsProject::instance()->removeMapLayer( gone );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( plainNotice( dialog ), notice );
      QVERIFY( !QFile::exists( absolute( "out.tif" ) ) );
      QVERIFY( dialog->isVisible() );
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
      QList<int> progress;
      connect( dialog->findChild<QProgressBar *>( "progressBar" ), &QProgressBar::valueChanged, this,
               [&progress]( int value ) { progress << value; } );
      QSignalSpy complete( dialog, &ImageSeparationDialog::complete );
      dialog->findChild<QPushButton *>( "applyButton" )->click();

      QCOMPARE( plainNotice( dialog ), QStringLiteral( "Tách kênh ảnh đã hoàn thành" ) );
      QCOMPARE( progress, QList<int>( { 16, 33, 50, 66, 83, 100 } ) );
      QStringList expected;
      for ( int band = 1; band <= 6; ++band )
        expected << absolute( band == 2 ? "bands/nir.tif" : QStringLiteral( "bands/scene-band%1.tif" ).arg( band ) );
      QCOMPARE( complete.at( 0 ).at( 0 ).toStringList(), expected );
      for ( int band = 1; band <= 6; ++band )
      {
        std::unique_ptr<GDALDataset> out = openWritten( expected[band - 1] );
        QVERIFY( out );
        QCOMPARE( out->GetRasterCount(), 1 );
        QCOMPARE( out->GetRasterBand( 1 )->GetRasterDataType(), GDT_Int16 );
        int has = 0;
        QCOMPARE( out->GetRasterBand( 1 )->GetNoDataValue( &has ), -32768.0 );
        QVERIFY( has );
        QCOMPARE( TestSupport::readBand( expected[band - 1], 1 ), TestSupport::readBand( layer->source(), band ) );
      }
      QTRY_COMPARE( QgsProject::instance()->count(), 7 );
    }

    void separationRefusals()
    {
      QgsRasterLayer *single = addRasterLayer( "single", spec( 1, GDT_Float32 ) );
      auto *dialog = showSeparation( QString() );
      QCOMPARE( dialog->findChild<QLineEdit *>( "pixelTypeLineEdit" )->text(), QStringLiteral( "32 bit" ) );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( plainNotice( dialog ), QStringLiteral( "Chưa chọn thư mục lưu ảnh kết quả" ) );

      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( QDir::currentPath() );
      QTest::ignoreMessage( QtCriticalMsg, "BandCount < 2" );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( plainNotice( dialog ), QStringLiteral( "Không thể tách kênh ảnh" ) );
      QgsProject::instance()->removeMapLayer( single );
      dialog->close();

      addRasterLayer( "pair", spec( 2, GDT_Byte ) );
      dialog = showSeparation( QDir::currentPath() );
      dialog->findChild<QListWidget *>( "bandListWidget" )->item( 1 )->setText( "pair-band1" );
      QTest::ignoreMessage( QtCriticalMsg, QRegularExpression( "pair-band1\\.tif is named for two bands" ) );
      dialog->findChild<QPushButton *>( "applyButton" )->click();
      QCOMPARE( plainNotice( dialog ), QStringLiteral( "Không thể tách kênh ảnh" ) );
      QVERIFY( !QFile::exists( absolute( "pair-band1.tif" ) ) );
    }

    void aFullDiskFailsBothTools()
    {
      if ( !mountTinyDisk( absolute( "tiny" ) ) )
        QSKIP( "cannot mount a small tmpfs here" );
      TestSupport::RasterSpec big = spec( 3, GDT_UInt16 );
      big.width = 200;
      big.height = 200;
      addRasterLayer( "big", big );
      auto *combination = showCombination( { "big" }, absolute( "tiny/stack.tif" ) );
      QSignalSpy combined( combination, &ImageCombinationDialog::complete );
      combination->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QTest::ignoreMessage( QtCriticalMsg, QRegularExpression( "Image combination failed" ) );
      combination->findChild<QPushButton *>( "applyButton" )->click();
      const QString combinationNotice = plainNotice( combination );
      combination->close();

      auto *separation = showSeparation( absolute( "tiny" ) );
      QSignalSpy separated( separation, &ImageSeparationDialog::complete );
      separation->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QTest::ignoreMessage( QtCriticalMsg, QRegularExpression( "." ) );
      separation->findChild<QPushButton *>( "applyButton" )->click();
      const QString separationNotice = plainNotice( separation );
      QProcess::execute( "umount", { absolute( "tiny" ) } );

      QCOMPARE( combinationNotice, QStringLiteral( "Gộp kênh ảnh thất bại" ) );
      QCOMPARE( combined.count(), 0 );
      QCOMPARE( separationNotice, QStringLiteral( "Không thể tách kênh ảnh" ) );
      QCOMPARE( separated.count(), 0 );
    }
};

RASTOVA_TEST_MAIN( TestImageTools )
#include "TestImageTools.moc"
