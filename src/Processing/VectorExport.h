#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>

class QgsVectorLayer;

//! Writes a vector layer to a file of the user's choosing.
class VectorExport
{
  public:
    /**
     * Writes \a layer to \a path, through a safe output, with the OGR driver
     * that the path's extension names, keeping the layer's name.
     */
    static ProcessingResult write( QgsVectorLayer *layer, const QString &path );
};
