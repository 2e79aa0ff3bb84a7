#pragma once

#include <QDir>
#include <QHash>
#include <QString>

struct Scene;

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

    /**
     * How a workspace stores the layer source \a path: a scene's layer by a
     * reference to its product, any other path unchanged.
     */
    static QString workspacePath( const QString &path );

    /**
     * The layer source for \a stored, a path read from the workspace in \a
     * workspaceFolder: a scene's layer rebuilt from its product (each product
     * opened once, kept in \a opened), any other path unchanged. A missing
     * product gives its own path, for the notice that names missing data.
     */
    static QString layerPath( const QString &stored, const QDir &workspaceFolder, QHash<QString, Scene> &opened );
};
