#pragma once

#include "Processing/ProcessingResult.h"
#include "Processing/Scene.h"

#include <QByteArray>
#include <QString>
#include <QVector>

/**
 * Opens a Landsat Collection 2 or Sentinel-2 L2A product as a scene: finds its
 * metadata file (given directly, in the product folder, or inside the .tar or
 * .zip read in place), reads it, and writes the scene's layers as VRTs into a
 * folder of the caller's choosing, never into the product.
 */
class SceneReader
{
  public:
    //! The GDAL path of the metadata file of the product at \a path; empty when \a path is not a product.
    static QString metadataFile( const QString &path );

    /**
     * Whether \a path is a product this reader opens: one with a metadata file,
     * or a product folder or archive by its name, whose missing metadata open() reports.
     */
    static bool isProduct( const QString &path );

    /**
     * Reads the product at \a path into \a scene and writes its layers into
     * \a folder. Done as long as some band could be read; the scene's problems
     * name what is missing.
     */
    static ProcessingResult open( const QString &path, const QString &folder, Scene &scene );

    /**
     * How a workspace names layer \a kind ("reflectance", "thermal" or "mask") of
     * the product at \a product: by the product itself, so that the layer is
     * rebuilt from it wherever the product and the workspace move together.
     */
    static QString reference( const QString &product, const QString &kind );

    //! The product path a reference() names, its layer kind in \a kind; empty when \a source is no reference.
    static QString referencedProduct( const QString &source, QString *kind = nullptr );

    //! The classes of a mask layer of \a kind, with their names and colours.
    static QVector<SceneMaskClass> maskClasses( Scene::Mask kind );

    //! Makes GDAL able to read mask layers in this process; called by open(), and before a saved mask is reread.
    static void registerPixelFunctions();

    //! The bytes of a (possibly virtual) file, up to \a limit; empty when it cannot be read.
    static QByteArray readFile( const QString &path, qint64 limit = 16 * 1024 * 1024 );

    //! Whether the (possibly virtual) file exists.
    static bool exists( const QString &path );
};
