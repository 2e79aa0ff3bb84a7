#pragma once

#include <QObject>
#include <QStringList>

class QMenu;

/**
 * The data files and workspaces opened lately, kept in the settings newest
 * first, and the "Mở gần đây" menu that reopens them.
 */
class RecentFiles : public QObject
{
    Q_OBJECT

  public:
    //! How many files the list keeps.
    static constexpr int maximumCount = 10;

    //! Fills \a menu from the settings each time it is about to show.
    explicit RecentFiles( QMenu *menu );

    //! The stored list, newest first.
    static QStringList files();
    //! Puts \a fileName first, once, and drops what falls beyond the limit.
    static void add( const QString &fileName );
    //! Takes \a fileName off the list.
    static void remove( const QString &fileName );

  signals:
    //! The user chose \a fileName, which still exists.
    void fileChosen( const QString &fileName );

  private:
    void fillMenu();
    void choose( const QString &fileName );

    QMenu *mMenu = nullptr;
};
