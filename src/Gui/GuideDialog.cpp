#include "Gui/GuideDialog.h"

#include "Core/Utils.h"

#include <QPushButton>
#include <QTextBlock>

const QUrl GuideDialog::source( QStringLiteral( "qrc:/Resources/Guide/index.html" ) );

GuideDialog::GuideDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  QPushButton *close = mButtonBox->button( QDialogButtonBox::Close );
  close->setText( QStringLiteral( "Đóng" ) );
  // Enter belongs to the search field; as the dialog's default button Close would take it.
  close->setAutoDefault( false );
  close->setDefault( false );
  mBrowser->setSource( source );
  mSplitter->setSizes( { 300, 680 } );
  buildContents();
  connect( mContentsTree, &QTreeWidget::itemClicked, this,
           [this]( QTreeWidgetItem *item ) { mBrowser->scrollToAnchor( item->data( 0, Qt::UserRole ).toString() ); } );
  connect( mSearchEdit, &QLineEdit::returnPressed, this, &GuideDialog::findNext );
  connect( mSearchEdit, &QLineEdit::textEdited, this,
           [this]
           {
             // Each new word is looked for from the top.
             mBrowser->moveCursor( QTextCursor::Start );
             findNext();
           } );
}

void GuideDialog::buildContents()
{
  QTreeWidgetItem *chapter = nullptr;
  for ( QTextBlock block = mBrowser->document()->begin(); block.isValid(); block = block.next() )
  {
    const int level = block.blockFormat().headingLevel();
    if ( level != 2 && level != 3 )
      continue;
    QString anchor;
    for ( auto fragment = block.begin(); !fragment.atEnd() && anchor.isEmpty(); ++fragment )
      anchor = fragment.fragment().charFormat().anchorNames().value( 0 );
    auto *item = level == 2 || !chapter ? new QTreeWidgetItem( mContentsTree ) : new QTreeWidgetItem( chapter );
    item->setText( 0, block.text() );
    item->setData( 0, Qt::UserRole, anchor );
    if ( level == 2 )
      chapter = item;
  }
  mContentsTree->expandAll();
}

void GuideDialog::findNext()
{
  const QString text = mSearchEdit->text().trimmed();
  mSearchNotice->clear();
  if ( text.isEmpty() )
    return;
  if ( mBrowser->find( text ) )
    return;
  mBrowser->moveCursor( QTextCursor::Start );
  if ( !mBrowser->find( text ) )
    mSearchNotice->setText( Utils::errorText( QStringLiteral( "Không tìm thấy \"%1\"" ).arg( text.toHtmlEscaped() ) ) );
}
