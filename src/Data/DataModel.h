#pragma once

#include <QString>
#include <QStringList>

class QgsMapLayer;

/**
 * One kind of layer data (raster or vector): picking and adding files,
 * building layers, exporting a layer and the readable file extensions.
 * Models keep no state; what they remember lives in the settings.
 */
class DataModel
{
  public:
    virtual ~DataModel() = default;

    //! Asks the user for files of this kind and adds them to the project.
    virtual void add() = 0;
    //! Asks the user for a target file and writes \a layer there.
    virtual void exportLayer( QgsMapLayer *layer ) = 0;
    //! A new layer for \a fileName, owned by the caller; it may be invalid.
    virtual QgsMapLayer *createLayer( const QString &fileName, const QString &providerKey ) = 0;
    //! Readable file extensions, upper case, without the dot, each once.
    virtual QStringList supportedExtensions() = 0;
};
