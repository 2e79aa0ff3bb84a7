#include "Gui/ToolBars.h"

#include <QToolBar>

namespace
{
std::unique_ptr<QToolBar> makeToolBar( const QString &title, const QString &objectName, QWidget *parent )
{
  auto toolBar = std::make_unique<QToolBar>( title, parent );
  toolBar->setObjectName( objectName );
  return toolBar;
}
} // namespace

ToolBars::ToolBars( QWidget *parent )
{
  mDataToolBar = makeToolBar( QStringLiteral( "Nhập/xuất dữ liệu" ), QStringLiteral( "mDataToolBar" ), parent );
  mViewToolBar = makeToolBar( QStringLiteral( "Điều khiển nhìn" ), QStringLiteral( "mViewToolBar" ), parent );
  mRasterToolBar = makeToolBar( QStringLiteral( "Công cụ raster" ), QStringLiteral( "mRasterToolBar" ), parent );
  mHelpToolBar = makeToolBar( QStringLiteral( "Trợ giúp" ), QStringLiteral( "mHelpToolBar" ), parent );
}

ToolBars::~ToolBars() = default;

QToolBar *ToolBars::toolBar( int index ) const
{
  switch ( index )
  {
  case 0:
    return mDataToolBar.get();
  case 1:
    return mViewToolBar.get();
  case 2:
    return mRasterToolBar.get();
  case 3:
    return mHelpToolBar.get();
  default:
    return nullptr;
  }
}

QList<QToolBar *> ToolBars::toolBars() const
{
  return { toolBar( DataBar ), toolBar( ViewBar ), toolBar( RasterToolsBar ), toolBar( HelpBar ) };
}
