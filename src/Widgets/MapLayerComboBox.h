#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <qgsmaplayer.h>

class QComboBox;
class QgsLayerTreeView;
class QgsMapCanvas;

/**
 * Picks one layer of one type among those the map canvas draws. It re-reads
 * the canvas only when asked (refresh), which the tool dialogs do on every
 * showing.
 */
class MapLayerComboBox : public QWidget
{
    Q_OBJECT

  public:
    explicit MapLayerComboBox( QWidget *parent = nullptr );

    //! The canvas whose layers are listed; nothing is listed until refresh().
    void setMapCanvas( QgsMapCanvas *canvas );
    //! Only layers of \a type are listed; nothing changes until refresh().
    void setLayerType( QgsMapLayerType type );
    //! Lists the canvas's layers of the chosen type again and announces the first.
    void refresh();
    //! Makes \a layer current when it is listed.
    void setLayer( QgsMapLayer *layer );
    //! Makes the first layer selected in \a view current, when it is listed.
    void setLayerSelectedIn( const QgsLayerTreeView *view );
    //! The layer of the current entry; null with no entry or when the layer is gone.
    QgsMapLayer *currentLayer() const;
    //! The listed layers in entry order; a layer deleted since the last refresh is null in its place.
    QList<QgsMapLayer *> layers() const;

  signals:
    //! \a mapLayer became the current layer.
    void currentLayerChanged( QgsMapLayer *mapLayer );

  private slots:
    void comboBoxCurrentIndexChanged();

  private:
    QComboBox *mComboBox = nullptr;
    QgsMapCanvas *mMapCanvas = nullptr;
    QgsMapLayerType mLayerType = QgsMapLayerType::RasterLayer;
    QList<QPointer<QgsMapLayer>> mLayers;
};
