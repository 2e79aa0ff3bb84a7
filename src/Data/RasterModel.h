#pragma once

#include "Data/DataModel.h"

#include <qgsrasterfilewriter.h>

class QgsRasterLayer;

//! Raster files, read through the GDAL provider of QGIS.
class RasterModel : public DataModel
{
  public:
    void add() override;
    void exportLayer( QgsMapLayer *layer ) override;
    QgsMapLayer *createLayer( const QString &fileName, const QString &providerKey ) override;
    QStringList supportedExtensions() override;

    /**
     * GDAL driver to write \a path with: the writable format its extension names,
     * otherwise the format of \a selectedFilter; empty when neither names one.
     */
    static QString driverForTarget( const QString &path, const QString &selectedFilter );

    //! Writes the whole of \a layer's data, at full resolution in its own CRS, to \a path with \a driver.
    static QgsRasterFileWriter::WriterError writeLayer( QgsRasterLayer *layer, const QString &path,
                                                        const QString &driver );

  protected:
    QString providerKey() const override;
};
