#pragma once

#include "DriveGeometry.h"
#include "FolderWalk.h"
#include "NativePath.h"
#include "WalkConcurrency.h"

#include <memory>

namespace korvo {

// The walk of the given method over the folder at `rootPath` (absolute),
// whose files' sizes on disk are rounded with `geometry`, on `threads`
// threads where the method can use several (0: what KORVO_SCAN_THREADS says,
// else as many as walkConcurrency() gives for the kind of file system the
// `probe` tells, null for the system's). Whatever the number, the tree comes
// out the same. Where the system has no native walk, Native means
// QtFileInfo.
std::unique_ptr<FolderWalk> createFolderWalk(ListingMethod method, const NativePath& rootPath,
                                             const DriveGeometry& geometry, int threads = 0,
                                             const FileSystemProbe& probe = FileSystemProbe());

} // namespace korvo
