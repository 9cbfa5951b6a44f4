#include "DirectoryNode.h"

#include "ChildIdentities.h"
#include "Package.h"
#include "SaturatingSum.h"

#include <QDebug>
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

void DirectoryNode::remove(const QSharedPointer<Package>& package)
{
    if (!package)
        return;
    // A saturated sum is "this much or more": taking a part away from it
    // gives no exact figure, so such sums are added up again afterwards.
    const bool inexact =
        isSaturated(size_) || isSaturated(sizeOnDisk_) || isSaturated(totalSize_) || isSaturated(totalSizeOnDisk_);
    // Each naming takes out the first still-listed entry of that very node
    // (by identity, not by name).
    for (const PackagablePtr& item : package->items) {
        if (const auto* file = dynamic_cast<const FileNode*>(item.data())) {
            if (!files_.take(file))
                continue;
            size_ -= file->size();
            totalSize_ -= file->size();
            sizeOnDisk_ -= file->sizeOnDisk();
            totalSizeOnDisk_ -= file->sizeOnDisk();
            totalFileCount_ -= 1;
        } else if (const auto* directory = dynamic_cast<const DirectoryNode*>(item.data())) {
            if (!subdirectories_.take(directory))
                continue;
            totalSize_ -= directory->totalSize();
            totalSizeOnDisk_ -= directory->totalSizeOnDisk();
            totalFileCount_ -= directory->totalFileCount();
            totalSubdirectoryCount_ -= directory->totalSubdirectoryCount() + 1;
        } else {
            qDebug().noquote() << QStringLiteral("convet faild packagable item %1\n")
                                      .arg(item ? item->absoluteFilePath() : QString());
        }
    }
    if (inexact)
        addUpSizes();
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
