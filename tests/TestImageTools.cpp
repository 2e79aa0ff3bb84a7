#include "TestSupport.h"
#include "Tools/ImageCombinationDialog.h"
#include "Tools/ImageSeparationDialog.h"
#include "Tools/RasterExportDialog.h"
#include "Widgets/MapLayerComboBox.h"

using namespace TestSupport;
using Layout = RasterLayout;

class TestImageTools : public WindowTest
{
    Q_OBJECT

  private:
    ImageCombinationDialog *showCombination( const QList<QgsRasterLayer *> &layers, const QString &output )
    {
      auto *dialog = showTool<ImageCombinationDialog>( "Gộp kênh ảnh" );
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
      auto *dialog = showTool<ImageSeparationDialog>( "Tách kênh ảnh" );
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( folder );
      return dialog;
    }

  private slots:
    void theListKeepsItsOrderAndMarksRepeats()
    {
      QDir().mkpath( "2020" );
      QDir().mkpath( "2021" );
      QgsRasterLayer *fine = addRasterLayer( "2020/ndvi", Layout{ 20, 10, 1, GDT_Float32 } );
      QgsRasterLayer *coarse =
          addRasterLayer( "2021/ndvi", Layout{ 10, 5, 1, GDT_Float32, 32748, 500000, 9000000, 60, false, 0, 0.5 } );
      auto *dialog = showCombination( { fine, coarse, fine }, absolute( "series.tif" ) );
      auto *list = dialog->findChild<QListWidget *>( "bandListWidget" );
      const auto rows = [list]
      {
        QStringList texts; // each row's text and folder, "*" when its tip names the row it repeats
        for ( int row = 0; row < list->count(); ++row )
        {
          const QString tip = list->item( row )->toolTip();
          texts << list->item( row )->text() + ' ' + tip.section( '/', -2, -2 ) + ( tip.contains( '\n' ) ? "*" : "" );
        }
        return texts;
      };
      QCOMPARE( rows(), ( QStringList{ "ndvi 2020", "ndvi 2021", "ndvi (lặp lại) 2020*" } ) );
      auto *up = dialog->findChild<QToolButton *>( "upButton" );
      list->setCurrentRow( 1 );
      up->click();
      list->setCurrentRow( 2 );
      up->click(); // the repeat moves above its twin, which takes the mark
      QCOMPARE( rows(), ( QStringList{ "ndvi 2021", "ndvi 2020", "ndvi (lặp lại) 2020*" } ) );
      list->setCurrentRow( 1 );
      dialog->findChild<QToolButton *>( "removeButton" )->click();
      QCOMPARE( rows(), ( QStringList{ "ndvi 2021", "ndvi 2020" } ) );
      dialog->findChild<QToolButton *>( "addButton" )->click(); // the combo box still shows the last one added
      QCOMPARE( rows(), ( QStringList{ "ndvi 2021", "ndvi 2020", "ndvi (lặp lại) 2020*" } ) );

      dialog->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );
      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Gộp kênh ảnh đã hoàn thành" ) );
      QTRY_COMPARE( QgsProject::instance()->mapLayersByName( "series" ).size(), 1 ); // opened once, from its file
      QTRY_VERIFY_WITH_TIMEOUT( !dialog->isVisible(), 3000 );
      // The first listed image sets the grid; the other is read on it, nearest neighbour: output pixel (1, 0) is
      // centred where, on the 30 m grid, pixel (3, 1) starts.
      const QString series = absolute( "series.tif" );
      QCOMPARE( readBand( series, 1 ), readBand( coarse->source(), 1 ) );
      QCOMPARE( ( QList<double>{ readBand( series, 2 ).at( 1 ), readBand( series, 3 ).at( 1 ) } ),
                ( QList<double>{ valueAt( 1, 3, 1 ), valueAt( 1, 3, 1 ) } ) );
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
      layers["mercator"] = addRasterLayer( "mercator", Layout{ 20, 10, 3, GDT_UInt16, 3857 } );
      layers["shifted"] = addRasterLayer( "shifted", Layout{ 20, 10, 3, GDT_UInt16, 32748, 500030 } );
      layers["rounded"] = addRasterLayer( "rounded", Layout{ 20, 10, 3, GDT_UInt16, 32748, 500000.000004 } );
      layers["gone"] = addRasterLayer( "gone" );
      writeBytes( "blocker", "file" );
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
      QgsRasterLayer *layer =
          addRasterLayer( "scene", Layout{ 20, 10, 6, GDT_Int16, 32748, -70000, 9000000, 30, true, -32768 } );
      const QString folder = absolute( "bands" );
      QDir().mkpath( folder );
      auto *dialog = showSeparation( folder );
      auto *formats = dialog->findChild<QWidget *>( "formatComboBox" )->findChild<QComboBox *>();
      formats->setCurrentIndex( formats->findData( "ENVI" ) ); // no extension, so no trailing dot
      auto *names = dialog->findChild<QListWidget *>( "bandListWidget" );
      QVERIFY( names->item( 1 )->flags().testFlag( Qt::ItemIsEditable ) );
      names->item( 1 )->setText( "nir" );
      dialog->findChild<QCheckBox *>( "autoOpenCheckBox" )->setChecked( true );

      QCOMPARE( applyAndWait( dialog ), QStringLiteral( "Tách kênh ảnh đã hoàn thành" ) );
      for ( int band = 1; band <= 6; ++band )
      {
        const QString written = folder + ( band == 2 ? "/nir" : QStringLiteral( "/scene-band%1" ).arg( band ) );
        QCOMPARE( checkWritten( written, { { layer->source(), band } }, GDT_Int16, -32768 ), QString() );
      }
      QTRY_COMPARE( QgsProject::instance()->count(), 7 ); // each band opened once from its file
    }

    void separationOffersToMakeAMissingFolder_data()
    {
      QTest::addColumn<int>( "bands" );
      QTest::addColumn<QString>( "folder" );
      QTest::addColumn<QString>( "answer" ); // to the question, when one must come
      QTest::addColumn<QString>( "notice" );
      const QString done = "Tách kênh ảnh đã hoàn thành", cannot = "Không thể tách kênh ảnh";
      // clang-format off
      QTest::newRow( "exists" ) << 2 << "bands" << "" << done;
      QTest::newRow( "missing, made" ) << 2 << "made/2024/bands" << "Có" << done;
      QTest::newRow( "missing, declined" ) << 2 << "declined/2024/bands" << "Không" << "Thư mục lưu ảnh kết quả không tồn tại";
      QTest::newRow( "under a file" ) << 2 << "blocker/bands" << "" << "Không thể tạo thư mục lưu ảnh kết quả";
      QTest::newRow( "no folder" ) << 2 << "" << "" << "Chưa chọn thư mục lưu ảnh kết quả";
      QTest::newRow( "one band" ) << 1 << "bands" << "" << cannot;
      QTest::newRow( "two bands, one name" ) << -2 << "bands" << "" << cannot;
      // clang-format on
    }
    void separationOffersToMakeAMissingFolder()
    {
      QFETCH( int, bands );
      QFETCH( QString, folder );
      QFETCH( QString, answer );
      QFETCH( QString, notice );
      QDir( "bands" ).removeRecursively();
      QDir().mkpath( "bands" );
      writeBytes( "blocker", "a file, not a folder" );
      addRasterLayer( "pair", Layout{ 20, 10, std::abs( bands ), GDT_Byte } );
      const QString path = folder.isEmpty() ? QString() : absolute( folder );
      auto *dialog = showSeparation( path );
      if ( bands < 0 )
        dialog->findChild<QListWidget *>( "bandListWidget" )->item( 1 )->setText( "pair-band1" );
      auto asked = answer.isEmpty() ? std::make_shared<QStringList>() : answerMessage( answer );
      QCOMPARE( applyAndWait( dialog ).section( '\n', 0, 0 ), notice );
      const QString question = QStringLiteral( "Thư mục %1 chưa có. Bạn có muốn tạo thư mục này?" );
      QCOMPARE( asked->join( '|' ), answer.isEmpty() ? QString() : question.arg( path ) );
      const bool written = notice == QStringLiteral( "Tách kênh ảnh đã hoàn thành" );
      QCOMPARE( QFile::exists( path + "/pair-band1.tif" ), written );
      QCOMPARE( QFileInfo( path ).isDir(), written || folder == "bands" );
      if ( !answer.isEmpty() ) // declined, not even the parents are made
        QCOMPARE( QFileInfo::exists( absolute( folder.section( '/', 0, 0 ) ) ), written );
      QVERIFY( QFileInfo( absolute( "blocker" ) ).isFile() );
    }

    void failedRunsKeepEarlierFiles_data()
    {
      QTest::addColumn<bool>( "stack" );
      QTest::addColumn<QString>( "failure" );
      QTest::addColumn<QString>( "notice" );
      // clang-format off
      QTest::newRow( "stack, writes fail" ) << true << "limit" << "Gộp kênh ảnh thất bại";
      QTest::newRow( "stack, cancelled" ) << true << "cancel" << "Đã hủy gộp kênh ảnh";
      QTest::newRow( "split, writes fail" ) << false << "limit" << "Không thể tách kênh ảnh";
      QTest::newRow( "split, cancelled" ) << false << "cancel" << "Đã hủy tách kênh ảnh";
      // clang-format on
    }
    void failedRunsKeepEarlierFiles()
    {
      QFETCH( bool, stack );
      QFETCH( QString, failure );
      QFETCH( QString, notice );
      const QString folder = absolute( "results" );
      QDir().mkpath( folder );
      const int size = failure == "cancel" ? 3000 : 200;
      QgsRasterLayer *layer = addRasterLayer( "big", Layout{ size, size } );
      writeRaster( folder + ( stack ? "/stack.tif" : "/big-band2.tif" ), Layout{ 20, 10, 1, GDT_Byte } );
      const QMap<QString, QByteArray> before = folderContents( folder );

      QWidget *dialog = stack ? static_cast<QWidget *>( showCombination( { layer }, folder + "/stack.tif" ) )
                              : showSeparation( folder );
      // Compressed, the small raster would fit under the limits.
      dialog->findChild<QComboBox *>( "compressionComboBox" )->setCurrentIndex( 0 );
      if ( failure != "cancel" )
        QTest::ignoreMessage( QtCriticalMsg, QRegularExpression( "." ) );
      auto limit = std::make_unique<FileSizeLimit>( failure == "limit" ? 64 * 1024 : 0 );
      if ( failure == "cancel" )
        QTimer::singleShot( 0, dialog->findChild<QPushButton *>( "stopButton" ), &QPushButton::click );
      const QString shown = applyAndWait( dialog );
      limit.reset();
      QCOMPARE( shown.section( '\n', 0, 0 ), notice );
      QVERIFY( dialog->isVisible() );
      QCOMPARE( folderContents( folder ), before );
    }

    void exportFollowsTheForm_data()
    {
      QTest::addColumn<QList<int>>( "bands" ); // checked, in output order
      QTest::addColumn<QString>( "type" );
      QTest::addColumn<QString>( "answer" ); // to the clamping question
      QTest::addColumn<QString>( "notice" );
      QTest::addColumn<QList<double>>( "firstValues" ); // of each written band
      const QString done = "Xuất ảnh đã hoàn thành";
      // clang-format off
      QTest::newRow( "bands 3 and 1" ) << QList<int>{ 3, 1 } << "" << "" << done << QList<double>{ 3000, 1000 };
      QTest::newRow( "Byte, clamping declined" ) << QList<int>{ 1 } << "Byte" << "Không" << "Kiểu Byte không chứa được các giá trị của ảnh" << QList<double>{};
      QTest::newRow( "Byte, clamping accepted" ) << QList<int>{ 1, 2 } << "Byte" << "Có" << done << QList<double>{ 255, 255 };
      // clang-format on
    }
    void exportFollowsTheForm()
    {
      QFETCH( QList<int>, bands );
      QFETCH( QString, type );
      QFETCH( QString, answer );
      QFETCH( QString, notice );
      QFETCH( QList<double>, firstValues );
      addRasterLayer( "scene" );
      auto *dialog = showTool<RasterExportDialog>( "Cắt và chuyển đổi ảnh..." );
      QVERIFY( dialog );
      auto *list = dialog->findChild<QListWidget *>( "bandListWidget" );
      QCOMPARE( list->count(), 3 );
      for ( int row = 0; row < bands.size(); ++row )
      {
        for ( int at = row; at < list->count(); ++at )
          if ( list->item( at )->data( Qt::UserRole ).toInt() == bands[row] )
            list->insertItem( row, list->takeItem( at ) );
      }
      for ( int row = 0; row < list->count(); ++row )
        list->item( row )->setCheckState( row < bands.size() ? Qt::Checked : Qt::Unchecked );
      if ( !type.isEmpty() )
        dialog->findChild<QComboBox *>( "dataTypeComboBox" )->setCurrentText( type );
      const QString output = absolute( QStringLiteral( "%1.tif" ).arg( QTest::currentDataTag() ) );
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( output );
      if ( !answer.isEmpty() )
        answerMessage( answer );

      QCOMPARE( applyAndWait( dialog ), notice );
      QCOMPARE( QFileInfo::exists( output ), notice == "Xuất ảnh đã hoàn thành" );
      for ( int band = 1; band <= firstValues.size(); ++band )
        QCOMPARE( readBand( output, band ).constFirst(), firstValues[band - 1] );
    }
};

RASTOVA_TEST( TestImageTools )
#include "TestImageTools.moc"
