#pragma once

#include "ui_MetadataViewerDialog.h"

#include <QDialog>

class QgsMapLayer;

/**
 * Shows a layer's metadata report in the QGIS report style. Links to files
 * reveal them in the file browser; other links open on the desktop.
 */
class MetadataViewerDialog : public QDialog, private Ui::MetadataViewerDialog
{
    Q_OBJECT

  public:
    explicit MetadataViewerDialog( QWidget *parent = nullptr );

    //! Replaces the report with \a layer's (when valid) and shows the dialog.
    void showLayerMetadata( QgsMapLayer *layer );

  public slots:
    void urlClicked( const QUrl &url );
};
