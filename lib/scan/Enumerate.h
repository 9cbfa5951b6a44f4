#pragma once

#include "DirectoryNode.h"
#include "DriveGeometry.h"
#include "EnumerateProgress.h"
#include "FolderWalk.h"
#include "NativePath.h"
#include "WalkConcurrency.h"

#include <QDir>

#include <atomic>
#include <functional>

class QMutex;

namespace korvo {

struct EnumerateOptions
{
    ListingMethod method = ListingMethod::Native;
    // Rounds sizes on disk with this geometry instead of asking the system
    // for the root folder's one.
    bool useGeometry = false;
    DriveGeometry geometry;
    // Walking threads where the listing can use several; 0 for the default,
    // which depends on the kind of file system.
    int threads = 0;
    // Tells the kind of file system of a folder; null for the system's.
    FileSystemProbe fileSystemProbe;
    // Told of each folder that could not be listed (it counts as empty),
    // with the system's error code; called from the walking threads, maybe
    // several at once.
    std::function<void(const DirectoryNode& folder, int error)> unreadable;
};

// Walks the whole folder below `directory` and builds its node tree, in two
// timed phases: listing (one listing per folder, all nodes made, each folder's
// own files summed) and totalling (subtree totals, bottom-up). Neither phase
// recurses. `progress` is updated as each folder is listed; when
// `progressLock` is given, every update is made under it, so that another
// thread holding the lock copies a consistent record. Returns the root, or
// null when `cancelFlag` was set by the end of the run.
DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock = nullptr);
DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock, const EnumerateOptions& options);
// The same for a folder given by its exact absolute path (on Linux its bytes
// need not be valid UTF-8).
DirectoryNodePtr enumerateTree(const NativePath& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock, const EnumerateOptions& options);

} // namespace korvo
