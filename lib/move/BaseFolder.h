#pragma once

#include "FolderHandle.h"
#include "NativePath.h"

#include <QList>
#include <QString>

namespace korvo {

// A base folder of package folders (volume root / korvo_pack / order /
// label), opened level by level below a folder taken as given, each level
// without following a link and only when it is a folder of this user that no
// one else may write to: nothing korvo writes or reads back there can be
// planted or swapped by another user. Moves, recovery and images hold its
// lock (.korvo-lock) for their whole run, so that one base folder has one
// writer at a time. Moved, never copied; on the caller's thread.
class BaseFolder
{
public:
    // How long a second writer waits for the lock before it gives up.
    static const int LockWaitMilliseconds = 3000;

    // The levels of a base folder below the volume root.
    static QList<NativePath> levelsFor(const QString& orderName, const QString& label);

    // Opens `top` by its path, then each of `levels` below it; with
    // `create`, makes those missing, each made lasting before the next.
    // False with the reason (one line ending with CR LF).
    bool open(const NativePath& top, const QList<NativePath>& levels, bool create, QString* errorString);

    // Takes the lock, waiting up to LockWaitMilliseconds; false with the
    // reason when another holds it all that time or it cannot be taken.
    bool lock(QString* errorString);
    void unlock() { lock_.release(); }

    bool isOpen() const { return handle_.isOpen(); }
    const platform::FolderHandle& handle() const { return handle_; }
    const NativePath& path() const { return handle_.path(); }

private:
    platform::FolderHandle handle_;
    platform::FolderLock lock_;
};

} // namespace korvo
