#include "FolderListing.h"

namespace korvo {

// Windows lists through QDir: its names are UTF-16 already and QFileInfo's
// figures come from one directory read per folder.
bool listFolderNative(const PendingFolder&, const DriveGeometry&, QVector<PendingFolder>&, FolderSums&)
{
    return false;
}

} // namespace korvo
