#include "FolderWalkFactory.h"

#include "NativeFolderWalk.h"
#include "QtFolderWalk.h"

namespace korvo {

std::unique_ptr<FolderWalk> createFolderWalk(ListingMethod method, const NativePath& rootPath,
                                             const DriveGeometry& geometry, int threads, const FileSystemProbe& probe)
{
    if (method == ListingMethod::Native) {
        if (std::unique_ptr<FolderWalk> walk = createNativeFolderWalk(rootPath, geometry, threads, probe))
            return walk;
    }
    return std::make_unique<QtFolderWalk>(rootPath, geometry, threads, probe);
}

} // namespace korvo
