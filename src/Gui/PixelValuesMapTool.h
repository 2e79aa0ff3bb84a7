#pragma once

#include <qgsmaptool.h>
#include <qgspointxy.h>

/**
 * Map tool that asks for the pixel values at the point clicked, and again at
 * every point while the button is held and the mouse moves.
 */
class PixelValuesMapTool : public QgsMapTool
{
    Q_OBJECT

  public:
    explicit PixelValuesMapTool( QgsMapCanvas *canvas );

    void canvasPressEvent( QgsMapMouseEvent *event ) override;
    void canvasMoveEvent( QgsMapMouseEvent *event ) override;

  signals:
    //! The user pointed at \a point, in the canvas's CRS.
    void pointChosen( const QgsPointXY &point );
};
