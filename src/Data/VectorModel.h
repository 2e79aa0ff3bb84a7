#pragma once

#include "Data/DataModel.h"

#include <qgsvectorfilewriter.h>

class QgsVectorLayer;

//! Vector files, read through the OGR provider of QGIS.
class VectorModel : public DataModel
{
  public:
    void add() override;
    void exportLayer( QgsMapLayer *layer ) override;
    QgsMapLayer *createLayer( const QString &fileName, const QString &providerKey ) override;
    QStringList supportedExtensions() override;

    /**
     * Writes \a layer to \a path with the OGR driver that the path's extension
     * names, keeping the layer's name. \a errorMessage receives the writer's text.
     */
    static QgsVectorFileWriter::WriterError writeLayer( QgsVectorLayer *layer, const QString &path,
                                                        QString *errorMessage = nullptr );

  protected:
    QString providerKey() const override;
};
