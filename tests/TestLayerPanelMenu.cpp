#include "Data/Controller.h"
#include "Gui/MainWindow.h"
#include "TestSupport.h"

#include <QDir>
#include <QMenu>

#include <qgslayertree.h>
#include <qgslayertreemodel.h>
#include <qgslayertreeview.h>
#include <qgsproject.h>

#include <memory>

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
      controller->openFileName( QDir::current().absoluteFilePath( TestSupport::writeRaster( "one.tif", single ) ) );
      controller->openFileName( QDir::current().absoluteFilePath( TestSupport::writeRaster( "three.tif" ) ) );
      controller->openFileName(
          QDir::current().absoluteFilePath( TestSupport::writeVector( "vec.shp", "ESRI Shapefile", { "vec" } ) ) );
      QgsProject::instance()->layerTreeRoot()->addGroup( "group" );
    }
    void cleanupTestCase()
    {
      mWindow.reset();
      QgsProject::instance()->clear();
    }

    void entriesFitTheClick_data()
    {
      QTest::addColumn<QString>( "current" );
      QTest::addColumn<QStringList>( "selected" );
      QTest::addColumn<QStringList>( "entries" );
      const QStringList tail = { "Đổi tên layer", "Xuất ra với tên...", "Gỡ bỏ layer", "Thông tin thuộc tính" };
      QTest::newRow( "empty space" ) << QString() << QStringList()
                                     << QStringList{ "Thêm nhóm mới", "Mở rộng tất cả", "Thu gọn tất cả" };
      QTest::newRow( "group" ) << "group" << QStringList{ "group" }
                               << QStringList( QStringList{ "Đi tới nhóm này", "Thêm nhóm con" } + tail );
      QTest::newRow( "single-band raster" )
          << "one" << QStringList{ "one" }
          << QStringList( QStringList{ "Đi tới layer này", "Xem tổng quan", "Độ sáng / Độ tương phản", "Gộp kênh ảnh",
                                       "Thống kê và biểu đồ", "Tô màu một kênh" } +
                          tail );
      QTest::newRow( "three-band raster" )
          << "three" << QStringList{ "three" }
          << QStringList( QStringList{ "Đi tới layer này", "Xem tổng quan", "Độ sáng / Độ tương phản", "Tổ hợp màu",
                                       "Tách kênh ảnh", "Thống kê và biểu đồ", "Tô màu một kênh" } +
                          tail );
      QTest::newRow( "vector" ) << "vec" << QStringList{ "vec" }
                                << QStringList( QStringList{ "Đi tới layer này", "Xem tổng quan" } + tail );
      QTest::newRow( "two selected" ) << "vec" << QStringList{ "vec", "group" }
                                      << QStringList{ "Đi tới layer này", "Xem tổng quan",        "Đổi tên layer",
                                                      "Gỡ bỏ layer",      "Thông tin thuộc tính", "Gom nhóm" };
    }
    void entriesFitTheClick()
    {
      QFETCH( QString, current );
      QFETCH( QStringList, selected );
      QFETCH( QStringList, entries );
      QgsLayerTreeView *view = MainWindow::layerTreeView();
      view->selectionModel()->clear();
      view->setCurrentIndex( current.isEmpty() ? QModelIndex() : view->node2index( node( current ) ) );
      view->selectionModel()->clearSelection();
      for ( const QString &name : selected )
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

    void propertiesEntryShowsTheMetadata()
    {
      QgsLayerTreeView *view = MainWindow::layerTreeView();
      view->setCurrentIndex( view->node2index( node( "three" ) ) );
      std::unique_ptr<QMenu> menu( view->menuProvider()->createContextMenu() );
      menu->actions().last()->trigger();
      QWidget *viewer = QApplication::activeModalWidget();
      QVERIFY( viewer );
      QCOMPARE( viewer->objectName(), QStringLiteral( "MetadataViewerDialog" ) );
      viewer->close();
    }
};

RASTOVA_TEST( TestLayerPanelMenu )
#include "TestLayerPanelMenu.moc"
