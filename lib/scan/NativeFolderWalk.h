#pragma once

#include "DriveGeometry.h"
#include "FolderWalk.h"
#include "NativePath.h"
#include "WalkConcurrency.h"

#include <memory>

namespace korvo {

// The system's own fastest walk, or null where there is none. On Windows:
// FindFirstFileExW on each folder's extended-length path, which lists every
// name as it is on disk (device names such as "CON", trailing dots and
// blanks, paths past 260 characters) with its size and times, and tells a
// folder it may not list; otherwise as the QDir walk. On Linux: getdents64 and statx
// relative to open folders, which also lists names that are not valid UTF-8,
// on `threads` threads, or 0 for as many as walkConcurrency() gives for the
// root's file system (more once the walk enters a remote one). `probe` tells
// the kinds of file systems (null: the system's).
std::unique_ptr<FolderWalk> createNativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry,
                                                   int threads, const FileSystemProbe& probe);

} // namespace korvo
