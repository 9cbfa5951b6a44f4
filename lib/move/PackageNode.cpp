#include "PackageNode.h"

#include "FileNode.h"
#include "SaturatingSum.h"

#include <QFileInfo>

namespace korvo {

DirectoryNodePtr makePackageNode(const NativePath& targetFolder, const PackagePtr& package)
{
    // The node's path levels are the exact ones; its times, which the
    // listing shows, are read as QFileInfo reads them.
    const NativePath folder = targetFolder.cleaned();
    const QFileInfo info(folder.toText());
    const FolderPath path =
        FolderPath::fromText(info.absolutePath(), folder.parent()).child(info.fileName(), folder.fileName());
    const DirectoryNodePtr node =
        DirectoryNodePtr::create(DirectoryNodePtr(), path, NodeTimes::fromFileInfo(info));
    if (!package)
        return node;

    qint64 size = 0;
    qint64 sizeOnDisk = 0;
    qint32 fileItems = 0;
    qint32 folderItems = 0;
    qint32 totalFileCount = 0;
    qint32 totalSubdirectoryCount = 0;
    for (const PackagablePtr& item : package->items) {
        if (const FileNodePtr file = item.dynamicCast<FileNode>()) {
            node->appendFile(file);
            size = addSaturating(size, file->size());
            sizeOnDisk = addSaturating(sizeOnDisk, file->sizeOnDisk());
            ++fileItems;
        } else if (const DirectoryNodePtr directory = item.dynamicCast<DirectoryNode>()) {
            node->appendSubdirectory(directory);
            totalFileCount += directory->totalFileCount();
            totalSubdirectoryCount += directory->totalSubdirectoryCount();
            ++folderItems;
        }
    }
    node->setOwnSizes(size, sizeOnDisk);
    node->setTotals(package->size, package->sizeOnDisk, totalFileCount + fileItems,
                    totalSubdirectoryCount + folderItems);
    return node;
}

} // namespace korvo
