#include "DirectoryNode.h"

#include "ChildIdentities.h"
#include "EnumerateProgress.h"
#include "Package.h"
#include "SaturatingSum.h"

#include <QDebug>
#include <QFileInfo>
#include <QMetaType>

#include <algorithm>
#include <array>
#include <vector>

namespace korvo {

namespace {

// Subfolders whose release was handed over by a dying folder. The first
// destructor on the stack drains it, so freeing a tree of any depth takes a
// constant amount of stack; nodes still held elsewhere (by a package, say)
// only lose one reference and keep their subtree.
thread_local QVector<DirectoryNodePtr> pendingRelease;
thread_local bool releasing = false;

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

void DirectoryNode::setChildIdentities(std::unique_ptr<const ChildIdentities> identities)
{
    childIdentities_ = std::move(identities);
}

namespace {

// The nodes a package names, each with how often it names it, for the one
// pass of remove(): a bit filter answers most "not named" cases without a
// search, the sorted list the rest.
class NamedNodes
{
public:
    explicit NamedNodes(const QList<PackagablePtr>& items)
    {
        for (const PackagablePtr& item : items) {
            if (item.dynamicCast<FileNode>() || item.dynamicCast<DirectoryNode>()) {
                counts_.push_back({item.data(), 1});
            } else {
                qDebug().noquote() << QStringLiteral("convet faild packagable item %1\n")
                                          .arg(item ? item->absoluteFilePath() : QString());
            }
        }
        remaining_ = int(counts_.size());
        std::sort(counts_.begin(), counts_.end());
        // Fold repeated namings into one entry with a count.
        int last = -1;
        for (const auto& entry : counts_) {
            if (last >= 0 && counts_[size_t(last)].first == entry.first) {
                ++counts_[size_t(last)].second;
            } else {
                counts_[size_t(++last)] = entry;
                filter_[bit(entry.first) / 64] |= quint64(1) << (bit(entry.first) % 64);
            }
        }
        counts_.resize(size_t(last + 1));
    }

    bool isEmpty() const { return remaining_ == 0; }

    // True (and one naming fewer) when the package still names this node.
    bool take(const iPackagable* node)
    {
        const quint32 b = bit(node);
        if (!(filter_[b / 64] & (quint64(1) << (b % 64))))
            return false;
        const auto found = std::lower_bound(counts_.begin(), counts_.end(), std::make_pair(node, 0));
        if (found == counts_.end() || found->first != node || found->second == 0)
            return false;
        --found->second;
        --remaining_;
        return true;
    }

private:
    static quint32 bit(const iPackagable* node)
    {
        quint64 v = quint64(quintptr(node));
        v *= Q_UINT64_C(0x9E3779B97F4A7C15);
        return quint32(v >> 48); // 16 bits
    }

    std::vector<std::pair<const iPackagable*, int>> counts_;
    std::array<quint64, 1024> filter_{};
    int remaining_ = 0;
};

} // namespace

void DirectoryNode::remove(const QSharedPointer<Package>& package)
{
    if (!package)
        return;
    // Each naming takes out the first still-listed entry of that very node
    // (by identity, not by name). One pass over each list does what a search
    // per item would, in time linear in the entries, not entries x items.
    NamedNodes named(package->items);
    // A saturated sum is "this much or more": taking a part away from it
    // gives no exact figure, so such sums are added up again afterwards.
    const bool inexact =
        isSaturated(size_) || isSaturated(sizeOnDisk_) || isSaturated(totalSize_) || isSaturated(totalSizeOnDisk_);
    auto sweep = [&named](auto& list, auto lower) {
        const int size = list.size();
        // Up to the first entry taken out, nothing moves (and nothing is
        // copied, as a shared list would be on its first write).
        int i = 0;
        bool taken = false;
        for (; i < size && !named.isEmpty(); ++i) {
            if ((taken = named.take(list.at(i).data())))
                break;
        }
        if (!taken)
            return;
        auto* entries = list.data();
        lower(*entries[i]);
        int kept = i++;
        for (; i < size && !named.isEmpty(); ++i) {
            if (named.take(entries[i].data()))
                lower(*entries[i]);
            else
                entries[kept++] = std::move(entries[i]);
        }
        kept = int(std::move(entries + i, entries + size, entries + kept) - entries);
        list.resize(kept);
    };
    sweep(files_, [this](const FileNode& file) {
        size_ -= file.size();
        totalSize_ -= file.size();
        sizeOnDisk_ -= file.sizeOnDisk();
        totalSizeOnDisk_ -= file.sizeOnDisk();
        totalFileCount_ -= 1;
    });
    sweep(subdirectories_, [this](const DirectoryNode& directory) {
        totalSize_ -= directory.totalSize();
        totalSizeOnDisk_ -= directory.totalSizeOnDisk();
        totalFileCount_ -= directory.totalFileCount();
        totalSubdirectoryCount_ -= directory.totalSubdirectoryCount() + 1;
    });
    if (inexact)
        addUpSizes();
}

void DirectoryNode::addUpSizes()
{
    size_ = 0;
    sizeOnDisk_ = 0;
    for (const FileNodePtr& file : qAsConst(files_)) {
        size_ = addSaturating(size_, file->size());
        sizeOnDisk_ = addSaturating(sizeOnDisk_, file->sizeOnDisk());
    }
    totalSize_ = size_;
    totalSizeOnDisk_ = sizeOnDisk_;
    for (const DirectoryNodePtr& directory : qAsConst(subdirectories_)) {
        totalSize_ = addSaturating(totalSize_, directory->totalSize());
        totalSizeOnDisk_ = addSaturating(totalSizeOnDisk_, directory->totalSizeOnDisk());
    }
}

void registerMetaTypes()
{
    qRegisterMetaType<korvo::DirectoryNodePtr>("korvo::DirectoryNodePtr");
    qRegisterMetaType<korvo::EnumerateProgress>("korvo::EnumerateProgress");
}

} // namespace korvo
