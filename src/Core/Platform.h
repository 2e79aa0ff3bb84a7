#pragma once

#include <QString>
#include <QStringList>

// Everything that differs between Windows and the other desktops lives here.
namespace Platform
{
//! Folder that file dialogs start in before the user has chosen one.
QString defaultStartFolder();

//! Opens the system file browser on \a path: a file is shown selected in its folder, a folder opens itself.
void revealInFileBrowser( const QString &path );

//! Starts the separate updater program, without waiting for it: the one in the working directory if there is
//! one, else the one installed with the program.
void startUpdater();

//! Where logs/, Rastova.env and the updater's parameters live for a program started in \a workingFolder: that
//! folder, unless it is the home or root folder or cannot be written (as when started from an application menu);
//! then the per-user data folder.
QString dataFolder( const QString &workingFolder );

//! Moves into dataFolder() of the current folder, creating it with its logs/ folder. Relative \a fileNames of existing
//! files are made absolute first, so that they still open. Stays where it is when the folder cannot be made.
void enterDataFolder( QStringList &fileNames );
//! Gives the calling thread the lowest scheduling priority; an unprivileged thread cannot raise it back.
void lowerThisThreadsPriority();
} // namespace Platform
