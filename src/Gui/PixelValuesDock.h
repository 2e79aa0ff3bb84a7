#pragma once

#include <qgsdockwidget.h>
#include <qgspointxy.h>

class QgsMapCanvas;
class QTreeWidget;

//! Lists the band values of every visible raster layer at the point last chosen on the map.
class PixelValuesDock : public QgsDockWidget
{
    Q_OBJECT

  public:
    PixelValuesDock( QgsMapCanvas *canvas, QWidget *parent );

  public slots:
    //! Fills the list for \a point, given in the canvas's CRS.
    void showValuesAt( const QgsPointXY &point );

  private:
    QgsMapCanvas *mCanvas = nullptr;
    QTreeWidget *mTree = nullptr;
};
