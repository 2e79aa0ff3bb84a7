#pragma once

#include <QMenuBar>

#include <array>
#include <memory>

class GuideDialog;
class QMenu;

/**
 * The main window's menu bar: six menus handed out by index (0 "Tệp" to
 * 5 "Trợ giúp"). It fills the help menu itself; the window fills the rest.
 */
class MenuBar : public QMenuBar
{
    Q_OBJECT

  public:
    //! The menus, in the order they stand.
    enum Menu
    {
      FileMenu,
      DataMenu,
      ViewMenu,
      ToolsMenu,
      WindowMenu,
      HelpMenu,
    };

    explicit MenuBar( QWidget *parent );
    ~MenuBar() override;

    //! The menu at \a index (0 to 5), or null.
    QMenu *menu( int index ) const;

  private:
    void showAuthors();
    void showInformation();
    void showGuide();

    std::array<std::unique_ptr<QMenu>, 6> mMenus;
    GuideDialog *mGuide = nullptr;
};
