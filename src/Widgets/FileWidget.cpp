#include "Widgets/FileWidget.h"

#include "Core/Utils.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

FileWidget::FileWidget( QWidget *parent )
    : QWidget( parent )
    , mLineEdit( new QLineEdit( this ) )
    , mBrowseButton( new QToolButton( this ) )
{
  mBrowseButton->setText( QStringLiteral( "…" ) );
  auto *layout = new QHBoxLayout( this );
  layout->setContentsMargins( 0, 0, 0, 0 );
  layout->addWidget( mLineEdit );
  layout->addWidget( mBrowseButton );
  setFocusProxy( mLineEdit );
  connect( mBrowseButton, &QToolButton::clicked, this, &FileWidget::openFileDialog );
}

QString FileWidget::filePath() const
{
  return mLineEdit->text().trimmed();
}

void FileWidget::setMode( int mode )
{
  mMode = mode;
}

void FileWidget::setCaption( const QString &caption )
{
  mCaption = caption;
}

void FileWidget::openFileDialog()
{
  // Read once per widget: later choices elsewhere only change what the next run starts in.
  if ( mStartFolder.isEmpty() )
    mStartFolder = Utils::rememberedFolder( Utils::Keys::lastFileNameDir );

  const auto caption = [this]( const char *fallback )
  { return mCaption.isEmpty() ? QString::fromUtf8( fallback ) : mCaption; };
  QString chosen;
  switch ( mMode )
  {
  case OpenFile:
    chosen = QFileDialog::getOpenFileName( this, caption( "Chọn file" ), mStartFolder, mFilter );
    break;
  case Directory:
    chosen =
        QFileDialog::getExistingDirectory( this, caption( "Chọn thư mục" ), mStartFolder, QFileDialog::ShowDirsOnly );
    break;
  case SaveFile:
    chosen = QFileDialog::getSaveFileName( this, caption( "Lưu ra file" ), mStartFolder, mFilter );
    break;
  default:
    return;
  }
  if ( chosen.isEmpty() )
    return;
  Utils::rememberFolderOf( Utils::Keys::lastFileNameDir, chosen );
  mLineEdit->setText( chosen );
}
