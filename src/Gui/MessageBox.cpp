#include "Gui/MessageBox.h"

#include <QPushButton>

MessageBox::MessageBox( QWidget *parent, const QString &title, const QString &text, const QString &iconPath,
                        QDialogButtonBox::StandardButtons buttons )
    : QDialog( parent )
{
  setupUi( this );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  connect( buttonBox, &QDialogButtonBox::clicked, this,
           [this]( QAbstractButton *button )
           {
             mAnswer = buttonBox->standardButton( button );
             // Discarding is a choice to go on, like Yes, not a way out.
             if ( buttonBox->buttonRole( button ) == QDialogButtonBox::DestructiveRole )
               accept();
           } );
  connect( buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept );
  connect( buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject );
  setFixedSize( size() );
  setWindowTitle( title );
  // Texts may carry what a server or a file said; markup in them must not load anything.
  messageLbl->setTextFormat( Qt::PlainText );
  messageLbl->setText( text );
  iconLabel->setPixmap( QIcon( iconPath ).pixmap( iconLabel->size() ) );
  setButtons( buttons );
}

void MessageBox::setButtons( QDialogButtonBox::StandardButtons buttons )
{
  buttonBox->setStandardButtons( buttons );
  const std::pair<QDialogButtonBox::StandardButton, QString> labels[] = {
      { QDialogButtonBox::Ok, QStringLiteral( "Đồng ý" ) },
      { QDialogButtonBox::Yes, QStringLiteral( "Có" ) },
      { QDialogButtonBox::No, QStringLiteral( "Không" ) },
      { QDialogButtonBox::Cancel, QStringLiteral( "Hủy" ) },
      { QDialogButtonBox::Save, QStringLiteral( "Lưu" ) },
      { QDialogButtonBox::Discard, QStringLiteral( "Không lưu" ) },
  };
  for ( const auto &[button, label] : labels )
  {
    if ( buttons.testFlag( button ) )
      buttonBox->button( button )->setText( label );
  }
}

int MessageBox::information( const QString &title, const QString &text, const QString &iconPath )
{
  MessageBox box( nullptr, title, text, iconPath, QDialogButtonBox::Ok );
  return box.exec();
}
