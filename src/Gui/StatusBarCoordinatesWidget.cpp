#include "Gui/StatusBarCoordinatesWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include <qgscoordinateutils.h>
#include <qgsexception.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>

namespace
{
const QString prompt = QStringLiteral( "Tọa độ con trỏ" );

//! Two numbers from \a parts, when there are exactly two and both convert.
bool takePair( const QStringList &parts, double &x, double &y )
{
  if ( parts.size() != 2 )
    return false;
  bool xOk = false, yOk = false;
  x = parts.at( 0 ).toDouble( &xOk );
  y = parts.at( 1 ).toDouble( &yOk );
  return xOk && yOk;
}
} // namespace

StatusBarCoordinatesWidget::StatusBarCoordinatesWidget( QWidget *parent )
    : QWidget( parent )
{
  const QFontMetrics metrics( font() );
  mSpareWidth = metrics.horizontalAdvance( QStringLiteral( "OO" ) );
  mMinimumEditWidth = 4 * mSpareWidth;

  mLabel = new QLabel( this );
  mLabel->setObjectName( QStringLiteral( "mCoordsLabel" ) );
  mLabel->setMinimumWidth( 10 );
  mLabel->setMargin( 3 );
  mLabel->setAlignment( Qt::AlignCenter );
  mLabel->setFrameStyle( QFrame::NoFrame );
  mLabel->setToolTip( QStringLiteral( "Tọa độ" ) );

  mLineEdit = new QLineEdit( prompt, this );
  mLineEdit->setMinimumWidth( 10 );
  mLineEdit->setContentsMargins( 0, 0, 0, 0 );
  mLineEdit->setAlignment( Qt::AlignCenter );
  connect( mLineEdit, &QLineEdit::returnPressed, this, &StatusBarCoordinatesWidget::validateCoordinates );

  auto *layout = new QHBoxLayout( this );
  layout->setAlignment( Qt::AlignRight );
  layout->setSpacing( 5 );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mLabel );
  layout->addWidget( mLineEdit );
}

void StatusBarCoordinatesWidget::setMapCanvas( QgsMapCanvas *canvas )
{
  if ( mCanvas )
  {
    disconnect( mCanvas, &QgsMapCanvas::xyCoordinates, this, &StatusBarCoordinatesWidget::showMouseCoordinates );
    disconnect( mCanvas, &QgsMapCanvas::extentsChanged, this, &StatusBarCoordinatesWidget::showExtent );
  }
  mCanvas = canvas;
  if ( mCanvas )
  {
    connect( mCanvas, &QgsMapCanvas::xyCoordinates, this, &StatusBarCoordinatesWidget::showMouseCoordinates );
    connect( mCanvas, &QgsMapCanvas::extentsChanged, this, &StatusBarCoordinatesWidget::showExtent );
  }
}

void StatusBarCoordinatesWidget::setMouseCoordinatesPrecision( int precision )
{
  mPrecision = precision;
}

void StatusBarCoordinatesWidget::setDisplayFont( const QFont &font )
{
  mLineEdit->setFont( font );
  mLabel->setFont( font );
}

void StatusBarCoordinatesWidget::reset()
{
  mLineEdit->setText( prompt );
}

void StatusBarCoordinatesWidget::updateCrs()
{
  const QgsCoordinateReferenceSystem crs = QgsProject::instance()->crs();
  mLabel->setText( ( crs.isGeographic() ? QStringLiteral( "(GEO) " ) : QStringLiteral( "(PROJ) " ) ) +
                   crs.description() );
}

void StatusBarCoordinatesWidget::showMouseCoordinates( const QgsPointXY &point )
{
  if ( !mCanvas || mCanvas->layerCount() == 0 )
    return;
  try
  {
    showText( QgsCoordinateUtils::formatCoordinateForProject( QgsProject::instance(), point,
                                                              mCanvas->mapSettings().destinationCrs(), mPrecision ) );
  }
  catch ( const QgsCsException & )
  {
    // A point the display CRS cannot hold (beyond a projection's bounds, say).
    showText( QStringLiteral( "Không thể chuyển tọa độ" ) );
  }
}

void StatusBarCoordinatesWidget::showExtent()
{
  if ( !mCanvas || mCanvas->layerCount() == 0 )
    return;
  showText( mCanvas->extent().toString( 3 ) );
}

void StatusBarCoordinatesWidget::showText( const QString &text )
{
  mLineEdit->setText( text );
  // Grow at once, shrink only by more than "OO", so the status bar does not jitter.
  const int needed = std::max( mLineEdit->fontMetrics().horizontalAdvance( text ) + 16, mMinimumEditWidth );
  const int current = mLineEdit->minimumWidth();
  if ( current < needed || current - needed > mSpareWidth )
  {
    mLineEdit->setMinimumWidth( needed );
    mLineEdit->setMaximumWidth( needed );
  }
}

void StatusBarCoordinatesWidget::validateCoordinates()
{
  if ( !mCanvas )
    return;
  const QString text =
      mLineEdit->text().replace( QRegularExpression( QStringLiteral( " {2,}" ) ), QStringLiteral( " " ) );
  double x = 0, y = 0;
  if ( !takePair( text.split( QLatin1Char( ',' ) ), x, y ) && !takePair( text.split( QLatin1Char( ' ' ) ), x, y ) )
    return;
  mCanvas->setCenter( QgsPointXY( x, y ) );
  mCanvas->refresh();
}
