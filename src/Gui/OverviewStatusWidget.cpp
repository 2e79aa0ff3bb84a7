#include "Gui/OverviewStatusWidget.h"

#include "Core/Utils.h"
#include "Gui/OverviewQueue.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

OverviewStatusWidget::OverviewStatusWidget( OverviewQueue *queue, QWidget *parent )
    : QWidget( parent )
    , mLabel( new QLabel( this ) )
    , mProgressBar( new QProgressBar( this ) )
{
  setObjectName( QStringLiteral( "mOverviewStatus" ) );
  mProgressBar->setMaximumWidth( 100 );
  mProgressBar->setMaximumHeight( 18 );
  auto *stop = new QToolButton( this );
  stop->setObjectName( QStringLiteral( "mStopOverviewsButton" ) );
  stop->setIcon( Utils::icon( QStringLiteral( "Cancel.svg" ) ) );
  stop->setToolTip( QStringLiteral( "Dừng tạo ảnh tháp" ) );
  stop->setAutoRaise( true );
  auto *layout = new QHBoxLayout( this );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mLabel );
  layout->addWidget( mProgressBar );
  layout->addWidget( stop );
  hide();

  connect( stop, &QToolButton::clicked, queue, &OverviewQueue::cancel );
  connect( queue, &OverviewQueue::started, this,
           [this]( const QString &fileName )
           {
             mLabel->setText( QStringLiteral( "Tạo ảnh tháp: %1" ).arg( QFileInfo( fileName ).fileName() ) );
             mProgressBar->setValue( 0 );
             show();
           } );
  connect( queue, &OverviewQueue::progressChanged, mProgressBar, &QProgressBar::setValue );
  connect( queue, &OverviewQueue::idle, this, &QWidget::hide );
}
