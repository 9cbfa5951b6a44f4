#include "FolderWalk.h"

#include "QtFolderWalk.h"

namespace korvo {

// Windows lists through QDir: its names are UTF-16 already and QFileInfo's
// figures come from one directory read per folder.
std::unique_ptr<FolderWalk> FolderWalk::create(ListingMethod, const NativePath& rootPath,
                                               const DriveGeometry& geometry, int)
{
    return std::make_unique<QtFolderWalk>(rootPath, geometry);
}

} // namespace korvo
