#include "Core/NumberText.h"

#include <QLocale>

QString NumberText::format( double value )
{
  QString text = QLocale::c().toString( value, 'f', 6 );
  if ( text.contains( QLatin1Char( '.' ) ) )
  {
    while ( text.endsWith( QLatin1Char( '0' ) ) )
      text.chop( 1 );
    if ( text.endsWith( QLatin1Char( '.' ) ) )
      text.chop( 1 );
  }
  return text == QLatin1String( "-0" ) ? QStringLiteral( "0" ) : text;
}
