#pragma once

#include <QString>

// Everything that differs between Windows and the other desktops lives here.
namespace Platform
{
//! Folder that file dialogs start in before the user has chosen one.
QString defaultStartFolder();

//! Opens the system file browser on \a path: a file is shown selected in its folder, a folder opens itself.
void revealInFileBrowser( const QString &path );

//! Starts the separate updater program of the working directory, without waiting for it.
void startUpdater();
} // namespace Platform
