#pragma once

#include "NativePath.h"
#include "Platform.h"

#include <QVector>
#include <QtGlobal>

#include <memory>

class QFile;

namespace korvo::platform {

class FolderLock;

// An open folder, reached level by level without following links, so that
// the names made in it or moved into it land in that very folder even when
// someone swaps a level of its path afterwards. POSIX: a descriptor, and
// every call works relative to it; Windows: a handle on the folder, and on
// every level opened above it, each opened without following a link and
// shared without delete, so that no level can be renamed, removed or
// replaced while it is held, and every call names entries by the path.
// Owns what it opened; moved, never copied.
class FolderHandle
{
public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // Opens a folder by its whole path, as given (the volume root). False
    // with the error code when it is no folder or cannot be opened.
    static bool open(const NativePath& path, FolderHandle* folder, qint64* errorCode);

    bool isOpen() const;
    const NativePath& path() const { return path_; }

    // Opens the level `name` inside this folder without following it; with
    // `create`, makes it first when it is missing (open to its owner alone
    // for writing) and makes its name lasting in this folder before anything
    // can be put in it. Folder and Shared results open `level`.
    FolderLevel openLevel(const NativePath& name, bool create, FolderHandle* level, qint64* errorCode) const;

    // The entries of this folder, as platform::listFolder gives them.
    bool list(QVector<FolderEntry>& entries, qint64* errorCode) const;

    // The entry `name` here, seen without following it.
    bool entryOf(const NativePath& name, FileIdentity* identity, EntryKind* kind, qint64* errorCode) const;

    // Opens the regular file `name` here for reading, never through a link
    // (Link), nor a folder, device or FIFO (NotAFile). `ownedByUser` tells
    // whether it belongs to the user the program runs as.
    OpenResult openFile(const NativePath& name, QFile& file, bool* ownedByUser, qint64* errorCode) const;

    // Creates the new file `name` here for writing; fails on any entry of
    // that name, a dangling link too.
    bool createFile(const NativePath& name, QFile& file, qint64* errorCode) const;

    // Renames `from` to `to` within this folder, never replacing an entry.
    bool rename(const NativePath& from, const NativePath& to, qint64* errorCode) const;

    // Removes the file (or link) `name` here, never a folder.
    bool removeFile(const NativePath& name, qint64* errorCode) const;

    // Takes the exclusive lock of the lock file `name` here (made when
    // missing, never through a link, and only a regular file of this user),
    // trying again until `waitMilliseconds` have passed. Busy: another
    // holder kept it all that time. The file is removed when the lock is
    // released, so that it is only there while the folder is in use.
    enum class LockResult { Taken, Busy, Failed };
    LockResult lock(const NativePath& name, int waitMilliseconds, FolderLock* lock, qint64* errorCode) const;

    // Makes a new folder `name` here; fails (already exists) on any entry
    // of that name, a dangling link too.
    bool createFolder(const NativePath& name, qint64* errorCode) const;

    // Moves the entry at `source` (an exact path) into this folder as
    // `name`, and back out again; neither ever replaces an entry.
    bool moveInto(const NativePath& source, const NativePath& name, qint64* errorCode) const;
    bool moveOut(const NativePath& name, const NativePath& destination, qint64* errorCode) const;

    // Moves the entry `name` here into the open folder `destination` as
    // `destinationName`, never replacing an entry: neither side is reached
    // through a path that could be swapped.
    bool moveTo(const NativePath& name, const FolderHandle& destination, const NativePath& destinationName,
                qint64* errorCode) const;

    // Removes the empty folder `name` here.
    bool removeEmptyFolder(const NativePath& name, qint64* errorCode) const;

    // Writes this folder's entries through to the disk.
    bool sync(qint64* errorCode) const;

private:
    void close();

    NativePath path_;
    int fd_ = -1; // POSIX only
    // Windows only: this folder's open handle, which keeps those of the
    // levels above it open as long as it lives.
    std::shared_ptr<void> held_;
};

// An exclusive lock held on a lock file (FolderHandle::lock) until it is
// released or destroyed, when the file goes too: POSIX flock on the open
// file (so that two opens in one process exclude each other as well), taken
// only while the name still leads to that file; Windows an open handle
// shared with no one and deleted on close. Moved, never copied.
class FolderLock
{
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool isHeld() const;
    void release();

private:
    friend class FolderHandle;
    qintptr handle_ = -1; // a descriptor, or a Windows HANDLE
    int folder_ = -1;     // POSIX: the folder holding it, to remove it
    NativePath name_;
};

} // namespace korvo::platform
