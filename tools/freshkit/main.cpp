// Stand-in for the Freshkit updater: reads the parameters Rastova leaves in
// logs/param.json, says that no update source is configured, and exits 0.
// What it says also goes to logs/Freshkit.log, beside the parameters.

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

int main( int argc, char *argv[] )
{
  QCoreApplication application( argc, argv );
  QFile parameters( QStringLiteral( "logs/param.json" ) );
  const QJsonObject request =
      parameters.open( QIODevice::ReadOnly ) ? QJsonDocument::fromJson( parameters.readAll() ).object() : QJsonObject();
  const QString software = request.value( QStringLiteral( "software-name" ) ).toString( QStringLiteral( "?" ) );
  const QString version = request.value( QStringLiteral( "current-version" ) ).toString( QStringLiteral( "?" ) );
  const QString report =
      QStringLiteral( "Freshkit: %1 %2 — no update source is configured; nothing to do.\n" ).arg( software, version );

  QFile log( QStringLiteral( "logs/Freshkit.log" ) );
  QFile out;
  out.open( stdout, QIODevice::WriteOnly );
  for ( QFile *target : { &out, &log } )
  {
    if ( target == &log && !log.open( QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text ) )
      continue;
    target->write( report.toUtf8() );
  }
  return 0;
}
