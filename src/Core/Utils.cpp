#include "Core/Utils.h"

#include "Core/Constants.h"
#include "Core/NumberText.h"
#include "Core/Platform.h"
#include "Processing/GdalSettings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QMutex>
#include <QResource>
#include <QStandardPaths>
#include <QTextStream>
#include <QTranslator>

#include <qgsapplication.h>
#include <qgssettings.h>

#include <algorithm>

#include <cpl_conv.h>
#include <gdal_priv.h>

namespace Utils
{

namespace
{
const QString logNameFormat = QStringLiteral( "dd-MM-yyyy_hh-mm-ss" );
QString gLogFileName;
QMutex gLogMutex;
} // namespace

QVariant readSetting( const SettingKey &key, const QVariant &defaultValue )
{
  QgsSettings settings;
  settings.beginGroup( key.group );
  QVariant value = settings.value( key.key, defaultValue );
  settings.endGroup();
  if ( !defaultValue.isValid() )
    return value;
  if ( !value.convert( defaultValue.userType() ) )
    return defaultValue;
  if ( value.userType() == QMetaType::Int && ( value.toInt() < key.minimum || value.toInt() > key.maximum ) )
    return defaultValue;
  return value;
}

void writeSetting( const SettingKey &key, const QVariant &value )
{
  QgsSettings settings;
  settings.beginGroup( key.group );
  settings.setValue( key.key, value );
  settings.endGroup();
}

QString rememberedFolder( const SettingKey &key )
{
  return readSetting( key, Platform::defaultStartFolder() ).toString();
}

void rememberFolderOf( const SettingKey &key, const QString &filePath )
{
  writeSetting( key, QFileInfo( filePath ).dir().path() );
}

QString iconPath( const QString &name )
{
  for ( const QString &prefix : { QStringLiteral( ":/Resources/" ), QStringLiteral( ":/images/themes/default/" ) } )
  {
    if ( QFile::exists( prefix + name ) )
      return prefix + name;
  }
  return QString();
}

QIcon icon( const QString &name )
{
  const QString path = iconPath( name );
  return path.isEmpty() ? QIcon() : QIcon( path );
}

int messageTimeout()
{
  return readSetting( Keys::messageTimeout, 5 ).toInt();
}

int dialogTimeout()
{
  return readSetting( Keys::dialogTimeout, 1 ).toInt();
}

QString successText( const QString &text )
{
  return QStringLiteral( "<font color='#55aa00'>%1</font>" ).arg( text );
}

QString errorText( const QString &text )
{
  return QStringLiteral( "<font color='#ff007f'>%1</font>" ).arg( text );
}

QString errorText( const QString &text, const QString &reason )
{
  if ( reason.trimmed().isEmpty() )
    return errorText( text );
  constexpr int shownLength = 120;
  QString shown = reason.simplified();
  if ( shown.size() > shownLength )
    shown = shown.left( shownLength - 1 ) + QChar( 0x2026 );
  return errorText( text ) + QStringLiteral( "<br><small>%1</small>" ).arg( shown.toHtmlEscaped() );
}

bool isWritablePath( const QString &path )
{
  if ( path.trimmed().isEmpty() )
    return false;
  // A "folder" that is really a file cannot hold anything.
  const QFileInfo folder( QFileInfo( path ).absolutePath() );
  return folder.isDir() && folder.isWritable();
}

void showInExplorer( const QString &path )
{
  Platform::revealInFileBrowser( path );
}

bool isNewerVersion( const QString &current, const QString &candidate )
{
  const QStringList currentParts = current.split( QLatin1Char( '.' ) );
  const QStringList candidateParts = candidate.split( QLatin1Char( '.' ) );
  const int shared = std::min( currentParts.size(), candidateParts.size() );
  for ( int i = 0; i < shared; ++i )
  {
    const int mine = currentParts.at( i ).toInt();
    const int theirs = candidateParts.at( i ).toInt();
    if ( theirs != mine )
      return theirs > mine;
  }
  return candidateParts.size() > currentParts.size();
}

void useUnambiguousNumbers()
{
  QLocale numbers = QLocale::c();
  numbers.setNumberOptions( QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator );
  QLocale::setDefault( numbers );
}

QString formatNumber( double value )
{
  return NumberText::format( value );
}

bool installQgisTranslation()
{
  auto *translator = new QTranslator( QCoreApplication::instance() );
  if ( !translator->load( QStringLiteral( "qgis_vi" ), QgsApplication::i18nPath() ) )
  {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator( translator );
}

void loadEnvironment()
{
  QFile file( Constants::applicationName + QStringLiteral( ".env" ) );
  if ( !file.open( QIODevice::ReadOnly | QIODevice::Text ) )
  {
    qCritical( "Error[%s:%d] %s", __FILE__, __LINE__, "Cannot open environment setting file" );
    return;
  }
  // A few lines of settings; anything this large is not one, and reading it whole could exhaust memory.
  constexpr qint64 largestEnvironmentBytes = 1024 * 1024;
  if ( file.size() > largestEnvironmentBytes )
  {
    qCritical() << "Environment setting file ignored: it holds" << file.size() << "bytes";
    return;
  }

  QMap<QString, QString> variables;
  QTextStream stream( &file );
  stream.setCodec( "UTF-8" );
  while ( !stream.atEnd() )
  {
    const QString line = stream.readLine();
    if ( line.trimmed().isEmpty() )
      continue;
    const QStringList parts = line.split( QLatin1Char( '=' ) );
    // A name cut short at a NUL would set some other variable.
    if ( parts.size() == 2 && !parts.at( 0 ).isEmpty() && !parts.at( 0 ).contains( QChar( 0 ) ) )
      variables.insert( parts.at( 0 ), parts.at( 1 ) );
  }

  for ( auto it = variables.constBegin(); it != variables.constEnd(); ++it )
    qputenv( it.key().toUtf8().constData(), it.value().toUtf8() );
}

void limitGdal()
{
  const std::pair<const char *, const char *> limits[] = {
      { "GDAL_MAX_DATASET_POOL_SIZE", "64" }, // open files held by virtual rasters
      { "GDAL_MAX_BAND_COUNT", "10000" },     // declared bands, each of which costs memory
      { "OGR_GEOJSON_MAX_OBJ_SIZE", "100" },  // MB of one GeoJSON object held in memory
      { "GDAL_VRT_ENABLE_PYTHON", "NO" },     // a VRT must not run code
      { "GDAL_HTTP_CONNECTTIMEOUT", "10" },   // remote sources named in a file
      { "GDAL_HTTP_TIMEOUT", "30" },
  };
  for ( const auto &[name, value] : limits )
  {
    if ( qEnvironmentVariableIsEmpty( name ) )
      CPLSetConfigOption( name, value );
  }
  GdalSettings::keepSidecarsIn( QStandardPaths::writableLocation( QStandardPaths::AppLocalDataLocation ) +
                                QStringLiteral( "/overviews" ) );

  // QGIS opens vector files for update. GDAL's GeoJSON driver then keeps the
  // whole file in memory and writes it back on close if it thinks a layer
  // changed, which a damaged file can make it think while merely being read.
  // Nothing here edits GeoJSON in place, so it is only ever opened for reading.
  GDALAllRegister();
  static GDALDataset *( *geoJsonOpen )( GDALOpenInfo * ) = nullptr;
  GDALDriver *geoJson = GetGDALDriverManager()->GetDriverByName( "GeoJSON" );
  if ( geoJson && !geoJsonOpen && geoJson->pfnOpen )
  {
    geoJsonOpen = geoJson->pfnOpen;
    geoJson->pfnOpen = []( GDALOpenInfo *info ) -> GDALDataset *
    {
      info->eAccess = GA_ReadOnly;
      info->nOpenFlags &= ~GDAL_OF_UPDATE;
      return geoJsonOpen( info );
    };
  }
}

void cleanLogs()
{
  QDir folder( Constants::logFolder );
  const QStringList names = folder.entryList( { QStringLiteral( "*.log" ) }, QDir::Files, QDir::NoSort );

  // Keep nine so that this run's file makes ten. Oldest go first; a name that
  // encodes no start time counts as older than any that does.
  constexpr int kept = 9;
  if ( names.size() > kept )
  {
    struct LogFile
    {
        QDateTime started;
        QString name;
    };
    QVector<LogFile> files;
    files.reserve( names.size() );
    for ( const QString &name : names )
      files.push_back( { QDateTime::fromString( QFileInfo( name ).completeBaseName(), logNameFormat ), name } );
    std::sort( files.begin(), files.end(),
               []( const LogFile &a, const LogFile &b )
               {
                 if ( a.started.isValid() != b.started.isValid() )
                   return !a.started.isValid();
                 if ( a.started != b.started )
                   return a.started < b.started;
                 return a.name < b.name;
               } );
    for ( int i = 0; i < files.size() - kept; ++i )
      folder.remove( files.at( i ).name );
  }

  gLogFileName = Constants::logFolder + QLatin1Char( '/' ) + QDateTime::currentDateTime().toString( logNameFormat ) +
                 QStringLiteral( ".log" );
}

QString logFileName()
{
  return gLogFileName;
}

void messageHandler( QtMsgType type, const QMessageLogContext &, const QString &message )
{
  const char *prefix = "Debug:    ";
  switch ( type )
  {
  case QtDebugMsg:
    break;
  case QtInfoMsg:
    prefix = "Info:     ";
    break;
  case QtWarningMsg:
    prefix = "Warning:  ";
    break;
  case QtCriticalMsg:
    prefix = "Critical: ";
    break;
  case QtFatalMsg:
    prefix = "Fatal:    ";
    break;
  }

  // QGIS renders and loads in worker threads that log too; one writer at a time keeps lines whole.
  const QMutexLocker lock( &gLogMutex );
  QFile file( gLogFileName );
  if ( gLogFileName.isEmpty() || !file.open( QIODevice::WriteOnly | QIODevice::Append ) )
    return;
  QTextStream stream( &file );
  stream.setCodec( "UTF-8" );
  stream << QDateTime::currentDateTime().toString( QStringLiteral( "dd-MM-yyyy hh:mm:ss | " ) ) << prefix << message
         << '\n';
  stream.flush();
}

} // namespace Utils
