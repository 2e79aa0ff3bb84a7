#include "Gui/StatusBarCoordinatesWidget.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QToolButton>

#include <qgscoordinateformatter.h>
#include <qgscoordinatetransform.h>
#include <qgsexception.h>
#include <qgsmapcanvas.h>
#include <qgsmessagebar.h>
#include <qgsproject.h>
#include <qgsprojectionselectiondialog.h>

#include <cmath>

namespace
{
const QString prompt = QStringLiteral( "Tọa độ con trỏ" );
constexpr int degreeDecimals = 6;
// A point that does not come back from the projection within this many degrees was not really projected.
constexpr double roundTripDegrees = 1e-6;

QgsCoordinateReferenceSystem wgs84()
{
  return QgsCoordinateReferenceSystem( QStringLiteral( "EPSG:4326" ) );
}

void notify( const QString &text )
{
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( QStringLiteral( "Tọa độ" ), text, Qgis::Warning, Utils::messageTimeout() );
}

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

  mLabel->setCursor( Qt::PointingHandCursor );
  mLabel->installEventFilter( this );

  mDegreesButton = new QToolButton( this );
  mDegreesButton->setObjectName( QStringLiteral( "mCoordsDegreesButton" ) );
  mDegreesButton->setText( QStringLiteral( "°" ) );
  mDegreesButton->setToolTip( QStringLiteral( "Hiển thị và nhập tọa độ theo độ (kinh độ, vĩ độ WGS 84)" ) );
  mDegreesButton->setCheckable( true );
  mDegreesButton->setAutoRaise( true );
  connect( mDegreesButton, &QToolButton::toggled, this, &StatusBarCoordinatesWidget::showExtent );

  auto *layout = new QHBoxLayout( this );
  layout->setAlignment( Qt::AlignRight );
  layout->setSpacing( 5 );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mLabel );
  layout->addWidget( mLineEdit );
  layout->addWidget( mDegreesButton );
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

bool StatusBarCoordinatesWidget::showsDegrees() const
{
  return mDegreesButton->isChecked();
}

bool StatusBarCoordinatesWidget::eventFilter( QObject *watched, QEvent *event )
{
  if ( watched == mLabel && event->type() == QEvent::MouseButtonRelease &&
       static_cast<QMouseEvent *>( event )->button() == Qt::LeftButton )
  {
    chooseProjectCrs();
    return true;
  }
  return QWidget::eventFilter( watched, event );
}

void StatusBarCoordinatesWidget::chooseProjectCrs()
{
  QgsProject *project = QgsProject::instance();
  QgsProjectionSelectionDialog dialog( window() );
  dialog.setWindowTitle( QStringLiteral( "Hệ tọa độ của dự án" ) );
  dialog.setCrs( project->crs() );
  if ( dialog.exec() != QDialog::Accepted || !dialog.crs().isValid() || dialog.crs() == project->crs() )
    return;

  const QgsCoordinateReferenceSystem before = mCanvas ? mCanvas->mapSettings().destinationCrs() : project->crs();
  const QgsRectangle visible = mCanvas ? mCanvas->extent() : QgsRectangle();
  project->setCrs( dialog.crs() );
  if ( !mCanvas || visible.isEmpty() )
    return;
  try
  {
    const QgsCoordinateTransform transform( before, dialog.crs(), project );
    const QgsRectangle extent = transform.transformBoundingBox( visible );
    if ( !extent.isFinite() || extent.isEmpty() )
      throw QgsCsException( QStringLiteral( "empty extent" ) );
    mCanvas->setExtent( extent );
  }
  catch ( const QgsCsException & )
  {
    notify( QStringLiteral( "Không thể chuyển vùng đang xem sang hệ tọa độ %1, bản đồ hiện toàn cảnh" )
                .arg( dialog.crs().userFriendlyIdentifier() ) );
    mCanvas->zoomToFullExtent();
  }
  mCanvas->refresh();
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
    if ( showsDegrees() )
    {
      const QgsPointXY degrees =
          QgsCoordinateTransform( mCanvas->mapSettings().destinationCrs(), wgs84(), QgsProject::instance() )
              .transform( point );
      showText( QStringLiteral( "%1, %2" )
                    .arg( degrees.x(), 0, 'f', degreeDecimals )
                    .arg( degrees.y(), 0, 'f', degreeDecimals ) );
    }
    else
      // Map units always, whatever display a workspace made elsewhere asks for, so the text can be typed back.
      showText( QgsCoordinateFormatter::asPair( point.x(), point.y(), mPrecision ) );
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
  if ( !showsDegrees() )
  {
    showText( mCanvas->extent().toString( 3 ) );
    return;
  }
  try
  {
    showText( QgsCoordinateTransform( mCanvas->mapSettings().destinationCrs(), wgs84(), QgsProject::instance() )
                  .transformBoundingBox( mCanvas->extent() )
                  .toString( degreeDecimals ) );
  }
  catch ( const QgsCsException & )
  {
    showText( QStringLiteral( "Không thể chuyển vùng đang xem sang độ" ) );
  }
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
  QgsPointXY centre( x, y );
  if ( showsDegrees() && !fromDegrees( centre ) )
    return;
  mCanvas->setCenter( centre );
  mCanvas->refresh();
}

bool StatusBarCoordinatesWidget::fromDegrees( QgsPointXY &point ) const
{
  const QString typed =
      QStringLiteral( "%1, %2" ).arg( Utils::formatNumber( point.x() ), Utils::formatNumber( point.y() ) );
  if ( std::abs( point.x() ) > 180 || std::abs( point.y() ) > 90 )
  {
    notify( QStringLiteral(
                "Tọa độ %1 không hợp lệ: kinh độ phải trong khoảng -180 đến 180, vĩ độ trong khoảng -90 đến 90" )
                .arg( typed ) );
    return false;
  }
  const QgsCoordinateReferenceSystem target = mCanvas->mapSettings().destinationCrs();
  try
  {
    const QgsCoordinateTransform transform( wgs84(), target, QgsProject::instance() );
    const QgsPointXY projected = transform.transform( point );
    const QgsPointXY back = transform.transform( projected, Qgis::TransformDirection::Reverse );
    // Far outside a projection's area some points come out as infinities or as another place.
    if ( !std::isfinite( projected.x() ) || !std::isfinite( projected.y() ) ||
         std::abs( back.x() - point.x() ) > roundTripDegrees || std::abs( back.y() - point.y() ) > roundTripDegrees )
      throw QgsCsException( QStringLiteral( "no round trip" ) );
    point = projected;
    return true;
  }
  catch ( const QgsCsException & )
  {
    notify( QStringLiteral( "Không thể chuyển tọa độ %1 sang hệ tọa độ %2" )
                .arg( typed, target.userFriendlyIdentifier() ) );
    return false;
  }
}
