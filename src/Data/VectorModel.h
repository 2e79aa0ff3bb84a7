#pragma once

#include "Data/DataModel.h"

//! Vector files, read through the OGR provider of QGIS.
class VectorModel : public DataModel
{
  public:
    void add() override;
    void exportLayer( QgsMapLayer *layer ) override;
    QgsMapLayer *createLayer( const QString &fileName, const QString &providerKey ) override;
    QStringList supportedExtensions() override;

  protected:
    QString providerKey() const override;
};
