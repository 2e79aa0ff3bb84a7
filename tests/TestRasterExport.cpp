#include "TestSupport.h"
#include "Tools/RasterExportDialog.h"

#include <qgsmaplayercombobox.h>

class TestRasterExport : public TestSupport::WindowTest
{
    Q_OBJECT

  private slots:
    void exportFollowsTheForm_data()
    {
      QTest::addColumn<QList<int>>( "bands" ); // checked, in output order
      QTest::addColumn<QString>( "type" );
      QTest::addColumn<QString>( "answer" ); // to the clamping question
      QTest::addColumn<bool>( "selectedMask" );
      QTest::addColumn<QString>( "notice" );
      QTest::addColumn<QList<double>>( "firstValues" ); // of each written band
      const QString done = "Xuất ảnh đã hoàn thành";
      // clang-format off
      QTest::newRow( "bands 3 and 1" ) << QList<int>{ 3, 1 } << "" << "" << false << done << QList<double>{ 3000, 1000 };
      QTest::newRow( "Byte, clamping declined" ) << QList<int>{ 1 } << "Byte" << "Không" << false << "Kiểu Byte không chứa được các giá trị của ảnh" << QList<double>{};
      QTest::newRow( "Byte, clamping accepted" ) << QList<int>{ 1, 2 } << "Byte" << "Có" << false << done << QList<double>{ 255, 255 };
      QTest::newRow( "mask, nothing selected" ) << QList<int>{ 1 } << "" << "" << true << "Lớp vùng cắt không có đa giác nào" << QList<double>{};
      // clang-format on
    }
    void exportFollowsTheForm()
    {
      QFETCH( QList<int>, bands );
      QFETCH( QString, type );
      QFETCH( QString, answer );
      QFETCH( bool, selectedMask );
      QFETCH( QString, notice );
      QFETCH( QList<double>, firstValues );
      TestSupport::addRasterLayer( "scene" );
      QgsProject::instance()->addMapLayer( new QgsVectorLayer(
          TestSupport::writeVector( TestSupport::absolute( "zones.gpkg" ), "GPKG", { "zones" } ), "zones", "ogr" ) );
      auto *dialog = TestSupport::showTool<RasterExportDialog>( "Cắt và chuyển đổi ảnh..." );
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
      dialog->findChild<QRadioButton *>( "maskRadioButton" )->setChecked( selectedMask );
      dialog->findChild<QCheckBox *>( "selectedOnlyCheckBox" )->setChecked( selectedMask );
      dialog->findChild<QLineEdit *>( "noDataLineEdit" )->setText( selectedMask ? "0" : "" );
      const QString output = TestSupport::absolute( QStringLiteral( "%1.tif" ).arg( QTest::currentDataTag() ) );
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( output );
      if ( !answer.isEmpty() )
        TestSupport::answerMessage( answer );

      QCOMPARE( TestSupport::applyAndWait( dialog ), notice );
      QCOMPARE( QFileInfo::exists( output ), notice == "Xuất ảnh đã hoàn thành" );
      for ( int band = 1; band <= firstValues.size(); ++band )
        QCOMPARE( TestSupport::readBand( output, band ).constFirst(), firstValues[band - 1] );
    }
};

RASTOVA_TEST( TestRasterExport )
#include "TestRasterExport.moc"
