#pragma once

#include "FolderWalk.h"
#include "WalkConcurrency.h"

#include <QVector>

namespace korvo {

// The walk through QDir and QFileInfo: what every platform has, and the
// reference the faster native walks are held to. One folder at a time on a
// local file system; on a remote one, where each folder's listing waits for
// round trips, as many folders at once as walkConcurrency() gives, with
// `threads` (0: the default) and `probe` (null: the system's) as for the
// native walk.
class QtFolderWalk : public FolderWalk
{
public:
    QtFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry, int threads = 0,
                 const FileSystemProbe& probe = FileSystemProbe());

    DirectoryNodePtr root() const override { return root_; }
    void run(const std::atomic<bool>& cancel, const Listed& listed) override;

protected:
    const DriveGeometry& geometry() const { return geometry_; }
    // Lists one folder; its subfolders are appended to `found`. A walk of
    // the system's own calls lists otherwise and shares the rest.
    virtual FolderSums list(const DirectoryNodePtr& folder, QVector<DirectoryNodePtr>& found);

private:
    // Lists the pending folders on `walkers` threads at once.
    void runShared(int walkers, const std::atomic<bool>& cancel, const Listed& listed);

    NativePath rootPath_;
    DirectoryNodePtr root_;
    DriveGeometry geometry_;
    int threads_;
    FileSystemProbe probe_;
    QVector<DirectoryNodePtr> pending_;
};

// Records the identity of each of a folder's own files and subfolders, read
// right after they were listed (a walk whose listing reads none). An entry
// that cannot be read gets none (and is then moved unchecked).
void recordChildIdentities(DirectoryNode& folder);

} // namespace korvo
