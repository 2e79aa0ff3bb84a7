#pragma once

#include <QToolBar>

class Controller;
class QgsLayerTreeView;

/**
 * The tool bar above the layer panel: add a group, expand or collapse all,
 * remove the selected layers (also the Delete key in the panel) and show the
 * current layer's properties.
 */
class LayerPanelToolBar : public QToolBar
{
    Q_OBJECT

  public:
    LayerPanelToolBar( QgsLayerTreeView *view, Controller *controller );

  private:
    QAction *addTool( const QString &text, const QString &icon, const QString &toolTip );
};
