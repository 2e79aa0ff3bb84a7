#include "Gui/MenuBar.h"

#include "Core/Constants.h"
#include "Core/Utils.h"
#include "Gui/GuideDialog.h"
#include "Gui/MainWindow.h"
#include "Gui/MessageBox.h"
#include "Gui/ToolBars.h"

#include <QMenu>

#include <gdal.h>
#include <qgis.h>

MenuBar::MenuBar( QWidget *parent )
    : QMenuBar( parent )
{
  const QString titles[] = { QStringLiteral( "Tệp" ),     QStringLiteral( "Dữ liệu" ), QStringLiteral( "Xem" ),
                             QStringLiteral( "Công cụ" ), QStringLiteral( "Cửa sổ" ),  QStringLiteral( "Trợ giúp" ) };
  for ( std::size_t i = 0; i < mMenus.size(); ++i )
  {
    mMenus[i] = std::make_unique<QMenu>( titles[i], this );
    addMenu( mMenus[i].get() );
  }

  QMenu *help = menu( HelpMenu );
  QAction *guide = help->addAction( Utils::icon( QStringLiteral( "Help.svg" ) ), QStringLiteral( "Hướng dẫn" ) );
  QAction *update =
      help->addAction( Utils::icon( QStringLiteral( "Freshkit.svg" ) ), QStringLiteral( "Cập nhật phần mềm" ) );
  update->setObjectName( QStringLiteral( "mActionUpdate" ) );
  help->addSeparator();
  QAction *authors = help->addAction( Utils::icon( QStringLiteral( "Author.svg" ) ), QStringLiteral( "Nhóm tác giả" ) );
  QAction *information =
      help->addAction( Utils::icon( QStringLiteral( "Information.svg" ) ), QStringLiteral( "Thông tin phần mềm" ) );
  guide->setObjectName( QStringLiteral( "mActionGuide" ) );
  connect( guide, &QAction::triggered, this, &MenuBar::showGuide );
  connect( authors, &QAction::triggered, this, &MenuBar::showAuthors );
  connect( information, &QAction::triggered, this, &MenuBar::showInformation );

  if ( MainWindow *window = MainWindow::instance() )
  {
    connect( update, &QAction::triggered, window, &MainWindow::checkForUpdate );
    for ( QAction *action : { guide, update, authors, information } )
      window->addActionToToolBar( action, ToolBars::HelpBar );
  }
}

// Deleted from the last menu to the first.
MenuBar::~MenuBar() = default;

QMenu *MenuBar::menu( int index ) const
{
  if ( index < 0 || index >= static_cast<int>( mMenus.size() ) )
    return nullptr;
  return mMenus[static_cast<std::size_t>( index )].get();
}

void MenuBar::showAuthors()
{
  MessageBox box( MainWindow::instance(), QStringLiteral( "Nhóm tác giả" ),
                  QStringLiteral( "Nhóm phát triển Rastova - Norvale\n"
                                  "Xử lý ảnh viễn thám và dữ liệu địa lý\n"
                                  "Xây dựng trên QGIS, GDAL và Qt" ),
                  Utils::iconPath( QStringLiteral( "Author.svg" ) ), QDialogButtonBox::Ok );
  box.exec();
}

void MenuBar::showInformation()
{
  MessageBox box( MainWindow::instance(), QStringLiteral( "Thông tin phần mềm" ),
                  QStringLiteral( "Phần mềm phân tích và xử lý dữ liệu thông tin địa lý Rastova. Phiên bản %1 (%2)\n"
                                  "Qt %3, QGIS %4, GDAL %5" )
                      .arg( Constants::version, Constants::releaseDate, QString::fromLatin1( qVersion() ),
                            Qgis::version(), QString::fromLatin1( GDALVersionInfo( "RELEASE_NAME" ) ) ),
                  Utils::iconPath( QStringLiteral( "Information.svg" ) ), QDialogButtonBox::Ok );
  box.exec();
}

void MenuBar::showGuide()
{
  // Kept open beside the window, so the user can follow it while working.
  if ( !mGuide )
    mGuide = new GuideDialog( MainWindow::instance() );
  mGuide->show();
  mGuide->raise();
  mGuide->activateWindow();
}
