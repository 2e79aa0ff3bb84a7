#pragma once

#include <QString>

class QgsRasterLayer;

/**
 * Opens a satellite product (Landsat Collection 2, Sentinel-2 L2A) as one layer
 * group: reflectance in natural colour, surface temperature and the quality
 * mask with its classes, each layer a VRT in the per-user data folder.
 */
class SceneModel
{
  public:
    //! Whether \a path is a product this model opens (file, folder or archive).
    static bool isScene( const QString &path );

    /**
     * Adds the product at \a path to the project and reports what it lacks;
     * false, with a notice naming the reason, when nothing could be opened.
     */
    bool open( const QString &path );

    //! Where the scenes' layers are written: the per-user data folder, never the product.
    static QString folder();
};
