#pragma once

#include <QList>
#include <QObject>

#include <memory>

class QToolBar;
class QWidget;

/**
 * The four tool bars of the main window, handed out by index: 0 data,
 * 1 view, 2 raster tools, 3 help. The buttons are the menus' own actions.
 */
class ToolBars : public QObject
{
    Q_OBJECT

  public:
    //! The tool bars, in the order they stand.
    enum Bar
    {
      DataBar,
      ViewBar,
      RasterToolsBar,
      HelpBar,
    };

    explicit ToolBars( QWidget *parent );
    ~ToolBars() override;

    //! The tool bar at \a index (0 to 3), or null.
    QToolBar *toolBar( int index ) const;
    //! The four tool bars in index order.
    QList<QToolBar *> toolBars() const;

  private:
    std::unique_ptr<QToolBar> mDataToolBar;
    std::unique_ptr<QToolBar> mRasterToolBar;
    std::unique_ptr<QToolBar> mViewToolBar;
    std::unique_ptr<QToolBar> mHelpToolBar;
};
