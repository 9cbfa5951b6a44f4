#include "PackageNode.h"

#include "FileNode.h"
#include "RelativePath.h"
#include "SaturatingSum.h"

#include <QFileInfo>
#include <QHash>

namespace korvo {

namespace {

// Appends an item to a node made for the listing and adds its figures to
// that node's own (files) and to the counts of what lies below (folders).
void appendItem(const DirectoryNodePtr& node, const PackagablePtr& item)
{
    if (const FileNodePtr file = item.dynamicCast<FileNode>()) {
        node->appendFile(file);
        node->setOwnSizes(addSaturating(node->size(), file->size()), addSaturating(node->sizeOnDisk(), file->sizeOnDisk()));
    } else if (const DirectoryNodePtr directory = item.dynamicCast<DirectoryNode>()) {
        node->appendSubdirectory(directory);
    }
}

// Sets a listing node's totals from its own files and its subfolders'
// totals (the subfolders' first, for nodes made for the listing).
void addUp(const DirectoryNodePtr& node)
{
    qint64 size = node->size();
    qint64 sizeOnDisk = node->sizeOnDisk();
    qint32 files = node->fileCount();
    qint32 folders = node->subdirectoryCount();
    for (const DirectoryNodePtr& sub : node->subdirectories()) {
        size = addSaturating(size, sub->totalSize());
        sizeOnDisk = addSaturating(sizeOnDisk, sub->totalSizeOnDisk());
        files += sub->totalFileCount();
        folders += sub->totalSubdirectoryCount();
    }
    node->setTotals(size, sizeOnDisk, files, folders);
}

// The folders of a package's pieces of split folders, made for its listing
// as they are in the package folder, each one once.
class ListingFolders
{
public:
    ListingFolders(const DirectoryNodePtr& top, const NativePath& folder) : top_(top), folder_(folder) {}

    // The node that holds an item at `levels` below the package folder.
    DirectoryNodePtr holderOf(const QList<NativePath>& levels)
    {
        DirectoryNodePtr node = top_;
        QByteArray key;
        for (int i = 0; i + 1 < levels.size(); ++i) {
            key += '/' + levels.at(i).storedBytes();
            DirectoryNodePtr& known = made_[key];
            if (!known) {
                // Its times are those of the folder in the package, as read now.
                const QFileInfo info(RelativePath::below(folder_, levels.mid(0, i + 1)).toText());
                const QString name = levels.at(i).toText();
                known = DirectoryNodePtr::create(node, node->path().child(name, levels.at(i)),
                                                 NodeTimes::fromFileInfo(info));
                node->appendSubdirectory(known);
                order_.append(known);
            }
            node = known;
        }
        return node;
    }

    // Sets the made folders' totals, the deepest first.
    void addUpAll()
    {
        for (int i = order_.size() - 1; i >= 0; --i)
            addUp(order_.at(i));
    }

private:
    DirectoryNodePtr top_;
    NativePath folder_;
    QHash<QByteArray, DirectoryNodePtr> made_;
    QList<DirectoryNodePtr> order_; // each after the folder that holds it
};

} // namespace

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

    // A piece of a split folder is shown inside the folders of its path.
    ListingFolders folders(node, folder);
    for (const PackagablePtr& item : package->items) {
        if (item)
            appendItem(folders.holderOf(RelativePath::levelsOf(package->scannedFolder, *item)), item);
    }
    folders.addUpAll();
    addUp(node);
    node->setTotals(package->size, package->sizeOnDisk, node->totalFileCount(), node->totalSubdirectoryCount());
    return node;
}

} // namespace korvo
