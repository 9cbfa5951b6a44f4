#include "NativeFolderWalk.h"

namespace korvo {

// Windows has no walk of its own here: QDir's listing is the native one.
std::unique_ptr<FolderWalk> createNativeFolderWalk(const NativePath&, const DriveGeometry&, int, const FileSystemProbe&)
{
    return nullptr;
}

} // namespace korvo
