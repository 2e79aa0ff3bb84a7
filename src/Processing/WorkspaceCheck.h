#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>

/**
 * Looks into a workspace file before QGIS reads it, so that a hostile file
 * cannot fill the disk or the memory, hang the reader on a pipe, or recurse
 * QGIS's document reader past its depth.
 */
class WorkspaceCheck
{
  public:
    /**
     * Done when \a fileName (.qgs, or a .qgz archive holding exactly one .qgs)
     * looks like a project QGIS can read; failed with the reason otherwise.
     */
    static ProcessingResult check( const QString &fileName );
};
