#include "Processing/StreamCheck.h"

#include <QDir>
#include <QFileInfo>

#include <cpl_minixml.h>
#include <cpl_string.h>

#include <vector>

namespace
{
bool isSpecial( const QFileInfo &file )
{
  return file.exists() && !file.isFile() && !file.isDir();
}

//! \a within: the virtual rasters that led here, which a source naming one of them would read for ever.
bool leadsToStream( const QString &fileName, QStringList within )
{
  const QFileInfo file( fileName );
  if ( isSpecial( file ) )
    return true;
  if ( !file.isFile() )
    return false;
  const QDir folder = file.absoluteDir();
  const QStringList nearby =
      folder.entryList( { file.fileName() + QStringLiteral( ".*" ), file.completeBaseName() + QStringLiteral( ".*" ) },
                        QDir::AllEntries | QDir::Hidden | QDir::System );
  for ( const QString &name : nearby )
  {
    if ( isSpecial( QFileInfo( folder.filePath( name ) ) ) )
      return true;
  }
  if ( file.suffix().compare( QLatin1String( "vrt" ), Qt::CaseInsensitive ) != 0 || within.size() > 8 )
    return false;
  if ( within.contains( file.canonicalFilePath() ) )
    return true;
  within << file.canonicalFilePath();
  CPLXMLNode *root = CPLParseXMLFile( file.absoluteFilePath().toUtf8().constData() );
  if ( !root )
    return false;
  std::vector<CPLXMLNode *> pending{ root };
  bool found = false;
  while ( !pending.empty() && !found )
  {
    CPLXMLNode *node = pending.back();
    pending.pop_back();
    for ( ; node && !found; node = node->psNext )
    {
      if ( node->eType != CXT_Element )
        continue;
      if ( EQUAL( node->pszValue, "SourceFilename" ) )
      {
        const QString source = QString::fromUtf8( CPLGetXMLValue( node, nullptr, "" ) );
        const bool relative = CPLTestBool( CPLGetXMLValue( node, "relativeToVRT", "0" ) );
        found = leadsToStream( relative ? folder.filePath( source ) : source, within );
      }
      else if ( node->psChild )
      {
        pending.push_back( node->psChild );
      }
    }
  }
  CPLDestroyXMLNode( root );
  return found;
}
} // namespace

bool StreamCheck::isStreamOrDevice( const QString &fileName )
{
  return leadsToStream( fileName, {} );
}
