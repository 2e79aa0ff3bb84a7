#pragma once

#include <QString>

// Process-wide identity of the program. Settings, the log folder, the local
// server name and the updater hand-over all key off these values.
namespace Constants
{
inline const QString applicationName = QStringLiteral( "Rastova" );
inline const QString organizationName = QStringLiteral( "Norvale" );
inline const QString organizationDomain = QStringLiteral( "norvale.vn" );
//! Names the desktop entry, icon and metainfo the installed program ships.
inline const QString applicationId = QStringLiteral( "vn.norvale.Rastova" );
inline const QString logFolder = QStringLiteral( "logs" );
inline const QString version = QStringLiteral( "2.1.1.423" );
inline const QString releaseDate = QStringLiteral( "29/05/2020" );
inline const QString updateManifestUrl =
    QStringLiteral( "https://raw.githubusercontent.com/norvale/FreshkitStorage/master/Rastova/update.json" );
inline const QString updateManifestUrlVariable = QStringLiteral( "RASTOVA_UPDATE_URL" );
inline const QString updateParameterFile = QStringLiteral( "logs/param.json" );
inline const QString qgisPlatformName = QStringLiteral( "desktop" );
} // namespace Constants
