#include "Gui/ProfileChart.h"

#include <QCursor>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QToolTip>

#include <cmath>
#include <functional>

using namespace QtCharts;

namespace
{
// Tableau's ten: told apart on screen and in print.
const QColor palette[ProfileChart::colourCount] = { 0x4e79a7, 0xf28e2b, 0xe15759, 0x76b7b2, 0x59a14f,
                                                    0xedc948, 0xb07aa1, 0xff9da7, 0x9c755f, 0xbab0ac };

void clear( QChart *chart )
{
  chart->removeAllSeries();
  for ( QAbstractAxis *axis : chart->axes() )
  {
    chart->removeAxis( axis );
    delete axis;
  }
  chart->setTitle( QString() );
}

//! Hovering the curve names it, with \a where telling the place on it ("12/03/2021", "865 nm").
QLineSeries *addSeries( QChart *chart, const QString &name, const QColor &colour, Qt::PenStyle style,
                        const std::function<QString( double x )> &where )
{
  auto *series = new QLineSeries( chart );
  series->setName( name );
  series->setPointsVisible( true );
  QPen pen( colour, 2, style );
  series->setPen( pen );
  chart->addSeries( series );
  QObject::connect( series, &QLineSeries::hovered, series,
                    [name, where]( const QPointF &point, bool entered )
                    {
                      if ( !entered )
                        return QToolTip::hideText();
                      QToolTip::showText(
                          QCursor::pos(),
                          QStringLiteral( "%1\n%2: %3" ).arg( name, where( point.x() ) ).arg( point.y(), 0, 'g', 4 ) );
                    } );
  return series;
}

void attach( QChart *chart, QAbstractAxis *x )
{
  auto *y = new QValueAxis( chart );
  y->setLabelFormat( QStringLiteral( "%.4g" ) );
  // Few labels, so that they stay readable in a short dock instead of turning into "...".
  y->setTickCount( 4 );
  chart->addAxis( x, Qt::AlignBottom );
  chart->addAxis( y, Qt::AlignLeft );
  for ( QAbstractSeries *series : chart->series() )
  {
    series->attachAxis( x );
    series->attachAxis( y );
  }
  // Axes fitted to the points, with a margin so that points at the ends stay visible.
  double yMin = INFINITY, yMax = -INFINITY;
  for ( QAbstractSeries *series : chart->series() )
  {
    for ( const QPointF &point : static_cast<QLineSeries *>( series )->points() )
    {
      yMin = std::min( yMin, point.y() );
      yMax = std::max( yMax, point.y() );
    }
  }
  if ( std::isfinite( yMin ) )
  {
    const double margin = yMax > yMin ? ( yMax - yMin ) * 0.05 : std::max( std::abs( yMin ) * 0.05, 1e-6 );
    y->setRange( yMin - margin, yMax + margin );
    y->applyNiceNumbers();
  }
}
} // namespace

void ProfileChart::showSpectral( QChart *chart, const QList<SpectralProfile> &pinned,
                                 const QList<SpectralProfile> &current )
{
  clear( chart );
  const QList<SpectralProfile> all = pinned + current;
  const bool byWavelength =
      !all.isEmpty() &&
      std::all_of( all.cbegin(), all.cend(), []( const SpectralProfile &p ) { return p.hasWavelengths(); } );
  double xMin = INFINITY, xMax = -INFINITY;
  for ( int i = 0; i < all.size(); ++i )
  {
    const bool isPinned = i < pinned.size();
    QLineSeries *series =
        addSeries( chart, all.at( i ).name, palette[i % colourCount], isPinned ? Qt::SolidLine : Qt::DashLine,
                   [byWavelength]( double x )
                   {
                     return byWavelength ? QStringLiteral( "%1 nm" ).arg( x, 0, 'f', 0 )
                                         : QStringLiteral( "kênh %1" ).arg( std::lround( x ) );
                   } );
    QVector<QPointF> points;
    for ( const SpectralProfile::Point &point : all.at( i ).points )
    {
      const double x = byWavelength ? point.wavelength : point.band;
      xMin = std::min( xMin, x );
      xMax = std::max( xMax, x );
      if ( !std::isnan( point.value ) )
        points << QPointF( x, point.value );
    }
    // Files list their bands in any order (red, green, blue, NIR); a spectrum runs along the wavelengths.
    std::sort( points.begin(), points.end(), []( const QPointF &a, const QPointF &b ) { return a.x() < b.x(); } );
    series->replace( points );
  }
  // Full names ("scene (578297, 2321518)") do not fit side by side in a dock; more than two go by number, and
  // hovering a curve names it.
  if ( all.size() > 2 )
  {
    for ( int i = 0; i < all.size(); ++i )
    {
      const QString label = i < pinned.size() ? QString::number( i + 1 ) : QStringLiteral( "hiện tại" );
      for ( QLegendMarker *marker : chart->legend()->markers( chart->series().at( i ) ) )
        marker->setLabel( label );
    }
  }
  auto *x = new QValueAxis( chart );
  x->setTitleText( byWavelength ? QStringLiteral( "Bước sóng (nm)" ) : QStringLiteral( "Kênh" ) );
  if ( std::isfinite( xMin ) )
  {
    const double margin = byWavelength ? std::max( ( xMax - xMin ) * 0.03, 10.0 ) : 0.5;
    x->setRange( xMin - margin, xMax + margin );
  }
  if ( byWavelength )
    x->setLabelFormat( QStringLiteral( "%.0f" ) );
  else
  {
    x->setLabelFormat( QStringLiteral( "%d" ) );
    x->setTickType( QValueAxis::TicksDynamic );
    x->setTickAnchor( 1 );
    x->setTickInterval( std::max( 1.0, std::ceil( ( xMax - xMin ) / 12 ) ) );
  }
  attach( chart, x );
}

void ProfileChart::showTemporal( QChart *chart, const QList<TemporalProfile> &profiles, const QString &emptyText )
{
  clear( chart );
  qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
  for ( int i = 0; i < profiles.size(); ++i )
  {
    QLineSeries *series = addSeries( chart, profiles.at( i ).name, palette[i % colourCount], Qt::SolidLine,
                                     []( double x )
                                     {
                                       return QDateTime::fromMSecsSinceEpoch( static_cast<qint64>( x ), Qt::UTC )
                                           .toString( QStringLiteral( "dd/MM/yyyy" ) );
                                     } );
    for ( const TemporalProfile::Point &point : profiles.at( i ).points )
    {
      const qint64 time = QDateTime( point.date, QTime( 0, 0 ), Qt::UTC ).toMSecsSinceEpoch();
      first = std::min( first, time );
      last = std::max( last, time );
      series->append( static_cast<double>( time ), point.value );
    }
  }
  if ( profiles.isEmpty() )
    chart->setTitle( emptyText );
  auto *x = new QDateTimeAxis( chart );
  // Short labels, few of them: a dock is narrow, and a point's own date shows when it is hovered.
  x->setFormat( QStringLiteral( "MM/yyyy" ) );
  x->setTickCount( 4 );
  x->setTitleText( QStringLiteral( "Ngày chụp" ) );
  if ( first <= last )
  {
    // A month either side, so that the first and last dates are not on the frame.
    const qint64 margin = std::max<qint64>( ( last - first ) / 20, 30LL * 24 * 3600 * 1000 );
    x->setRange( QDateTime::fromMSecsSinceEpoch( first - margin, Qt::UTC ),
                 QDateTime::fromMSecsSinceEpoch( last + margin, Qt::UTC ) );
  }
  attach( chart, x );
}
