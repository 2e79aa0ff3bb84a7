#include "Gui/RecentFiles.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include <qgsmessagebar.h>

namespace
{
void store( QStringList files )
{
  files.removeAll( QString() );
  files.removeDuplicates();
  Utils::writeSetting( Utils::Keys::recentFiles, QStringList( files.mid( 0, RecentFiles::maximumCount ) ) );
}
} // namespace

RecentFiles::RecentFiles( QMenu *menu )
    : QObject( menu )
    , mMenu( menu )
{
  connect( menu, &QMenu::aboutToShow, this, &RecentFiles::fillMenu );
  fillMenu();
}

QStringList RecentFiles::files()
{
  QStringList files = Utils::readSetting( Utils::Keys::recentFiles, QStringList() ).toStringList();
  files.removeAll( QString() );
  return files.mid( 0, maximumCount );
}

void RecentFiles::add( const QString &fileName )
{
  const QString path = QDir::cleanPath( QFileInfo( fileName ).absoluteFilePath() );
  QStringList list = files();
  list.removeAll( path );
  list.prepend( path );
  store( list );
}

void RecentFiles::remove( const QString &fileName )
{
  QStringList list = files();
  list.removeAll( fileName );
  store( list );
}

void RecentFiles::fillMenu()
{
  mMenu->clear();
  const QStringList list = files();
  for ( int i = 0; i < list.size(); ++i )
  {
    const QString fileName = list.at( i );
    // "&" would otherwise turn the next letter of a file name into a mnemonic.
    QAction *action = mMenu->addAction(
        QStringLiteral( "&%1 %2" )
            .arg( ( i + 1 ) % 10 )
            .arg( QDir::toNativeSeparators( fileName ).replace( QLatin1Char( '&' ), QLatin1String( "&&" ) ) ) );
    action->setData( fileName );
    connect( action, &QAction::triggered, this, [this, fileName] { choose( fileName ); } );
  }
  mMenu->addSeparator();
  QAction *clear = mMenu->addAction( QStringLiteral( "Xóa danh sách" ) );
  clear->setEnabled( !list.isEmpty() );
  connect( clear, &QAction::triggered, this, [] { store( {} ); } );
}

void RecentFiles::choose( const QString &fileName )
{
  if ( QFileInfo::exists( fileName ) )
  {
    emit fileChosen( fileName );
    return;
  }
  remove( fileName );
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    bar->pushMessage( QStringLiteral( "Mở gần đây" ),
                      QStringLiteral( "Không còn file %1, đã bỏ khỏi danh sách" ).arg( fileName ), Qgis::Warning,
                      Utils::messageTimeout() );
}
