#include "Gui/StatusBarScaleWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsprojectviewsettings.h>
#include <qgsscalecombobox.h>

StatusBarScaleWidget::StatusBarScaleWidget( QgsMapCanvas *canvas, QWidget *parent )
    : QWidget( parent )
    , mCanvas( canvas )
{
  mLabel = new QLabel( QStringLiteral( "Tỉ lệ" ), this );
  mLabel->setObjectName( QStringLiteral( "mScaleLabel" ) );
  mLabel->setMinimumWidth( 10 );
  mLabel->setMargin( 3 );
  mLabel->setAlignment( Qt::AlignCenter );
  mLabel->setFrameStyle( QFrame::NoFrame );

  mScale = new QgsScaleComboBox( this );
  mScale->setObjectName( QStringLiteral( "mScaleEdit" ) );
  mScale->setMinimumWidth( 10 );
  mScale->setContentsMargins( 0, 0, 0, 0 );

  mLayout = new QHBoxLayout( this );
  mLayout->addWidget( mLabel );
  mLayout->addWidget( mScale );
  mLayout->setContentsMargins( 0, 0, 0, 0 );
  mLayout->setAlignment( Qt::AlignRight );
  mLayout->setSpacing( 0 );

  connect( mScale, &QgsScaleComboBox::scaleChanged, this, &StatusBarScaleWidget::userScale );
}

void StatusBarScaleWidget::showScale( double scale )
{
  {
    const QSignalBlocker blocker( mScale );
    mScale->setScale( scale );
  }
  // Never shrink, so the status bar does not jump while zooming.
  if ( mScale->width() > mScale->minimumWidth() )
    mScale->setMinimumWidth( mScale->width() );
}

void StatusBarScaleWidget::setDisplayFont( const QFont &font )
{
  mLabel->setFont( font );
  mScale->lineEdit()->setFont( font );
}

void StatusBarScaleWidget::reset()
{
  mCanvas->zoomScale( 1.0 );
}

void StatusBarScaleWidget::updateScales()
{
  const QgsProjectViewSettings *view = QgsProject::instance()->viewSettings();
  QStringList scales;
  if ( view->useProjectScales() )
  {
    for ( const double scale : view->mapScales() )
      scales << QStringLiteral( "1:%1" ).arg( scale, 0, 'g', -1 );
  }
  mScale->updateScales( scales );
}

void StatusBarScaleWidget::userScale()
{
  mCanvas->zoomScale( mScale->scale() );
}
