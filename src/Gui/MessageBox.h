#pragma once

#include "ui_MessageBox.h"

#include <QDialog>
#include <QDialogButtonBox>

/**
 * The program's own modal notice and question box: an icon, a framed text and
 * standard buttons labelled in Vietnamese. exec() returns 1 for Ok, Yes, Save
 * or Discard; answer() tells which.
 */
class MessageBox : public QDialog, private Ui::MessageBox
{
    Q_OBJECT

  public:
    MessageBox( QWidget *parent, const QString &title, const QString &text, const QString &iconPath,
                QDialogButtonBox::StandardButtons buttons );

    //! Shows \a buttons, labelled in Vietnamese.
    void setButtons( QDialogButtonBox::StandardButtons buttons );

    //! The button that closed the box; NoButton when it was closed otherwise.
    QDialogButtonBox::StandardButton answer() const { return mAnswer; }

    //! Runs a parentless notice with the Ok button only and returns its exec() result.
    static int information( const QString &title, const QString &text, const QString &iconPath );

  private:
    QDialogButtonBox::StandardButton mAnswer = QDialogButtonBox::NoButton;
};
