#pragma once

#include "DirectoryNode.h"
#include "EnumerateProgress.h"

#include <QDir>

#include <atomic>

class QMutex;

namespace korvo {

// Walks the whole folder below `directory` and builds its node tree, in two
// timed phases: listing (one listing per folder, all nodes made, each folder's
// own files summed) and totalling (subtree totals, bottom-up). Neither phase
// recurses. `progress` is updated as each folder is listed; when
// `progressLock` is given, every update is made under it, so that another
// thread holding the lock copies a consistent record. Returns the root, or
// null when `cancelFlag` was set by the end of the run.
DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock = nullptr);

} // namespace korvo
