#pragma once

#include <QString>
#include <QStringList>

/**
 * Writes a user's file without putting the earlier one at risk: the writer is
 * handed a hidden, unique name in the target's folder, and only a complete
 * result is renamed over the target, file by file (a dataset may have
 * sidecars: .aux.xml, .hdr, .shx, .dbf, .prj). Until then the target stays
 * exactly as it was; whatever is not committed is removed when this object
 * goes away.
 */
class SafeOutput
{
  public:
    explicit SafeOutput( const QString &target );
    ~SafeOutput();
    SafeOutput( const SafeOutput & ) = delete;
    SafeOutput &operator=( const SafeOutput & ) = delete;

    //! Where the result must end up.
    const QString &target() const { return mTarget; }

    //! Where the writer writes: hidden, in the target's folder, with the target's suffix.
    const QString &temporaryPath() const { return mTemporary; }

    /**
     * Renames every file written under the temporary name over the target's
     * names, and removes the target's former sidecars that the new dataset
     * does not replace (stale statistics, say). False, with \a error set, when
     * nothing was written or a rename fails.
     */
    bool commit( QString *error );

    //! Removes every file written under the temporary name; the target is untouched.
    void discard();

    //! Whether \a path names a temporary of this class (left behind by a killed process, say).
    static bool isTemporary( const QString &path );

  private:
    QStringList temporaryFiles() const;
    QStringList targetFiles() const;

    QString mTarget;
    QString mFolder;
    QString mTargetBase;
    QString mTemporaryBase;
    QString mTemporary;
    bool mFinished = false;
};
