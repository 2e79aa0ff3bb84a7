#include "Gui/LayerPanelToolBar.h"

#include "Core/Utils.h"
#include "Data/Controller.h"

#include <qgslayertreeview.h>
#include <qgslayertreeviewdefaultactions.h>

LayerPanelToolBar::LayerPanelToolBar( QgsLayerTreeView *view, Controller *controller )
{
  setObjectName( QStringLiteral( "mLayerPanelToolBar" ) );
  setIconSize( QSize( 24, 24 ) );
  connect(
      addTool( QStringLiteral( "Add Group" ), QStringLiteral( "mActionAddGroup.svg" ), QStringLiteral( "Thêm nhóm" ) ),
      &QAction::triggered, view->defaultActions(), &QgsLayerTreeViewDefaultActions::addGroup );
  connect( addTool( QStringLiteral( "Expand All" ), QStringLiteral( "mActionExpandTree.svg" ),
                    QStringLiteral( "Mở rộng tất cả" ) ),
           &QAction::triggered, view, &QgsLayerTreeView::expandAllNodes );
  connect( addTool( QStringLiteral( "Collapse All" ), QStringLiteral( "mActionCollapseTree.svg" ),
                    QStringLiteral( "Thu gọn tất cả" ) ),
           &QAction::triggered, view, &QgsLayerTreeView::collapseAllNodes );
  QAction *remove =
      addTool( QStringLiteral( "Remove Layer" ), QStringLiteral( "RemoveLayer.svg" ), QStringLiteral( "Gỡ bỏ layer" ) );
  connect( remove, &QAction::triggered, controller, &Controller::removeLayers );
  // Delete in the layer panel removes what is selected there, never what the canvas or a dialog has in focus.
  remove->setShortcut( QKeySequence::Delete );
  remove->setShortcutContext( Qt::WidgetWithChildrenShortcut );
  view->addAction( remove );
  connect( addTool( QStringLiteral( "Show Metadata" ), QStringLiteral( "Properties.svg" ),
                    QStringLiteral( "Thông tin thuộc tính" ) ),
           &QAction::triggered, controller, &Controller::showMetadata );
}

QAction *LayerPanelToolBar::addTool( const QString &text, const QString &icon, const QString &toolTip )
{
  QAction *action = addAction( Utils::icon( icon ), text );
  action->setToolTip( toolTip );
  return action;
}
