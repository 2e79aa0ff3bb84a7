#pragma once

#include <QObject>
#include <QString>

/**
 * Workspaces: the whole project (layers, order, groups, visibility, styles,
 * extent and CRS) kept in a QGIS project file with paths relative to it.
 * Opening reports what it could not read; saving never leaves a half-written
 * file in place of an earlier one.
 */
class Workspace : public QObject
{
    Q_OBJECT

  public:
    //! Whether \a fileName is named like a workspace (.qgz, or the plain .qgs).
    static bool isWorkspaceFile( const QString &fileName );

    //! The name of the open workspace for the window title, empty when none.
    static QString displayName();

    //! Whether the project holds layers with changes that no save has kept.
    static bool hasUnsavedChanges();

    /**
     * Before the work is put away (closing, a new workspace, an update), asks
     * whether to save unsaved changes. True when the caller may go on: saved,
     * discarded, or nothing to save; false when the user cancelled or the save
     * did not happen.
     */
    bool offerToSave();

    /**
     * Follows the project's changes, counting the style and layer-tree edits
     * QGIS does not, and announces the window title at once and on each change.
     */
    void trackChanges();

  signals:
    //! The workspace name, with "*" while changes are unsaved.
    void titleChanged( const QString &title );

  public slots:
    /**
     * Replaces the project by the workspace in \a fileName, after asking when
     * unsaved changes would be lost. Layers whose data are missing are named in
     * one notice and left out. False when nothing was opened.
     */
    bool open( const QString &fileName );
    //! Asks for a workspace file and opens it.
    void openChosen();
    //! Saves into the current workspace file, asking for a name the first time.
    bool save();
    //! Asks for a name and saves there.
    bool saveAs();
    //! Writes the project to \a fileName, which becomes the current workspace.
    bool saveTo( const QString &fileName );
};
