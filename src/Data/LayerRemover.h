#pragma once

//! Removes the layers and groups selected in the layer panel, after asking.
class LayerRemover
{
  public:
    //! Warns when nothing is selected; otherwise asks, then removes each selected node.
    void removeSelected();
};
