#include "Gui/PixelValuesMapTool.h"

#include <qgsapplication.h>
#include <qgsmapmouseevent.h>

PixelValuesMapTool::PixelValuesMapTool( QgsMapCanvas *canvas )
    : QgsMapTool( canvas )
{
  setCursor( QgsApplication::getThemeCursor( QgsApplication::Cursor::Identify ) );
}

void PixelValuesMapTool::canvasPressEvent( QgsMapMouseEvent *event )
{
  if ( event->button() == Qt::LeftButton )
    emit pointChosen( event->mapPoint() );
}

void PixelValuesMapTool::canvasMoveEvent( QgsMapMouseEvent *event )
{
  if ( event->buttons() & Qt::LeftButton )
    emit pointChosen( event->mapPoint() );
}
