#include "Gui/LayerPanelMenu.h"

#include "Core/Utils.h"
#include "Data/Controller.h"
#include "Gui/MainWindow.h"
#include "Gui/OverviewQueue.h"

#include <QMenu>
#include <QPointer>

#include <qgslayertree.h>
#include <qgslayertreemodel.h>
#include <qgslayertreeviewdefaultactions.h>
#include <qgsrasterlayer.h>

namespace
{
QAction *addRenamed( QMenu *menu, QAction *action, const QString &text )
{
  action->setText( text );
  menu->addAction( action );
  return action;
}

template <typename Receiver, typename Slot>
void addEntry( QMenu *menu, const QString &icon, const QString &text, Receiver *receiver, Slot slot )
{
  QAction *action = menu->addAction( Utils::icon( icon ), text );
  QObject::connect( action, &QAction::triggered, receiver, slot );
}
} // namespace

LayerPanelMenu::LayerPanelMenu( QgsLayerTreeView *view, QgsMapCanvas *canvas )
    : mView( view )
    , mCanvas( canvas )
{
}

QMenu *LayerPanelMenu::createContextMenu()
{
  auto *menu = new QMenu();
  QgsLayerTreeViewDefaultActions *defaults = mView->defaultActions();

  if ( !mView->currentIndex().isValid() )
  {
    addRenamed( menu, defaults->actionAddGroup( menu ), QStringLiteral( "Thêm nhóm mới" ) );
    addEntry( menu, QStringLiteral( "mActionExpandTree.svg" ), QStringLiteral( "Mở rộng tất cả" ), mView,
              &QTreeView::expandAll );
    addEntry( menu, QStringLiteral( "mActionCollapseTree.svg" ), QStringLiteral( "Thu gọn tất cả" ), mView,
              &QTreeView::collapseAll );
    return menu;
  }

  QgsLayerTreeNode *node = mView->index2node( mView->currentIndex() );
  if ( !node )
    return menu;

  MainWindow *window = MainWindow::instance();
  Controller *controller = MainWindow::controller();
  if ( QgsLayerTree::isGroup( node ) )
  {
    addRenamed( menu, defaults->actionZoomToGroup( mCanvas, menu ), QStringLiteral( "Đi tới nhóm này" ) );
    addRenamed( menu, defaults->actionAddGroup( menu ), QStringLiteral( "Thêm nhóm con" ) );
  }
  else if ( QgsLayerTree::isLayer( node ) )
  {
    addRenamed( menu, defaults->actionZoomToLayers( mCanvas, menu ), QStringLiteral( "Đi tới layer này" ) );
    addRenamed( menu, defaults->actionShowInOverview( menu ), QStringLiteral( "Xem tổng quan" ) );

    if ( auto *raster = qobject_cast<QgsRasterLayer *>( QgsLayerTree::toLayer( node )->layer() ) )
    {
      addEntry( menu, QStringLiteral( "BrightnessContrast.svg" ), QStringLiteral( "Độ sáng / Độ tương phản" ), window,
                &MainWindow::changeBrightnessContrast );
      if ( raster->bandCount() <= 1 )
      {
        addEntry( menu, QStringLiteral( "ImageCombination.svg" ), QStringLiteral( "Gộp kênh ảnh" ), window,
                  &MainWindow::combineRasterBand );
      }
      else
      {
        addEntry( menu, QStringLiteral( "ColorComposite.svg" ), QStringLiteral( "Tổ hợp màu" ), window,
                  &MainWindow::colorComposite );
        addEntry( menu, QStringLiteral( "ImageSeparation.svg" ), QStringLiteral( "Tách kênh ảnh" ), window,
                  &MainWindow::separateImage );
      }
      addEntry( menu, QStringLiteral( "Export.svg" ), QStringLiteral( "Cắt và chuyển đổi ảnh..." ), window,
                &MainWindow::rasterExport );
      addEntry( menu, QStringLiteral( "Statistics.svg" ), QStringLiteral( "Thống kê và biểu đồ" ), window,
                &MainWindow::rasterStatistics );
      addEntry( menu, QStringLiteral( "ColorRamp.svg" ), QStringLiteral( "Tô màu một kênh" ), window,
                &MainWindow::singleBandStyle );
      if ( OverviewQueue *overviews = window ? window->findChild<OverviewQueue *>() : nullptr )
        addEntry( menu, QStringLiteral( "Overviews.svg" ), QStringLiteral( "Tạo ảnh tháp" ), overviews,
                  [overviews, layer = QPointer<QgsRasterLayer>( raster )] { overviews->buildByHand( layer ); } );
    }
  }

  QAction *rename = addRenamed( menu, defaults->actionRenameGroupOrLayer( menu ), QStringLiteral( "Đổi tên layer" ) );
  rename->setIcon( Utils::icon( QStringLiteral( "Rename.svg" ) ) );
  if ( mView->selectedNodes( true ).size() == 1 )
    addEntry( menu, QStringLiteral( "Export.svg" ), QStringLiteral( "Xuất ra với tên..." ), controller,
              &Controller::exportData );
  addEntry( menu, QStringLiteral( "RemoveLayer.svg" ), QStringLiteral( "Gỡ bỏ layer" ), controller,
            &Controller::removeLayers );
  addEntry( menu, QStringLiteral( "Properties.svg" ), QStringLiteral( "Thông tin thuộc tính" ), controller,
            &Controller::showMetadata );
  if ( mView->selectedNodes( true ).size() > 1 )
    addRenamed( menu, defaults->actionGroupSelected( menu ), QStringLiteral( "Gom nhóm" ) );
  return menu;
}
