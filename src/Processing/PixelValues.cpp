#include "Processing/PixelValues.h"

#include "Core/NumberText.h"
#include "Processing/SpectralMetadata.h"

#include <qgscoordinatetransform.h>
#include <qgsexception.h>
#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

#include <cmath>

namespace
{
bool isIntegerType( Qgis::DataType type )
{
  switch ( type )
  {
  case Qgis::DataType::Byte:
  case Qgis::DataType::UInt16:
  case Qgis::DataType::Int16:
  case Qgis::DataType::UInt32:
  case Qgis::DataType::Int32:
    return true;
  default:
    return false;
  }
}

} // namespace

// GDAL's provider names a band "<Band> N: description" when the file describes it.
QString PixelValues::bandDescription( const QgsRasterDataProvider *provider, int band )
{
  const QString name = provider->generateBandName( band );
  const int colon = name.indexOf( QLatin1String( ": " ) );
  return colon < 0 ? QString() : name.mid( colon + 2 );
}

QList<PixelValues::Layer> PixelValues::at( const QList<QgsRasterLayer *> &layers, const QgsPointXY &point,
                                           const QgsCoordinateReferenceSystem &crs,
                                           const QgsCoordinateTransformContext &context )
{
  QList<Layer> result;
  for ( QgsRasterLayer *layer : layers )
  {
    QgsRasterDataProvider *provider = layer && layer->isValid() ? layer->dataProvider() : nullptr;
    if ( !provider || layer->width() <= 0 || layer->height() <= 0 )
      continue;
    QgsPointXY local;
    try
    {
      local = QgsCoordinateTransform( crs, layer->crs(), context ).transform( point );
    }
    catch ( const QgsCsException & )
    {
      continue;
    }
    const QgsRectangle extent = layer->extent();
    if ( !extent.contains( local ) )
      continue;

    Layer values;
    values.id = layer->id();
    values.name = layer->name();
    // The east and south edges belong to no pixel of the layer.
    values.column =
        std::min( layer->width() - 1,
                  static_cast<int>( std::floor( ( local.x() - extent.xMinimum() ) / layer->rasterUnitsPerPixelX() ) ) );
    values.row =
        std::min( layer->height() - 1,
                  static_cast<int>( std::floor( ( extent.yMaximum() - local.y() ) / layer->rasterUnitsPerPixelY() ) ) );
    const SpectralMetadata metadata = layer->providerType() == QLatin1String( "gdal" )
                                          ? SpectralMetadata::read( layer->source() )
                                          : SpectralMetadata();
    values.date = metadata.date;
    for ( int band = 1; band <= provider->bandCount(); ++band )
    {
      bool ok = false;
      Band read;
      read.number = band;
      read.description = bandDescription( provider, band );
      // QGIS applies the band's scale and offset, and calls such a band Float32.
      read.value = provider->sample( local, band, &ok );
      read.noData = !ok || std::isnan( read.value );
      read.isInteger = isIntegerType( provider->dataType( band ) );
      if ( band <= metadata.bands.size() )
      {
        read.wavelength = metadata.bands.at( band - 1 ).wavelength;
        read.date = metadata.bands.at( band - 1 ).date;
      }
      values.bands.append( read );
    }
    result.append( values );
  }
  return result;
}

QString PixelValues::bandLabel( int number, const QString &description )
{
  const QString label = QStringLiteral( "Kênh %1" ).arg( number );
  return description.isEmpty() ? label : label + QStringLiteral( ": " ) + description;
}

QString PixelValues::text( const Band &band )
{
  if ( band.noData )
    return QStringLiteral( "Không có dữ liệu" );
  return band.isInteger ? QString::number( static_cast<qlonglong>( band.value ) ) : NumberText::format( band.value );
}
