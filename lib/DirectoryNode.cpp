#include "DirectoryNode.h"

#include "EnumerateProgress.h"
#include "Package.h"

#include <QDebug>
#include <QFileInfo>
#include <QMetaType>

namespace korvo {

namespace {

// Subfolders whose release was handed over by a dying folder. The first
// destructor on the stack drains it, so freeing a tree of any depth takes a
// constant amount of stack; nodes still held elsewhere (by a package, say)
// only lose one reference and keep their subtree.
thread_local QVector<DirectoryNodePtr> pendingRelease;
thread_local bool releasing = false;

} // namespace

DirectoryNode::DirectoryNode(const DirectoryNodePtr& parent, const QFileInfo& info)
    : DirectoryNode(parent,
                    // The parent's own path, shared, when it is the same text.
                    parent && parent->absoluteFilePath_ == info.absolutePath() ? parent->absoluteFilePath_
                                                                                : info.absolutePath(),
                    info.fileName(), NodeTimes::fromFileInfo(info))
{
    absoluteFilePath_ = info.absoluteFilePath();
}

DirectoryNode::DirectoryNode(const DirectoryNodePtr& parent, const QString& absolutePath, const QString& fileName,
                             const NodeTimes& times)
    : parent_(parent),
      depth_(parent ? parent->depth_ + 1 : 0),
      fileName_(fileName),
      absolutePath_(absolutePath),
      absoluteFilePath_(fileName.isEmpty() ? absolutePath : joinPath(absolutePath, fileName)),
      times_(times)
{
}

DirectoryNode::~DirectoryNode()
{
    if (subdirectories_.isEmpty())
        return;
    // Move the references out one by one (not by sharing the vector): the
    // subfolders must not die when this node's own vector goes, or each
    // level would run inside the destructor of the level above.
    pendingRelease.reserve(pendingRelease.size() + subdirectories_.size());
    for (DirectoryNodePtr& child : subdirectories_)
        pendingRelease.append(std::move(child));
    subdirectories_.clear();
    if (releasing)
        return;
    releasing = true;
    while (!pendingRelease.isEmpty()) {
        DirectoryNodePtr last = std::move(pendingRelease.last());
        pendingRelease.removeLast();
        last.reset(); // may run a nested destructor, which only queues its children
    }
    pendingRelease.squeeze();
    releasing = false;
}

bool DirectoryNode::isLastSubdirectory() const
{
    const DirectoryNodePtr owner = parent();
    return owner && !owner->subdirectories_.isEmpty() && owner->subdirectories_.last().data() == this;
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

void DirectoryNode::remove(const QSharedPointer<Package>& package)
{
    if (!package)
        return;
    for (const PackagablePtr& item : package->items) {
        if (const FileNodePtr file = item.dynamicCast<FileNode>()) {
            const int index = files_.indexOf(file);
            if (index < 0)
                continue;
            files_.remove(index);
            size_ -= file->size();
            totalSize_ -= file->size();
            sizeOnDisk_ -= file->sizeOnDisk();
            totalSizeOnDisk_ -= file->sizeOnDisk();
            totalFileCount_ -= 1;
        } else if (const DirectoryNodePtr directory = item.dynamicCast<DirectoryNode>()) {
            const int index = subdirectories_.indexOf(directory);
            if (index < 0)
                continue;
            subdirectories_.remove(index);
            totalSize_ -= directory->totalSize();
            totalSizeOnDisk_ -= directory->totalSizeOnDisk();
            totalFileCount_ -= directory->totalFileCount();
            totalSubdirectoryCount_ -= directory->totalSubdirectoryCount() + 1;
        } else {
            qDebug().noquote() << QStringLiteral("convet faild packagable item %1\n")
                                      .arg(item ? item->absoluteFilePath() : QString());
        }
    }
}

void registerMetaTypes()
{
    qRegisterMetaType<korvo::DirectoryNodePtr>("korvo::DirectoryNodePtr");
    qRegisterMetaType<korvo::EnumerateProgress>("korvo::EnumerateProgress");
}

} // namespace korvo
