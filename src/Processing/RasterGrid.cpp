#include "Processing/RasterGrid.h"

#include <qgsrasterlayer.h>

#include <cmath>

RasterGrid RasterGrid::of( const QgsRasterLayer *layer )
{
  return { layer->extent(), layer->width(), layer->height(), layer->crs() };
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
