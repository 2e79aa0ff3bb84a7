#pragma once

#include "Gui/MainWindow.h"
#include "Gui/MenuBar.h"
#include "RasterFixtures.h"
#include "TestHarness.h"

// What nearly every test uses, so the test files name only what is particular to them.
#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include <gdal_priv.h>
#include <qgis.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgssettings.h>
#include <qgsvectorlayer.h>

namespace TestSupport
{

//! Writes \a name.tif following \a layout, adds it to the project as the file's base name, waits until the canvas has it.
QgsRasterLayer *addRasterLayer( const QString &name, const RasterLayout &layout = RasterLayout() );
//! A tool dialog's notice as the user reads it (its noticeLabel without the colour markup).
QString noticeText( const QWidget *dialog );
//! Clicks the dialog's Apply and waits until the background run, if one started, has ended; returns the notice.
QString applyAndWait( QWidget *dialog );
//! \a text framed as the local socket expects it (one QDataStream string, stream version 17).
QByteArray localMessage( const QString &text );
//! This run's log as written so far (empty before the log is opened).
QString readLog();
int openDescriptors();

struct Notice
{
    QString title;
    QString text;
    Qgis::MessageLevel level;
};
//! The main window's message-bar notices, oldest first.
QList<Notice> notices();

//! Runs \a answer on the next modal widget that becomes active within \a timeoutMs; call it before opening the dialog.
void whenModal( std::function<void( QWidget * )> answer, int timeoutMs = 10000 );
//! Answers the next message box within \a timeoutMs with \a button; its text, once answered.
std::shared_ptr<QStringList> answerMessage( const QString &button, int timeoutMs = 10000 );
void clickButton( QWidget *dialog, const QString &text );
//! Answers the next file dialog with \a fileNames (in one folder), optionally choosing \a nameFilter.
void answerFileDialog( const QStringList &fileNames, const QString &nameFilter = QString() );

//! Triggers the Tools-menu command \a text; its dialog when that is shown, else null.
template <typename Dialog> Dialog *showTool( const QString &text )
{
  for ( QAction *action : MainWindow::instance()->findChild<MenuBar *>()->menu( MenuBar::ToolsMenu )->actions() )
    if ( action->text() == text )
      action->trigger();
  auto *dialog = MainWindow::instance()->findChild<Dialog *>();
  return dialog && dialog->isVisible() ? dialog : nullptr;
}

//! Each test function gets empty settings, an empty project and a new window (shown and active when \a active is set).
class WindowTest : public QObject
{
    Q_OBJECT

  public:
    explicit WindowTest( bool active = false );

  protected:
    std::unique_ptr<MainWindow> mWindow;

  private slots:
    void init();
    void cleanup();

  private:
    bool mActive = false;
};

int run( int argc, char *argv[] );

} // namespace TestSupport
