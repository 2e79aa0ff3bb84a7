#pragma once

#include <QIcon>
#include <QString>
#include <QtGlobal>
#include <QVariant>

#include <limits>

namespace Utils
{

//! One entry of the application settings store: a group, a key inside it and, for numbers, the values that make sense.
struct SettingKey
{
    QString group;
    QString key;
    int minimum = std::numeric_limits<int>::min();
    int maximum = std::numeric_limits<int>::max();
};

//! Every setting the program reads or writes.
namespace Keys
{
inline const SettingKey messageTimeout{ QStringLiteral( "General" ), QStringLiteral( "MessageTimeout" ), 0, 3600 };
inline const SettingKey dialogTimeout{ QStringLiteral( "General" ), QStringLiteral( "DialogTimeout" ), 0, 3600 };
inline const SettingKey windowGeometry{ QStringLiteral( "MainWindow" ), QStringLiteral( "Geometry" ) };
inline const SettingKey windowState{ QStringLiteral( "MainWindow" ), QStringLiteral( "WindowState" ) };
inline const SettingKey layerPanelGeometry{ QStringLiteral( "LayerPanel" ), QStringLiteral( "Geometry" ) };
inline const SettingKey overviewGeometry{ QStringLiteral( "Overview" ), QStringLiteral( "Geometry" ) };
inline const SettingKey canvasRed{ QStringLiteral( "MapCanvas" ), QStringLiteral( "Color/Red" ), 0, 255 };
inline const SettingKey canvasGreen{ QStringLiteral( "MapCanvas" ), QStringLiteral( "Color/Green" ), 0, 255 };
inline const SettingKey canvasBlue{ QStringLiteral( "MapCanvas" ), QStringLiteral( "Color/Blue" ), 0, 255 };
inline const SettingKey openDataDir{ QStringLiteral( "OpenData" ), QStringLiteral( "RecentDir" ) };
inline const SettingKey rasterDir{ QStringLiteral( "Raster" ), QStringLiteral( "RecentDir" ) };
inline const SettingKey rasterSaveDir{ QStringLiteral( "Raster" ), QStringLiteral( "SaveAsDir" ) };
inline const SettingKey vectorDir{ QStringLiteral( "Vector" ), QStringLiteral( "RecentDir" ) };
inline const SettingKey vectorSaveDir{ QStringLiteral( "Vector" ), QStringLiteral( "SaveAsDir" ) };
inline const SettingKey lastFileNameDir{ QStringLiteral( "Recent" ), QStringLiteral( "LastFileNameDir" ) };
//! Data files and workspaces opened, newest first.
inline const SettingKey recentFiles{ QStringLiteral( "Recent" ), QStringLiteral( "Files" ) };
inline const SettingKey workspaceDir{ QStringLiteral( "Workspace" ), QStringLiteral( "RecentDir" ) };
//! Whether large rasters opened without overviews get them built in the background.
inline const SettingKey autoOverviews{ QStringLiteral( "Raster" ), QStringLiteral( "AutoOverviews" ) };
//! Pixels a raster must exceed in width or height before overviews are built for it unasked.
inline const SettingKey overviewThreshold{ QStringLiteral( "Raster" ), QStringLiteral( "OverviewThreshold" ), 0 };
inline const SettingKey bandMathFormat{ QStringLiteral( "BandMath" ), QStringLiteral( "LastOutputFormat" ) };
inline const SettingKey compositeRed{ QStringLiteral( "ColorComposite" ), QStringLiteral( "Red" ), 0 };
inline const SettingKey compositeGreen{ QStringLiteral( "ColorComposite" ), QStringLiteral( "Green" ), 0 };
inline const SettingKey compositeBlue{ QStringLiteral( "ColorComposite" ), QStringLiteral( "Blue" ), 0 };
inline const SettingKey compositeLimit{ QStringLiteral( "ColorComposite" ), QStringLiteral( "Limit" ), 0, 3 };
} // namespace Keys

/**
 * Reads \a key from the settings store as the type of \a defaultValue, or
 * \a defaultValue when it holds nothing, something of another type or a
 * number outside the key's range.
 */
QVariant readSetting( const SettingKey &key, const QVariant &defaultValue = QVariant() );
//! Writes \a value under \a key.
void writeSetting( const SettingKey &key, const QVariant &value );
//! A remembered folder, or the platform's default start folder when none is stored.
QString rememberedFolder( const SettingKey &key );
//! Remembers the folder that holds \a filePath under \a key.
void rememberFolderOf( const SettingKey &key, const QString &filePath );

//! Resource path of an icon: the program's own first, then the QGIS default theme, else empty.
QString iconPath( const QString &name );
//! Icon of iconPath(), empty when no resource matches.
QIcon icon( const QString &name );

//! Seconds a message-bar notice stays.
int messageTimeout();
//! Seconds before a tool dialog closes itself after a success.
int dialogTimeout();

//! \a text coloured as a success notice (rich text).
QString successText( const QString &text );
//! \a text coloured as an error notice (rich text).
QString errorText( const QString &text );

//! \a text in pink with \a reason (GDAL's words, say) shortened on a second, smaller line.
QString errorText( const QString &text, const QString &reason );

//! Whether the folder that would hold \a path is writable; the file itself need not exist.
bool isWritablePath( const QString &path );
//! Reveals a file (selected) or a folder in the system file browser.
void showInExplorer( const QString &path );
//! Whether the dotted version \a candidate is newer than \a current.
bool isNewerVersion( const QString &current, const QString &candidate );

/**
 * Makes numbers read and write one way everywhere: "." decimals and no group
 * separators, so a coordinate shown in the status bar can be typed back in.
 */
void useUnambiguousNumbers();
//! \a value with "." decimals: whole numbers without decimals, others with up to six.
QString formatNumber( double value );
//! Installs QGIS's own Vietnamese translation; call once the QGIS prefix path is set.
bool installQgisTranslation();

//! Applies the name=value lines of the environment setting file in the working directory.
void loadEnvironment();
//! Bounds what a damaged or hostile file can make GDAL do, and gives files in read-only folders a place for their
//! overviews and statistics; values already in the environment win.
void limitGdal();
//! Prunes old log files and fixes this run's log file name.
void cleanLogs();
//! Path of this run's log file, empty before cleanLogs().
QString logFileName();
//! Qt message handler that appends each message to this run's log file.
void messageHandler( QtMsgType type, const QMessageLogContext &context, const QString &message );

} // namespace Utils
