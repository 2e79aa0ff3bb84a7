#include "Data/Controller.h"
#include "TestSupport.h"

#include <qgslayertree.h>
#include <qgslayertreeview.h>

class TestLayerPanelMenu : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<MainWindow> mWindow;

    QgsLayerTreeNode *node( const QString &name )
    {
      QgsLayerTree *root = QgsProject::instance()->layerTreeRoot();
      if ( QgsLayerTreeGroup *group = root->findGroup( name ) )
        return group;
      const QList<QgsMapLayer *> layers = QgsProject::instance()->mapLayersByName( name );
      return layers.isEmpty() ? nullptr : root->findLayer( layers.first() );
    }

  private slots:
    void initTestCase()
    {
      QgsProject::instance()->clear();
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
      QTest::addColumn<QString>( "selected" );
      QTest::addColumn<QStringList>( "entries" );
      const QStringList layer = { "Đi tới layer này", "Xem tổng quan" };
      const QStringList raster = layer + QStringList{ "Độ sáng / Độ tương phản" };
      const QStringList tail = { "Đổi tên layer", "Xuất ra với tên...", "Gỡ bỏ layer", "Thông tin thuộc tính" };
      const QStringList bands1 = { "Gộp kênh ảnh", "Thống kê và biểu đồ", "Tô màu một kênh" };
      const QStringList bands3 = { "Tổ hợp màu", "Tách kênh ảnh", "Thống kê và biểu đồ", "Tô màu một kênh" };
      const QStringList twoSelected = { "Đổi tên layer", "Gỡ bỏ layer", "Thông tin thuộc tính", "Gom nhóm" };
      QTest::newRow( "empty space" ) << "" << QStringList{ "Thêm nhóm mới", "Mở rộng tất cả", "Thu gọn tất cả" };
      QTest::newRow( "group" ) << "group" << QStringList{ "Đi tới nhóm này", "Thêm nhóm con" } + tail;
      QTest::newRow( "single-band raster" ) << "one" << raster + bands1 + tail;
      QTest::newRow( "three-band raster" ) << "three" << raster + bands3 + tail;
      QTest::newRow( "vector" ) << "vec" << layer + tail;
      QTest::newRow( "two selected" ) << "vec,group" << layer + twoSelected;
    }
    void entriesFitTheClick()
    {
      QFETCH( QString, selected );
      QFETCH( QStringList, entries );
      const QString current = selected.section( ',', 0, 0 );
      QgsLayerTreeView *view = MainWindow::layerTreeView();
      view->selectionModel()->clear();
      view->setCurrentIndex( current.isEmpty() ? QModelIndex() : view->node2index( node( current ) ) );
      view->selectionModel()->clearSelection();
      for ( const QString &name : selected.split( ',', Qt::SkipEmptyParts ) )
        view->selectionModel()->select( view->node2index( node( name ) ),
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
