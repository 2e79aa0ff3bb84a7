#pragma once

#include <QObject>

#include <qgslayertreeview.h>

class QgsMapCanvas;

/**
 * The layer panel's right-click menu: its entries depend on what was clicked
 * (empty space, a group, a layer, a raster and its band count) and on how
 * many nodes are selected.
 */
class LayerPanelMenu : public QObject, public QgsLayerTreeViewMenuProvider
{
    Q_OBJECT

  public:
    LayerPanelMenu( QgsLayerTreeView *view, QgsMapCanvas *canvas );

    //! A new parentless menu for the current index; the view shows and deletes it.
    QMenu *createContextMenu() override;

  private:
    QgsLayerTreeView *mView = nullptr;
    QgsMapCanvas *mCanvas = nullptr;
};
