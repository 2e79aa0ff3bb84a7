#include "Processing/RasterGrid.h"

#include <qgsrasterlayer.h>

#include <algorithm>
#include <cmath>

RasterGrid RasterGrid::of( const QgsRasterLayer *layer )
{
  return { layer->extent(), layer->width(), layer->height(), layer->crs() };
}

QgsRectangle RasterGrid::stripExtent( int firstRow, int rows ) const
{
  const double rowHeight = pixelHeight();
  QgsRectangle strip( extent );
  strip.setYMaximum( strip.yMaximum() - rowHeight * firstRow );
  strip.setYMinimum( strip.yMaximum() - rowHeight * rows );
  return strip;
}

int RasterGrid::stripRows( qint64 pixels ) const
{
  if ( width <= 0 || height <= 0 )
    return 1;
  return static_cast<int>( std::clamp<qint64>( pixels / width, 1, height ) );
}

bool RasterGrid::coversSameArea( const RasterGrid &other ) const
{
  if ( crs != other.crs || width <= 0 || height <= 0 )
    return false;
  const double toleranceX = extent.width() / width / 1000;
  const double toleranceY = extent.height() / height / 1000;
  return std::fabs( extent.xMinimum() - other.extent.xMinimum() ) < toleranceX &&
         std::fabs( extent.xMaximum() - other.extent.xMaximum() ) < toleranceX &&
         std::fabs( extent.yMinimum() - other.extent.yMinimum() ) < toleranceY &&
         std::fabs( extent.yMaximum() - other.extent.yMaximum() ) < toleranceY;
}

bool RasterGrid::linesUpWith( const RasterGrid &other ) const
{
  return width == other.width && height == other.height && coversSameArea( other );
}
