#pragma once

#include "DirectoryNode.h"
#include "Enumerate.h"
#include "EnumerateProgress.h"
#include "NativePath.h"

#include <QMutex>
#include <QVector>

#include <atomic>

namespace korvo {

// A folder a scan could not list, and the system's reason.
struct UnreadableFolder
{
    NativePath path;
    QString reason;
};

// What one run of a scan gave.
struct ScanOutcome
{
    DirectoryNodePtr root; // null when cancelled
    EnumerateProgress stats;
    bool isCanceled = false;
    // The folders that could not be listed and count as empty, by path.
    QVector<UnreadableFolder> unreadable;
};

// One scan of a folder, the same for the window and for korvo-cli: the walk
// and the totals of enumerateTree, with running figures that another thread
// may copy at any time and a cancel that any thread may ask for. run()
// works on the calling thread; the enumeration worker runs it on its own
// thread, korvo-cli on a thread beside its progress line.
//
// Threads: setFolder() and setOptions() only while no run is under way;
// cancel() and snapshot() from any thread at any time. The tree a run
// returns belongs to the caller alone.
class ScanJob
{
public:
    // Sets the folder of the next run and clears the cancel request, so that
    // a cancel() arriving right after belongs to that run.
    void setFolder(const NativePath& folder);
    const NativePath& folder() const { return folder_; }
    void setOptions(const EnumerateOptions& options) { options_ = options; }

    // Scans the folder. A cancel() asked for before the end makes the
    // outcome cancelled, with no tree; the request is cleared afterwards, so
    // that a later cancel() refers to no run and the next run does not
    // inherit it.
    ScanOutcome run();
    void cancel() { cancelFlag_.store(true); }
    // A consistent copy of the running figures.
    EnumerateProgress snapshot() const;

private:
    NativePath folder_;
    EnumerateOptions options_;
    std::atomic<bool> cancelFlag_{false};
    // The record is written by the walking threads and copied by others; a
    // mutex guards both sides, so a copy never sees a half-made update (its
    // 64-bit sums and counts change together, once per folder).
    mutable QMutex progressLock_;
    EnumerateProgress progress_;
};

} // namespace korvo
