#pragma once

#include <QString>

//! How output files are named after the GDAL driver that writes them.
class OutputName
{
  public:
    /**
     * The extension files of \a driver take, without the dot: the driver's
     * own, else the first it lists (COG: tif), else none (ENVI).
     */
    static QString extensionOf( const QString &driver );

    //! \a path with "." and \a extension added when the path has no suffix and the extension is known.
    static QString withExtension( const QString &path, const QString &extension );

    //! \a folder / \a baseName, with "." and \a extension when there is one: never a trailing dot.
    static QString inFolder( const QString &folder, const QString &baseName, const QString &extension );
};
