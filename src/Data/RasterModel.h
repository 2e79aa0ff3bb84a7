#pragma once

#include "Data/DataModel.h"

//! Raster files, read through the GDAL provider of QGIS.
class RasterModel : public DataModel
{
  public:
    void add() override;
    void exportLayer( QgsMapLayer *layer ) override;
    QgsMapLayer *createLayer( const QString &fileName, const QString &providerKey ) override;
    QStringList supportedExtensions() override;

  protected:
    QString providerKey() const override;
};
