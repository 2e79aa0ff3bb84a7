#pragma once

#include "Processing/ProcessingResult.h"

#include <QList>

#include <functional>
#include <QString>
#include <QStringList>

#include <qgis.h>

class QgsMapLayer;
namespace Utils
{
struct SettingKey;
}

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

    /**
     * Every layer that \a fileName holds, owned by the caller: each of its
     * sublayers (GeoPackage tables, HDF or NetCDF subdatasets, a Sentinel-2
     * product's resolutions) named "file — sublayer", or the file itself.
     */
    QList<QgsMapLayer *> createLayers( const QString &fileName );

    /**
     * Adds every layer of \a fileName to the project; false, with nothing
     * added, when any of them cannot be read.
     */
    bool addFileToProject( const QString &fileName );

    /**
     * Makes the project's layers that read one of \a fileNames read them anew
     * (LayerReload::reloadReading).
     */
    static void reloadLayersReading( const QStringList &fileNames );

  protected:
    //! The QGIS data provider that reads this kind of file.
    virtual QString providerKey() const = 0;

    //! Lets the user pick files under \a filter, adds them, reports each unreadable one, remembers the folder.
    void addChosenFiles( const QString &caption, const QString &filter, const Utils::SettingKey &folderKey,
                         const QString &failureTitle );

    /**
     * Asks for a target under \a filters and runs \a write( target, chosen filter );
     * reports its result, with the reason of a failure, under \a title and
     * remembers the folder after a success.
     */
    void exportToChosenFile( const QString &caption, const QStringList &filters, const Utils::SettingKey &folderKey,
                             const QString &title,
                             const std::function<ProcessingResult( const QString &, const QString & )> &write );

    //! Pushes a notice to the main window's message bar for the usual time.
    static void notify( const QString &title, const QString &text, Qgis::MessageLevel level );

    //! The distinct upper-case extensions that a file dialog \a filter names.
    static QStringList upperCaseExtensions( const QString &filter );
};
