#include "TestSupport.h"

#include "Core/Constants.h"
#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/MenuBar.h"

#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <qgsapplication.h>
#include <qgsmessagebar.h>
#include <qgsmessagebaritem.h>

#include <vector>

#include <csignal>
#include <sys/resource.h>

namespace TestSupport
{

namespace
{
QTemporaryDir *gSandbox = nullptr;

QString prepareSandbox()
{
  // QTemporaryDir honours TMPDIR, so it is made before TMPDIR points inside it.
  gSandbox = new QTemporaryDir();
  const QString root = gSandbox->path();
  for ( const char *folder : { "home", "config", "tmp", "runtime", "work" } )
    QDir( root ).mkpath( QString::fromLatin1( folder ) );
  QFile::setPermissions( root + QStringLiteral( "/runtime" ),
                         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner );
  qputenv( "HOME", QFile::encodeName( root + QStringLiteral( "/home" ) ) );
  qputenv( "XDG_CONFIG_HOME", QFile::encodeName( root + QStringLiteral( "/config" ) ) );
  qputenv( "XDG_RUNTIME_DIR", QFile::encodeName( root + QStringLiteral( "/runtime" ) ) );
  qputenv( "TMPDIR", QFile::encodeName( root + QStringLiteral( "/tmp" ) ) );
  // Every window asks for the update manifest; tests never reach beyond this machine.
  qputenv( "RASTOVA_UPDATE_URL", "http://127.0.0.1:9/update.json" );
  if ( qEnvironmentVariableIsEmpty( "QT_QPA_PLATFORM" ) )
    qputenv( "QT_QPA_PLATFORM", "offscreen" );
  QDir::setCurrent( root + QStringLiteral( "/work" ) );
  return root;
}
} // namespace

void clearSettings()
{
  QgsSettings().clear();
}

FileSizeLimit::FileSizeLimit( qint64 bytes )
{
  // Growing past the limit would otherwise end the process with SIGXFSZ.
  std::signal( SIGXFSZ, SIG_IGN );
  rlimit limit{};
  getrlimit( RLIMIT_FSIZE, &limit );
  mPrevious = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>( bytes );
  setrlimit( RLIMIT_FSIZE, &limit );
}

FileSizeLimit::~FileSizeLimit()
{
  rlimit limit{};
  getrlimit( RLIMIT_FSIZE, &limit );
  limit.rlim_cur = mPrevious;
  setrlimit( RLIMIT_FSIZE, &limit );
}

bool mountSmallDisk( const QString &folder )
{
  QDir().mkpath( folder );
  return QProcess::execute( "mount", { "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder } ) == 0;
}

QMap<QString, QByteArray> folderContents( const QString &folder )
{
  QMap<QString, QByteArray> contents;
  const QDir root( QDir( folder ).absolutePath() );
  for ( QDirIterator it( root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories ); it.hasNext(); )
  {
    QFile reader( it.next() );
    reader.open( QIODevice::ReadOnly );
    contents.insert( root.relativeFilePath( it.filePath() ), reader.readAll() );
  }
  return contents;
}

double valueAt( int band, int x, int y )
{
  return band * 1000 + y * 37 + x * 3 + ( x * y ) % 7;
}

QString writeRaster( const QString &path, const RasterSpec &spec )
{
  GDALAllRegister();
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName( "GTiff" );
  std::unique_ptr<GDALDataset> dataset(
      driver->Create( path.toUtf8().constData(), spec.width, spec.height, spec.bands, spec.type, nullptr ) );
  if ( !dataset )
  {
    QTest::qFail( qPrintable( QStringLiteral( "GDAL cannot create %1" ).arg( path ) ), __FILE__, __LINE__ );
    return QString();
  }
  double transform[6] = { spec.originX, spec.pixelSize, 0, spec.originY, 0, -spec.pixelSize };
  dataset->SetGeoTransform( transform );
  OGRSpatialReference srs;
  srs.importFromEPSG( spec.epsg );
  dataset->SetSpatialRef( &srs );
  QVector<double> values( spec.width * spec.height );
  for ( int band = 1; band <= spec.bands; ++band )
  {
    for ( int y = 0; y < spec.height; ++y )
      for ( int x = 0; x < spec.width; ++x )
        values[y * spec.width + x] = valueAt( band, x, y ) * spec.scale + spec.offset;
    GDALRasterBand *rasterBand = dataset->GetRasterBand( band );
    if ( spec.hasNoData )
      rasterBand->SetNoDataValue( spec.noData );
    if ( rasterBand->RasterIO( GF_Write, 0, 0, spec.width, spec.height, values.data(), spec.width, spec.height,
                               GDT_Float64, 0, 0 ) != CE_None )
      QTest::qFail( "GDAL cannot write the fixture", __FILE__, __LINE__ );
  }
  return path;
}

QString writeVector( const QString &path, const QString &driverName, const QStringList &layerNames )
{
  GDALAllRegister();
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName( driverName.toUtf8().constData() );
  std::unique_ptr<GDALDataset> dataset(
      driver ? driver->Create( path.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr ) : nullptr );
  if ( !dataset )
  {
    QTest::qFail( qPrintable( QStringLiteral( "OGR cannot create %1" ).arg( path ) ), __FILE__, __LINE__ );
    return QString();
  }
  OGRSpatialReference srs;
  srs.importFromEPSG( 32748 );
  srs.SetAxisMappingStrategy( OAMS_TRADITIONAL_GIS_ORDER );
  for ( const QString &name : layerNames )
  {
    OGRLayer *layer = dataset->CreateLayer( name.toUtf8().constData(), &srs, wkbPolygon, nullptr );
    OGRFieldDefn nameField( "ten", OFTString );
    OGRFieldDefn areaField( "dien_tich", OFTReal );
    layer->CreateField( &nameField );
    layer->CreateField( &areaField );
    for ( int i = 0; i < 3; ++i )
    {
      OGRFeature feature( layer->GetLayerDefn() );
      feature.SetField( "ten", QStringLiteral( "Thửa %1" ).arg( i ).toUtf8().constData() );
      feature.SetField( "dien_tich", 12.5 * ( i + 1 ) );
      OGRPolygon polygon;
      OGRLinearRing ring;
      const double x = 500000 + 100 * i, y = 9000000 - 100 * i;
      ring.addPoint( x, y );
      ring.addPoint( x + 50, y );
      ring.addPoint( x + 50, y - 50 );
      ring.addPoint( x, y );
      polygon.addRing( &ring );
      feature.SetGeometry( &polygon );
      if ( layer->CreateFeature( &feature ) != OGRERR_NONE )
        QTest::qFail( "OGR cannot write the fixture", __FILE__, __LINE__ );
    }
  }
  return path;
}

QString absolute( const QString &path )
{
  return QDir::current().absoluteFilePath( path );
}

QgsRasterLayer *addRasterLayer( const QString &name, const RasterSpec &spec )
{
  auto *layer = new QgsRasterLayer( absolute( writeRaster( name + QStringLiteral( ".tif" ), spec ) ),
                                    QFileInfo( name ).fileName(), QStringLiteral( "gdal" ) );
  QgsProject::instance()->addMapLayer( layer );
  // The canvas takes new layers on the next turn of the event loop.
  if ( QgsMapCanvas *canvas = MainWindow::mapCanvas() )
  {
    if ( !QTest::qWaitFor( [canvas, layer] { return canvas->layers().contains( layer ); } ) )
      QTest::qFail( "the canvas never drew the new layer", __FILE__, __LINE__ );
  }
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

QString writeBytes( const QString &path, const QByteArray &bytes )
{
  QFile file( path );
  if ( !file.open( QIODevice::WriteOnly ) || file.write( bytes ) != bytes.size() )
    QTest::qFail( qPrintable( QStringLiteral( "cannot write %1" ).arg( path ) ), __FILE__, __LINE__ );
  return path;
}

QVector<double> readBand( const QString &path, int band )
{
  std::unique_ptr<GDALDataset> dataset( GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER ) );
  if ( !dataset || band > dataset->GetRasterCount() )
    return {};
  const int width = dataset->GetRasterXSize();
  const int height = dataset->GetRasterYSize();
  QVector<double> values( width * height );
  if ( dataset->GetRasterBand( band )->RasterIO( GF_Read, 0, 0, width, height, values.data(), width, height,
                                                 GDT_Float64, 0, 0 ) != CE_None )
    return {};
  return values;
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

void triggerTool( const QString &text )
{
  for ( QAction *action : MainWindow::instance()->findChild<MenuBar *>()->menu( MenuBar::ToolsMenu )->actions() )
    if ( action->text() == text )
      action->trigger();
}

std::unique_ptr<GDALDataset> openRaster( const QString &path )
{
  return std::unique_ptr<GDALDataset>( GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER ) );
}

QString checkWritten( const QString &path, const QList<SourceBand> &sources, GDALDataType type, double noData )
{
  const std::unique_ptr<GDALDataset> out = openRaster( path );
  if ( !out || out->GetRasterCount() != sources.size() )
    return QStringLiteral( "%1 does not open with %2 bands" ).arg( path ).arg( sources.size() );
  for ( int band = 1; band <= sources.size(); ++band )
  {
    const SourceBand &source = sources[band - 1];
    const std::unique_ptr<GDALDataset> in = openRaster( source.path );
    GDALRasterBand *written = out->GetRasterBand( band );
    int has = 0;
    const double declared = written->GetNoDataValue( &has );
    const QString where = QStringLiteral( "band %1: " ).arg( band );
    if ( !in || out->GetRasterXSize() != in->GetRasterXSize() || out->GetRasterYSize() != in->GetRasterYSize() )
      return where + QStringLiteral( "not the size of %1" ).arg( source.path );
    if ( written->GetRasterDataType() != type )
      return where + GDALGetDataTypeName( written->GetRasterDataType() );
    if ( !has || !( declared == noData || ( std::isnan( declared ) && std::isnan( noData ) ) ) )
      return where + QStringLiteral( "no-data %1" ).arg( has ? QString::number( declared ) : QStringLiteral( "none" ) );
    if ( readBand( path, band ) != readBand( source.path, source.band ) )
      return where + QStringLiteral( "values differ from band %1 of %2" ).arg( source.band ).arg( source.path );
  }
  return QString();
}

QList<Notice> notices()
{
  QList<Notice> result;
  if ( QgsMessageBar *bar = MainWindow::messageBar() )
  {
    for ( QgsMessageBarItem *item : bar->items() )
      result.prepend( { item->title(), item->text(), item->level() } );
  }
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

void forgetModalAnswers()
{
  for ( QTimer *timer : qApp->findChildren<QTimer *>( QStringLiteral( "modalAnswer" ), Qt::FindDirectChildrenOnly ) )
    delete timer;
}

void answerYes()
{
  whenModal( []( QWidget *box ) { qobject_cast<QMessageBox *>( box )->button( QMessageBox::Yes )->click(); } );
}

void clickButton( QWidget *dialog, const QString &text )
{
  for ( QAbstractButton *button : dialog->findChildren<QAbstractButton *>() )
  {
    if ( button->text() == text )
    {
      button->click();
      return;
    }
  }
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
        {
          dialog->reject();
          return;
        }
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
  clearSettings();
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
  forgetModalAnswers();
  mWindow.reset();
  QgsProject::instance()->clear();
}

namespace
{
std::vector<std::pair<QString, std::function<QObject *()>>> &registeredTests()
{
  static std::vector<std::pair<QString, std::function<QObject *()>>> tests;
  return tests;
}
} // namespace

bool registerTest( const char *name, std::function<QObject *()> make )
{
  registeredTests().emplace_back( QString::fromLatin1( name ), std::move( make ) );
  return true;
}

int run( int argc, char *argv[] )
{
  prepareSandbox();
  QCoreApplication::setOrganizationName( Constants::organizationName );
  QCoreApplication::setApplicationName( Constants::applicationName );
  QgsApplication application( argc, argv, true );
  Utils::useUnambiguousNumbers();
  Utils::limitGdal();
  QgsApplication::setPrefixPath( QStringLiteral( RASTOVA_QGIS_PREFIX ), true );
  QgsApplication::initQgis();

  // "Program TestClass -functions" runs one class with QtTest's own arguments.
  const QString chosen = argc > 1 ? QString::fromLocal8Bit( argv[1] ) : QString();
  const bool oneClass = std::any_of( registeredTests().cbegin(), registeredTests().cend(),
                                     [&chosen]( const auto &test ) { return test.first == chosen; } );
  std::vector<char *> arguments( argv, argv + argc );
  if ( oneClass )
    arguments.erase( arguments.begin() + 1 );
  int failures = 0;
  for ( const auto &[name, make] : registeredTests() )
  {
    if ( oneClass && name != chosen )
      continue;
    const std::unique_ptr<QObject> test( make() );
    failures += QTest::qExec( test.get(), static_cast<int>( arguments.size() ), arguments.data() );
  }
  QgsApplication::exitQgis();
  delete gSandbox;
  return failures;
}

} // namespace TestSupport
