#pragma once

#include "Processing/ProcessingResult.h"

#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

/**
 * Writes a user's file without putting the earlier one at risk: the writer is
 * handed the target's name inside a hidden, unique folder beside the target,
 * and only a complete result is renamed over the target, file by file (a
 * dataset may have sidecars: .aux.xml, .hdr, .shx, .dbf, .prj), on the same
 * file system. Until then the target stays exactly as it was; whatever is not
 * committed is removed when this object goes away.
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

    //! Where the writer writes: the target's file name in a hidden folder beside it.
    const QString &temporaryPath() const { return mTemporary; }

    /**
     * Renames every file written under the temporary folder over the target's
     * folder, and removes the target's former sidecars that the new dataset
     * does not replace (stale statistics, say). A WriteFailed result when
     * nothing was written or a rename fails.
     */
    ProcessingResult commit();

    //! Removes everything written; the target is untouched.
    void discard();

    //! Renames \a from over \a to in one step, replacing it on every system.
    static ProcessingResult replaceFile( const QString &from, const QString &to );

  private:
    QStringList formerFiles() const;

    QString mTarget;
    QString mFolder;
    std::unique_ptr<QTemporaryDir> mWorkFolder;
    QString mTemporary;
};
