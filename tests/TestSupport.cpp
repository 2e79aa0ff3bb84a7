#include "TestSupport.h"

#include "Core/Utils.h"
#include "Gui/MainWindow.h"

#include <qgsmessagebar.h>
#include <qgsmessagebaritem.h>

namespace TestSupport
{

QgsRasterLayer *addRasterLayer( const QString &name, const RasterLayout &layout )
{
  auto *layer = new QgsRasterLayer( absolute( writeRaster( name + QStringLiteral( ".tif" ), layout ) ),
                                    QFileInfo( name ).fileName(), QStringLiteral( "gdal" ) );
  QgsProject::instance()->addMapLayer( layer );
  // The canvas takes new layers on the next turn of the event loop.
  QgsMapCanvas *canvas = MainWindow::mapCanvas();
  if ( canvas && !QTest::qWaitFor( [canvas, layer] { return canvas->layers().contains( layer ); } ) )
    QTest::qFail( "the canvas never drew the new layer", __FILE__, __LINE__ );
  return layer;
}

QString noticeText( const QWidget *dialog )
{
  return QTextDocumentFragment::fromHtml( dialog->findChild<QLabel *>( "noticeLabel" )->text() ).toPlainText();
}

QString applyAndWait( QWidget *dialog )
{
  auto *apply = dialog->findChild<QPushButton *>( "applyButton" );
  apply->click();
  if ( !QTest::qWaitFor( [apply] { return apply->isEnabled(); }, 60000 ) )
    return QStringLiteral( "the run never ended" );
  return noticeText( dialog );
}

QByteArray localMessage( const QString &text )
{
  QByteArray bytes;
  QDataStream stream( &bytes, QIODevice::WriteOnly );
  stream.setVersion( 17 );
  stream << text;
  return bytes;
}

QString readLog()
{
  QFile file( Utils::logFileName() );
  return file.open( QIODevice::ReadOnly ) ? QString::fromUtf8( file.readAll() ) : QString();
}

int openDescriptors()
{
  return QDir( QStringLiteral( "/proc/self/fd" ) ).entryList( QDir::Files | QDir::System ).size();
}

std::shared_ptr<QStringList> answerMessage( const QString &button, int timeoutMs )
{
  auto texts = std::make_shared<QStringList>();
  whenModal(
      [texts, button]( QWidget *dialog )
      {
        if ( auto *label = dialog->findChild<QLabel *>( "messageLbl" ) )
          *texts << label->text();
        clickButton( dialog, button );
      },
      timeoutMs );
  return texts;
}

QList<Notice> notices()
{
  QList<Notice> result;
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
    for ( QgsMessageBarItem *item : bar->items() )
      result.prepend( { item->title(), item->text(), item->level() } );
  return result;
}

void whenModal( std::function<void( QWidget * )> answer, int timeoutMs )
{
  auto *timer = new QTimer( qApp );
  timer->setObjectName( QStringLiteral( "modalAnswer" ) );
  QElapsedTimer elapsed;
  elapsed.start();
  QObject::connect( timer, &QTimer::timeout, timer,
                    [timer, elapsed, answer, timeoutMs]
                    {
                      QWidget *modal = QApplication::activeModalWidget();
                      if ( ( modal && modal->isVisible() ) || elapsed.elapsed() > timeoutMs )
                      {
                        timer->stop();
                        timer->deleteLater();
                        if ( modal )
                          answer( modal );
                      }
                    } );
  timer->start( 20 );
}

void clickButton( QWidget *dialog, const QString &text )
{
  for ( QAbstractButton *button : dialog->findChildren<QAbstractButton *>() )
    if ( button->text() == text )
      return button->click();
  qWarning() << "no button" << text << "in" << dialog;
  if ( auto *asDialog = qobject_cast<QDialog *>( dialog ) )
    asDialog->reject();
}

void answerFileDialog( const QStringList &fileNames, const QString &nameFilter )
{
  whenModal(
      [fileNames, nameFilter]( QWidget *widget )
      {
        auto *dialog = qobject_cast<QFileDialog *>( widget );
        if ( !dialog )
        {
          qWarning() << "expected a file dialog, got" << widget;
          return;
        }
        if ( !nameFilter.isEmpty() )
          dialog->selectNameFilter( nameFilter );
        if ( fileNames.isEmpty() )
          return dialog->reject();
        dialog->setDirectory( QFileInfo( fileNames.constFirst() ).absolutePath() );
        QStringList quoted;
        for ( const QString &fileName : fileNames )
          quoted << QLatin1Char( '"' ) + QFileInfo( fileName ).fileName() + QLatin1Char( '"' );
        dialog->findChild<QLineEdit *>( QStringLiteral( "fileNameEdit" ) )
            ->setText( fileNames.size() == 1 ? fileNames.constFirst() : quoted.join( ' ' ) );
        QMetaObject::invokeMethod( dialog, "accept" );
      } );
}

WindowTest::WindowTest( bool active )
    : mActive( active )
{
}

void WindowTest::init()
{
  QgsSettings().clear();
  QgsProject::instance()->clear();
  mWindow = std::make_unique<MainWindow>();
  if ( mActive )
  {
    mWindow->show();
    QApplication::setActiveWindow( mWindow.get() );
    QVERIFY( QTest::qWaitForWindowActive( mWindow.get() ) );
  }
}

void WindowTest::cleanup()
{
  // No answer waiting for a dialog carries over into the next test.
  qDeleteAll( qApp->findChildren<QTimer *>( QStringLiteral( "modalAnswer" ), Qt::FindDirectChildrenOnly ) );
  mWindow.reset();
  QgsProject::instance()->clear();
}

int run( int argc, char *argv[] )
{
  return runTests( argc, argv, true,
                   []
                   {
                     Utils::useUnambiguousNumbers();
                     Utils::limitGdal();
                   } );
}

} // namespace TestSupport
