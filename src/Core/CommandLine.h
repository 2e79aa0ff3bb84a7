#pragma once

#include <QString>
#include <QStringList>

/**
 * What the program was asked on its command line: print its version or help,
 * refuse an option it does not know, or run and open the files named.
 */
class CommandLine
{
  public:
    enum class Action
    {
      Run,
      ShowVersion,
      ShowHelp,
      Refuse,
    };

    //! Reads \a arguments, the program name excluded.
    explicit CommandLine( const QStringList &arguments );

    //! What to do; an unknown option outweighs help, help outweighs version.
    Action action() const { return mAction; }
    //! The files to open, in command-line order.
    QStringList fileNames() const { return mFileNames; }

    //! Prints what action() asks for (help and version to standard output, a refusal to standard error)
    //! and returns the exit code: 0, or 2 for a refusal.
    int print( const QString &programName ) const;

  private:
    Action mAction = Action::Run;
    QStringList mFileNames;
    QString mUnknownOption;
};
