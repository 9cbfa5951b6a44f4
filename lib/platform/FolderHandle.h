#pragma once

#include "NativePath.h"
#include "Platform.h"

#include <QtGlobal>

namespace korvo::platform {

// An open folder, reached level by level without following links, so that
// the names made in it or moved into it land in that very folder even when
// someone swaps a level of its path afterwards. POSIX: a descriptor, and
// every call works relative to it; Windows: the path, each level checked
// not to be a reparse point. Owns what it opened; moved, never copied.
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
    // `create`, makes it first when it is missing. Only a Folder result
    // opens `level`.
    FolderLevel openLevel(const NativePath& name, bool create, FolderHandle* level, qint64* errorCode) const;

    // Makes a new folder `name` here; fails (already exists) on any entry
    // of that name, a dangling link too.
    bool createFolder(const NativePath& name, qint64* errorCode) const;

    // Moves the entry at `source` (an exact path) into this folder as
    // `name`, and back out again; neither ever replaces an entry.
    bool moveInto(const NativePath& source, const NativePath& name, qint64* errorCode) const;
    bool moveOut(const NativePath& name, const NativePath& destination, qint64* errorCode) const;

    // Removes the empty folder `name` here.
    bool removeEmptyFolder(const NativePath& name, qint64* errorCode) const;

    // Writes this folder's entries through to the disk.
    bool sync(qint64* errorCode) const;

private:
    void close();

    NativePath path_;
    int fd_ = -1; // POSIX only
};

} // namespace korvo::platform
