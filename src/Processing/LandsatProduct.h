#pragma once

#include "Processing/ProcessingResult.h"

#include <QByteArray>
#include <QMap>
#include <QString>

struct Scene;

//! A Landsat 4-9 Collection 2 product described by its MTL file (text or XML).
class LandsatProduct
{
  public:
    /**
     * Fills \a scene from the MTL at \a metadataFile (a GDAL path); band files are
     * looked for beside it. Fails only when no band can be read; anything else
     * missing is listed in the scene's problems.
     */
    static ProcessingResult read( const QString &metadataFile, Scene &scene );

    //! The values of an MTL, text or XML, keyed "GROUP/KEY" by their innermost group.
    static QMap<QString, QString> parse( const QByteArray &bytes );
};
