#pragma once

#include "DriveGeometry.h"
#include "FolderWalk.h"
#include "NativePath.h"

#include <memory>

namespace korvo {

// The system's own fastest walk, or null where there is none (Windows lists
// through QDir, whose names are UTF-16 already and whose QFileInfo figures
// come from one directory read per folder). On Linux: getdents64 and statx
// relative to open folders, on `threads` threads (0: the default), which also
// lists names that are not valid UTF-8.
std::unique_ptr<FolderWalk> createNativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry,
                                                   int threads);

} // namespace korvo
