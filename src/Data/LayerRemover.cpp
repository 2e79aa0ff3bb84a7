#include "Data/LayerRemover.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"

#include <qgslayertree.h>
#include <qgslayertreeview.h>
#include <qgsmapcanvas.h>
#include <qgsmessagebar.h>

void LayerRemover::removeSelected()
{
  QgsLayerTreeView *view = MainWindow::layerTreeView();
  if ( !view )
    return;

  // Nodes inside a selected group go with it, so they are not counted twice.
  const QList<QgsLayerTreeNode *> nodes = view->selectedNodes( true );
  if ( nodes.isEmpty() )
  {
    MainWindow::messageBar()->pushMessage( QStringLiteral( "Gỡ bỏ layer hoặc group" ),
                                           QStringLiteral( "Không có layer hoặc group được chọn" ), Qgis::Warning,
                                           Utils::messageTimeout() );
    return;
  }

  MessageBox question( MainWindow::instance(), QStringLiteral( "Gỡ bỏ" ),
                       QStringLiteral( "Bạn có chắc chắn muốn gỡ bỏ %1 mục?" ).arg( nodes.size() ),
                       Utils::iconPath( QStringLiteral( "RemoveLayer.svg" ) ),
                       QDialogButtonBox::Ok | QDialogButtonBox::Cancel );
  if ( question.exec() != QDialog::Accepted )
    return;

  for ( QgsLayerTreeNode *node : nodes )
  {
    if ( QgsLayerTree::isGroup( node->parent() ) )
      QgsLayerTree::toGroup( node->parent() )->removeChildNode( node );
  }
  MainWindow::mapCanvas()->refresh();
}
