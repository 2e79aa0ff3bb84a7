#include "Processing/IndexPreset.h"

#include <QRegularExpression>

#include <cmath>

namespace
{
struct RoleInfo
{
    IndexPreset::Role role;
    const char *placeholder;
    const char *name;
    //! Nanometres.
    double shortest;
    double longest;
};

const RoleInfo roleInfos[] = {
    { IndexPreset::Role::Blue, "{Blue}", "lam (Blue)", 450, 520 },
    { IndexPreset::Role::Green, "{Green}", "lục (Green)", 520, 600 },
    { IndexPreset::Role::Red, "{Red}", "đỏ (Red)", 630, 690 },
    { IndexPreset::Role::Nir, "{NIR}", "cận hồng ngoại (NIR)", 760, 900 },
    { IndexPreset::Role::Swir1, "{SWIR1}", "hồng ngoại sóng ngắn 1 (SWIR1)", 1550, 1750 },
    { IndexPreset::Role::Swir2, "{SWIR2}", "hồng ngoại sóng ngắn 2 (SWIR2)", 2080, 2350 },
};

const RoleInfo &infoOf( IndexPreset::Role role )
{
  return *std::find_if( std::begin( roleInfos ), std::end( roleInfos ),
                        [role]( const RoleInfo &info ) { return info.role == role; } );
}

/**
 * How well a band description names \a role: 2 when it is just the role's name ("NIR", "swir-1"), 1 when it names
 * it among other words ("Band 5 (NIR)", "NIR narrow"), 0 when it does not. "Red edge" is not red.
 */
int descriptionMatch( IndexPreset::Role role, const QString &description )
{
  static const QRegularExpression separators( QStringLiteral( "[^a-z0-9]+" ) );
  const QString lower = description.toLower();
  QStringList words = lower.split( separators, Qt::SkipEmptyParts );
  // "SWIR 1", "swir-2" and "shortwave infrared 1" are one word each here.
  for ( int i = 0; i + 1 < words.size(); ++i )
  {
    if ( ( words[i] == QLatin1String( "swir" ) || words[i] == QLatin1String( "infrared" ) ) &&
         ( words[i + 1] == QLatin1String( "1" ) || words[i + 1] == QLatin1String( "2" ) ) )
    {
      words[i] += words[i + 1];
      words.removeAt( i + 1 );
    }
  }
  const bool shortwave = words.contains( QLatin1String( "shortwave" ) ) || words.contains( QLatin1String( "short" ) );
  const bool near = words.contains( QLatin1String( "near" ) );
  QStringList names;
  switch ( role )
  {
  case IndexPreset::Role::Blue:
    names = QStringList{ QStringLiteral( "blue" ) };
    break;
  case IndexPreset::Role::Green:
    names = QStringList{ QStringLiteral( "green" ) };
    break;
  case IndexPreset::Role::Red:
    if ( words.contains( QLatin1String( "edge" ) ) || words.contains( QLatin1String( "rededge" ) ) )
      return 0;
    names = QStringList{ QStringLiteral( "red" ) };
    break;
  case IndexPreset::Role::Nir:
    names = QStringList{ QStringLiteral( "nir" ), QStringLiteral( "nir1" ) };
    if ( near && words.contains( QLatin1String( "infrared" ) ) )
      return words.size() == 2 ? 2 : 1;
    break;
  case IndexPreset::Role::Swir1:
    names = QStringList{ QStringLiteral( "swir1" ), QStringLiteral( "swir" ) };
    if ( shortwave && words.contains( QLatin1String( "infrared1" ) ) )
      return 1;
    break;
  case IndexPreset::Role::Swir2:
    names = QStringList{ QStringLiteral( "swir2" ) };
    if ( shortwave && words.contains( QLatin1String( "infrared2" ) ) )
      return 1;
    break;
  }
  if ( words.size() == 1 && names.contains( words.first() ) )
    return 2;
  return std::any_of( names.cbegin(), names.cend(), [&words]( const QString &name ) { return words.contains( name ); } )
             ? 1
             : 0;
}
} // namespace

const QVector<IndexPreset> &IndexPreset::all()
{
  static const QVector<IndexPreset> presets = {
      { QStringLiteral( "NDVI" ), QStringLiteral( "( {NIR} - {Red} ) / ( {NIR} + {Red} )" ) },
      { QStringLiteral( "NDWI" ), QStringLiteral( "( {Green} - {NIR} ) / ( {Green} + {NIR} )" ) },
      { QStringLiteral( "MNDWI" ), QStringLiteral( "( {Green} - {SWIR1} ) / ( {Green} + {SWIR1} )" ) },
      { QStringLiteral( "NDBI" ), QStringLiteral( "( {SWIR1} - {NIR} ) / ( {SWIR1} + {NIR} )" ) },
      { QStringLiteral( "SAVI" ), QStringLiteral( "1.5 * ( {NIR} - {Red} ) / ( {NIR} + {Red} + 0.5 )" ) },
      { QStringLiteral( "EVI" ),
        QStringLiteral( "2.5 * ( {NIR} - {Red} ) / ( {NIR} + 6 * {Red} - 7.5 * {Blue} + 1 )" ) },
      { QStringLiteral( "NBR" ), QStringLiteral( "( {NIR} - {SWIR2} ) / ( {NIR} + {SWIR2} )" ) },
  };
  return presets;
}

const IndexPreset *IndexPreset::named( const QString &name )
{
  for ( const IndexPreset &preset : all() )
  {
    if ( preset.name == name )
      return &preset;
  }
  return nullptr;
}

QVector<IndexPreset::Role> IndexPreset::roles() const
{
  QVector<std::pair<int, Role>> found;
  for ( const RoleInfo &info : roleInfos )
  {
    const int at = formula.indexOf( QLatin1String( info.placeholder ) );
    if ( at >= 0 )
      found.append( { at, info.role } );
  }
  std::sort( found.begin(), found.end() );
  QVector<Role> ordered;
  for ( const auto &[at, role] : found )
    ordered << role;
  return ordered;
}

QString IndexPreset::expression( const QString &layerName, const QMap<Role, int> &bands ) const
{
  QString text = formula;
  for ( const RoleInfo &info : roleInfos )
  {
    QString reference = QStringLiteral( "%1@%2" ).arg( layerName ).arg( bands.value( info.role ) );
    reference.replace( QLatin1Char( '"' ), QStringLiteral( "\\\"" ) );
    text.replace( QLatin1String( info.placeholder ), QLatin1Char( '"' ) + reference + QLatin1Char( '"' ) );
  }
  return text;
}

QString IndexPreset::roleName( Role role )
{
  return QString::fromUtf8( infoOf( role ).name );
}

int IndexPreset::bandFor( Role role, const QVector<SpectralMetadata::Band> &bands )
{
  int best = 0;
  int bestMatch = 0;
  for ( int band = 0; band < bands.size(); ++band )
  {
    const int match = descriptionMatch( role, bands.at( band ).description );
    if ( match > bestMatch )
    {
      best = band + 1;
      bestMatch = match;
    }
  }
  if ( best > 0 )
    return best;
  const RoleInfo &info = infoOf( role );
  const double middle = ( info.shortest + info.longest ) / 2;
  for ( int band = 0; band < bands.size(); ++band )
  {
    const double wavelength = bands.at( band ).wavelength;
    if ( wavelength >= info.shortest && wavelength <= info.longest &&
         ( best == 0 || std::abs( wavelength - middle ) < std::abs( bands.at( best - 1 ).wavelength - middle ) ) )
      best = band + 1;
  }
  return best;
}
