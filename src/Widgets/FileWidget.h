#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

/**
 * A path entry with a browse button that opens a file dialog to open a file,
 * choose a folder or save a file, starting in the folder last used.
 */
class FileWidget : public QWidget
{
    Q_OBJECT

  public:
    enum Mode
    {
      OpenFile = 0,
      Directory = 1,
      SaveFile = 2,
    };

    explicit FileWidget( QWidget *parent = nullptr );

    //! The path as typed or chosen, without surrounding blanks.
    QString filePath() const;
    void setMode( int mode );
    //! Title of the file dialog; empty gives the mode's own title.
    void setCaption( const QString &caption );

  public slots:
    void openFileDialog();

  private:
    QLineEdit *mLineEdit = nullptr;
    QToolButton *mBrowseButton = nullptr;
    QString mCaption;
    QString mFilter;
    QString mStartFolder;
    int mMode = OpenFile;
};
