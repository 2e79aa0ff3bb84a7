#include "Core/CommandLine.h"

#include "Core/Constants.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

CommandLine::CommandLine( const QStringList &arguments )
{
  bool showHelp = false;
  bool showVersion = false;
  bool optionsEnded = false;
  for ( const QString &argument : arguments )
  {
    // A lone "-" is no option, and after "--" nothing is: a file may be named "-x.tif".
    if ( optionsEnded || !argument.startsWith( QLatin1Char( '-' ) ) || argument == QLatin1String( "-" ) )
      mFileNames << argument;
    else if ( argument == QLatin1String( "--" ) )
      optionsEnded = true;
    else if ( argument == QLatin1String( "--help" ) || argument == QLatin1String( "-h" ) )
      showHelp = true;
    else if ( argument == QLatin1String( "--version" ) || argument == QLatin1String( "-v" ) )
      showVersion = true;
    else if ( mUnknownOption.isEmpty() )
      mUnknownOption = argument;
  }

  if ( !mUnknownOption.isEmpty() )
    mAction = Action::Refuse;
  else if ( showHelp )
    mAction = Action::ShowHelp;
  else if ( showVersion )
    mAction = Action::ShowVersion;
}

int CommandLine::print( const QString &programName ) const
{
  const QString name = QFileInfo( programName ).fileName();
  const QString usage = QStringLiteral( "Cách dùng: %1 [--help] [--version] [--] [TỆP...]\n" ).arg( name );
  QString text;
  switch ( mAction )
  {
  case Action::Run:
    return 0;
  case Action::ShowVersion:
    text =
        QStringLiteral( "%1 %2 (%3)\n" ).arg( Constants::applicationName, Constants::version, Constants::releaseDate );
    break;
  case Action::ShowHelp:
    text = usage +
           QStringLiteral( "Xem và xử lý dữ liệu raster và vector địa lý; mở các tệp được nêu "
                           "(GeoTIFF, JPEG 2000, ERDAS Imagine, ENVI, GeoPackage, Shapefile, GeoJSON, KML...).\n"
                           "\n"
                           "  -h, --help     in trợ giúp này rồi thoát\n"
                           "  -v, --version  in phiên bản rồi thoát\n"
                           "  --             mọi đối số sau đó là tệp, kể cả tên bắt đầu bằng '-'\n"
                           "\n"
                           "Nhật ký (logs/) và Rastova.env nằm trong thư mục làm việc; khi thư mục đó không "
                           "ghi được hoặc là thư mục nhà, chúng nằm trong %1\n" )
               .arg( QDir::toNativeSeparators( QStandardPaths::writableLocation( QStandardPaths::AppDataLocation ) ) );
    break;
  case Action::Refuse:
    text = QStringLiteral( "%1: không có tùy chọn '%2'\n" ).arg( name, mUnknownOption ) + usage +
           QStringLiteral( "Xem '%1 --help'.\n" ).arg( name );
    break;
  }
  FILE *stream = mAction == Action::Refuse ? stderr : stdout;
  std::fputs( text.toUtf8().constData(), stream );
  std::fflush( stream );
  return mAction == Action::Refuse ? 2 : 0;
}
