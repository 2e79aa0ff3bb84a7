#pragma once

#include "ui_GuideDialog.h"

#include <QDialog>

/**
 * The user guide shipped in the resources: a table of contents built from
 * the guide's headings, the page, and a search that finds the next match.
 */
class GuideDialog : public QDialog, private Ui::GuideDialog
{
    Q_OBJECT

  public:
    explicit GuideDialog( QWidget *parent );

    //! Where the guide lives.
    static const QUrl source;

  private:
    void buildContents();
    void findNext();
};
