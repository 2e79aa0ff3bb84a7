#include "Processing/TemporalProfile.h"

#include <algorithm>

namespace
{
bool isDateStack( const PixelValues::Layer &layer )
{
  return layer.bands.size() > 1 && std::all_of( layer.bands.cbegin(), layer.bands.cend(),
                                                []( const PixelValues::Band &band ) { return band.date.isValid(); } );
}

bool isDated( const PixelValues::Layer &layer )
{
  return layer.date.isValid() && !isDateStack( layer );
}

void sortByDate( QVector<TemporalProfile::Point> &points )
{
  std::stable_sort( points.begin(), points.end(),
                    []( const TemporalProfile::Point &a, const TemporalProfile::Point &b )
                    { return a.date < b.date; } );
}
} // namespace

QList<TemporalProfile> TemporalProfile::of( const QList<PixelValues::Layer> &layers, int band )
{
  QList<TemporalProfile> profiles;
  if ( std::count_if( layers.cbegin(), layers.cend(), isDated ) >= 2 )
  {
    TemporalProfile acrossImages;
    acrossImages.name = QStringLiteral( "Kênh %1" ).arg( band );
    for ( const PixelValues::Layer &layer : layers )
    {
      if ( isDated( layer ) && band >= 1 && band <= layer.bands.size() && !layer.bands.at( band - 1 ).noData )
        acrossImages.points << Point{ layer.date, layer.bands.at( band - 1 ).value };
    }
    sortByDate( acrossImages.points );
    profiles << acrossImages;
  }
  for ( const PixelValues::Layer &layer : layers )
  {
    if ( !isDateStack( layer ) )
      continue;
    TemporalProfile alongStack;
    alongStack.name = layer.name;
    for ( const PixelValues::Band &stackBand : layer.bands )
    {
      if ( !stackBand.noData )
        alongStack.points << Point{ stackBand.date, stackBand.value };
    }
    sortByDate( alongStack.points );
    profiles << alongStack;
  }
  return profiles;
}

int TemporalProfile::bandCount( const QList<PixelValues::Layer> &layers )
{
  int count = 0;
  for ( const PixelValues::Layer &layer : layers )
  {
    if ( isDated( layer ) )
      count = std::max( count, static_cast<int>( layer.bands.size() ) );
  }
  return count;
}
