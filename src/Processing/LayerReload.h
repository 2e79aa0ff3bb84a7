#pragma once

#include <QList>
#include <QStringList>

class QgsMapLayer;

//! Brings layers up to date with files that were replaced under them.
class LayerReload
{
  public:
    /**
     * Makes those of \a layers that read one of \a fileNames read them anew.
     * A layer keeps its file open, so after a tool or an export replaced the
     * file, the layer would go on answering from the former one.
     */
    static void reloadReading( const QList<QgsMapLayer *> &layers, const QStringList &fileNames );
};
