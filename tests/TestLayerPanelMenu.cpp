#include "Data/Controller.h"
#include "TestSupport.h"

#include <qgslayertree.h>
#include <qgslayertreeview.h>

class TestLayerPanelMenu : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<MainWindow> mWindow;

  private slots:
    void initTestCase()
    {
      mWindow = std::make_unique<MainWindow>();
      TestSupport::RasterSpec single;
      single.bands = 1;
      Controller *controller = MainWindow::controller();
      controller->openFileName( TestSupport::absolute( TestSupport::writeRaster( "one.tif", single ) ) );
      controller->openFileName( TestSupport::absolute( TestSupport::writeRaster( "three.tif" ) ) );
      controller->openFileName(
          TestSupport::absolute( TestSupport::writeVector( "vec.shp", "ESRI Shapefile", { "vec" } ) ) );
      QgsProject::instance()->layerTreeRoot()->addGroup( "group" );
    }

    void entriesFitTheClick_data()
    {
      QTest::addColumn<QList<int>>( "rows" ); // selected in the panel, the first one clicked
      QTest::addColumn<QStringList>( "entries" );
      const QStringList layer = { "Đi tới layer này", "Xem tổng quan" },
                        raster = layer + QStringList{ "Độ sáng / Độ tương phản" };
      const QStringList tools = { "Cắt và chuyển đổi ảnh...", "Thống kê và biểu đồ", "Tô màu một kênh",
                                  "Tạo ảnh tháp" };
      const QStringList tail = { "Đổi tên layer", "Xuất ra với tên...", "Gỡ bỏ layer", "Thông tin thuộc tính" };
      // The panel shows, top to bottom: vec, three, one, group.
      // clang-format off
      QTest::newRow( "empty space" ) << QList<int>() << QStringList{ "Thêm nhóm mới", "Mở rộng tất cả", "Thu gọn tất cả" };
      QTest::newRow( "group" ) << QList<int>{ 3 } << QStringList{ "Đi tới nhóm này", "Thêm nhóm con" } + tail;
      QTest::newRow( "single-band raster" ) << QList<int>{ 2 } << raster + QStringList{ "Gộp kênh ảnh" } + tools + tail;
      QTest::newRow( "three-band raster" ) << QList<int>{ 1 } << raster + QStringList{ "Tổ hợp màu", "Tách kênh ảnh" } + tools + tail;
      QTest::newRow( "vector" ) << QList<int>{ 0 } << layer + tail;
      QTest::newRow( "two selected" ) << QList<int>{ 0, 3 } << layer + QStringList{ "Đổi tên layer", "Gỡ bỏ layer", "Thông tin thuộc tính", "Gom nhóm" };
      // clang-format on
    }
    void entriesFitTheClick()
    {
      QFETCH( QList<int>, rows );
      QFETCH( QStringList, entries );
      QgsLayerTreeView *view = MainWindow::layerTreeView();
      view->setCurrentIndex( rows.isEmpty() ? QModelIndex() : view->model()->index( rows[0], 0 ) );
      view->selectionModel()->clearSelection();
      for ( int row : rows )
        view->selectionModel()->select( view->model()->index( row, 0 ),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows );

      std::unique_ptr<QMenu> menu( view->menuProvider()->createContextMenu() );
      QStringList shown;
      for ( QAction *action : menu->actions() )
      {
        QVERIFY( !action->isSeparator() && action->isEnabled() && action->shortcut().isEmpty() );
        shown << action->text();
      }
      QCOMPARE( shown, entries );
    }
};

RASTOVA_TEST( TestLayerPanelMenu )
#include "TestLayerPanelMenu.moc"
