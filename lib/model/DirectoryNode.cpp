#include "DirectoryNode.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "Package.h"
#include "RelativePath.h"
#include "SaturatingSum.h"

#include <QDebug>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QFileInfo>
#include <QMetaType>


namespace korvo {

namespace {

// Subfolders whose release was handed over by a dying folder, in a list on
// the stack of the first destructor, which drains it: freeing a tree of any
// depth takes a constant amount of stack; nodes still held elsewhere (by a
// package, say) only lose one reference and keep their subtree. Only a plain
// pointer is thread-local: a thread-local object with a destructor is
// destroyed at thread exit, which MinGW's runtime does after freeing its
// storage on threads it did not start (QThread's), corrupting the heap.
thread_local QVector<DirectoryNodePtr>* pendingRelease = nullptr;

} // namespace

namespace {

// A folder's path as a level below its parent's when the parent is the
// folder that holds it, else a path of its own.
FolderPath pathOf(const DirectoryNodePtr& parent, const QString& absolutePath, const QString& fileName)
{
    if (parent && parent->absoluteFilePath() == absolutePath)
        return parent->path().child(fileName);
    return FolderPath::fromText(absolutePath).child(fileName);
}

} // namespace

DirectoryNode::DirectoryNode(const DirectoryNodePtr& parent, const QFileInfo& info)
    : DirectoryNode(parent, info.absolutePath(), info.fileName(), NodeTimes::fromFileInfo(info))
{
}

DirectoryNode::DirectoryNode(const DirectoryNodePtr& parent, const QString& absolutePath, const QString& fileName,
                             const NodeTimes& times)
    : DirectoryNode(parent, pathOf(parent, absolutePath, fileName), times)
{
}

DirectoryNode::DirectoryNode(const DirectoryNodePtr& parent, const FolderPath& path, const NodeTimes& times)
    : parent_(parent), depth_(parent ? parent->depth_ + 1 : 0), path_(path), times_(times)
{
}

DirectoryNode::~DirectoryNode()
{
    QVector<DirectoryNodePtr>& subdirectories = subdirectories_.storage();
    if (subdirectories.isEmpty())
        return;
    // Move the references out one by one (not by sharing the vector): the
    // subfolders must not die when this node's own vector goes, or each
    // level would run inside the destructor of the level above.
    if (pendingRelease) {
        pendingRelease->reserve(pendingRelease->size() + subdirectories.size());
        for (DirectoryNodePtr& child : subdirectories)
            pendingRelease->append(std::move(child));
        subdirectories.clear();
        return;
    }
    QVector<DirectoryNodePtr> pending;
    pending.reserve(subdirectories.size());
    for (DirectoryNodePtr& child : subdirectories)
        pending.append(std::move(child));
    subdirectories.clear();
    pendingRelease = &pending;
    while (!pending.isEmpty()) {
        DirectoryNodePtr last = std::move(pending.last());
        pending.removeLast();
        last.reset(); // may run a nested destructor, which only queues its children
    }
    pendingRelease = nullptr;
}

bool DirectoryNode::isLastSubdirectory() const
{
    const DirectoryNodePtr owner = parent();
    return owner && !owner->subdirectories().isEmpty() && owner->subdirectories().last().data() == this;
}

void DirectoryNode::reserve(int fileCount, int subdirectoryCount)
{
    files_.reserve(fileCount);
    subdirectories_.reserve(subdirectoryCount);
}

void DirectoryNode::setOwnSizes(qint64 size, qint64 sizeOnDisk)
{
    size_ = size;
    sizeOnDisk_ = sizeOnDisk;
}

void DirectoryNode::setTotals(qint64 totalSize, qint64 totalSizeOnDisk, qint32 totalFileCount,
                              qint32 totalSubdirectoryCount)
{
    totalSize_ = totalSize;
    totalSizeOnDisk_ = totalSizeOnDisk;
    totalFileCount_ = totalFileCount;
    totalSubdirectoryCount_ = totalSubdirectoryCount;
}

void DirectoryNode::setChildIdentities(std::unique_ptr<const ChildIdentities> identities)
{
    childIdentities_ = std::move(identities);
}

namespace {

// The folders of a tree by their path level, found by going down from the
// root along the levels asked for; each folder's subfolders are indexed the
// first time one of them is looked for, so a package of many pieces costs
// what their folders hold, not the tree.
class FolderTable
{
public:
    explicit FolderTable(DirectoryNode* root) { folders_.insert(root->path().key(), root); }

    DirectoryNode* find(FolderPath path)
    {
        QVector<FolderPath> unknown;
        for (; !path.isNull() && !folders_.contains(path.key()); path = path.parent())
            unknown.append(path);
        if (path.isNull())
            return nullptr; // not below the root
        DirectoryNode* folder = folders_.value(path.key());
        for (int i = unknown.size() - 1; i >= 0 && folder; --i) {
            index(folder);
            folder = folders_.value(unknown.at(i).key());
        }
        return folder;
    }

private:
    void index(DirectoryNode* folder)
    {
        if (!indexed_.contains(folder)) {
            indexed_.insert(folder);
            for (const DirectoryNodePtr& sub : folder->subdirectories())
                folders_.insert(sub->path().key(), sub.data());
        }
    }

    QHash<const void*, DirectoryNode*> folders_;
    QSet<const DirectoryNode*> indexed_;
};

} // namespace

bool DirectoryNode::takeOwn(const iPackagable& item, Figures* taken)
{
    if (const auto* file = dynamic_cast<const FileNode*>(&item)) {
        if (!files_.take(file))
            return false;
        *taken = {file->size(), file->sizeOnDisk(), 1, 0};
        size_ -= file->size();
        sizeOnDisk_ -= file->sizeOnDisk();
        return true;
    }
    if (const auto* directory = dynamic_cast<const DirectoryNode*>(&item)) {
        if (!subdirectories_.take(directory))
            return false;
        *taken = {directory->totalSize(), directory->totalSizeOnDisk(), directory->totalFileCount(),
                  directory->totalSubdirectoryCount() + 1};
        return true;
    }
    return false;
}

void DirectoryNode::lowerTotals(const Figures& taken)
{
    totalSize_ -= taken.size;
    totalSizeOnDisk_ -= taken.sizeOnDisk;
    totalFileCount_ -= taken.files;
    totalSubdirectoryCount_ -= taken.folders;
}

bool DirectoryNode::isInexact() const
{
    return isSaturated(size_) || isSaturated(sizeOnDisk_) || isSaturated(totalSize_) || isSaturated(totalSizeOnDisk_);
}

void DirectoryNode::remove(const QSharedPointer<Package>& package)
{
    if (!package)
        return;
    FolderTable table(this);
    // A saturated sum is "this much or more": taking a part away from it
    // gives no exact figure, so such sums are added up again afterwards,
    // the deepest folder first.
    QMap<std::pair<qint32, const void*>, DirectoryNode*> inexact;
    QMap<std::pair<qint32, const void*>, DirectoryNode*> holders;
    // Each naming takes out the first still-listed entry of that very node
    // (by identity, not by name), from the folder that lists it, and lowers
    // the totals of that folder and of every folder above it up to this one.
    for (const PackagablePtr& item : package->items) {
        if (!dynamic_cast<const FileNode*>(item.data()) && !dynamic_cast<const DirectoryNode*>(item.data())) {
            qDebug().noquote() << QStringLiteral("convet faild packagable item %1\n")
                                      .arg(item ? item->absoluteFilePath() : QString());
            continue;
        }
        const FolderPath holderPath = RelativePath::holderOf(*item);
        DirectoryNode* holder = holderPath.isSameLevel(path_) ? this : table.find(holderPath);
        // A node made from a path text (a listing read back) has a folder
        // path of its own, below no level of the tree: it can only be one of
        // this node's own entries, which takeOwn checks by identity.
        if (!holder)
            holder = this;
        Figures taken;
        if (!holder->takeOwn(*item, &taken))
            continue;
        holders.insert({-holder->depth_, holder}, holder);
        for (DirectoryNode* folder = holder;; folder = folder->parent_.toStrongRef().data()) {
            if (folder->isInexact())
                inexact.insert({-folder->depth_, folder}, folder);
            folder->lowerTotals(taken);
            if (folder == this)
                break;
        }
    }
    for (DirectoryNode* folder : qAsConst(inexact))
        folder->addUpSizes();
    dropEmptied(holders.values());
}

void DirectoryNode::dropEmptied(const QList<DirectoryNode*>& deepestFirst)
{
    // A split folder whose every entry has moved is removed on disk by the
    // move: it leaves the tree too, and so does each folder above it that
    // it leaves empty, up to this one. The folders dropped are held until
    // every holder has been looked at: a holder may have been dropped on the
    // way up from a deeper one, and is looked at all the same. The counts,
    // not the lists, tell a folder empty: reading a list closes the holes the
    // removal left, and its next removal would index it again.
    QVector<DirectoryNodePtr> dropped;
    for (DirectoryNode* folder : deepestFirst) {
        while (folder != this && folder->fileCount() == 0 && folder->subdirectoryCount() == 0) {
            const DirectoryNodePtr parent = folder->parent_.toStrongRef();
            DirectoryNodePtr taken;
            if (!parent || !parent->subdirectories_.take(folder, &taken))
                break;
            dropped.append(taken);
            for (DirectoryNode* up = parent.data();; up = up->parent_.toStrongRef().data()) {
                up->totalSubdirectoryCount_ -= 1;
                if (up == this)
                    break;
            }
            folder = parent.data();
        }
    }
}

void DirectoryNode::addUpSizes()
{
    size_ = 0;
    sizeOnDisk_ = 0;
    for (const FileNodePtr& file : files()) {
        size_ = addSaturating(size_, file->size());
        sizeOnDisk_ = addSaturating(sizeOnDisk_, file->sizeOnDisk());
    }
    totalSize_ = size_;
    totalSizeOnDisk_ = sizeOnDisk_;
    for (const DirectoryNodePtr& directory : subdirectories()) {
        totalSize_ = addSaturating(totalSize_, directory->totalSize());
        totalSizeOnDisk_ = addSaturating(totalSizeOnDisk_, directory->totalSizeOnDisk());
    }
}

} // namespace korvo
