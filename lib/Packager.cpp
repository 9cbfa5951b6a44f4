#include "Packager.h"

#include "FileNode.h"
#include "Platform.h"

#include <QFileInfo>

#include <algorithm>
#include <numeric>
#include <vector>

namespace korvo {

namespace {

// Builds the packages of one packing: items go into the current package
// until it is closed, and a closed package is never reopened.
class PackageBuilder
{
public:
    PackageBuilder(const PackageOrder& order, QList<PackagePtr>& packages) : order_(order), packages_(packages) {}

    bool isEmpty() const { return items_.isEmpty(); }
    qint64 sizeOnDisk() const { return sizeOnDisk_; }

    void add(const PackagablePtr& item, qint64 itemSizeOnDisk)
    {
        items_.append(item);
        size_ += item->totalSize();
        sizeOnDisk_ += itemSizeOnDisk;
    }

    void close()
    {
        PackagePtr package(new Package);
        package->size = size_;
        package->sizeOnDisk = sizeOnDisk_;
        package->packageOrder = order_;
        package->items = items_;
        packages_.append(package);
        size_ = 0;
        sizeOnDisk_ = 0;
        items_.clear();
    }

private:
    const PackageOrder& order_;
    QList<PackagePtr>& packages_;
    qint64 size_ = 0;
    qint64 sizeOnDisk_ = 0;
    QList<PackagablePtr> items_;
};

struct Candidate
{
    PackagablePtr item;
    qint64 sizeOnDisk;
};

// Best fit: each placement takes the largest candidate that still fits the
// room left in the current package, the one nearest the start of the list
// among equals; when none fits, the package is closed.
//
// The candidates are ordered once by size on disk (ascending) and, within
// one size, by list position descending, so the right-most remaining entry
// at or below the room is exactly the one to take. "Right-most remaining
// entry at or below position p" is answered by a union-find that links each
// taken position to its left neighbour, which keeps the whole placement at
// O(n log n) (the sort and one binary search per placement).
void placeBestFit(const std::vector<Candidate>& candidates, qint64 limit, PackageBuilder& builder)
{
    const int count = int(candidates.size());
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const qint64 sa = candidates[a].sizeOnDisk;
        const qint64 sb = candidates[b].sizeOnDisk;
        return sa != sb ? sa < sb : a > b;
    });
    std::vector<qint64> keys(count);
    for (int i = 0; i < count; ++i)
        keys[i] = candidates[order[i]].sizeOnDisk;

    // next[p] == p while position p is untaken; a taken p points further
    // left. Position -1 stands for "nothing left".
    std::vector<int> next(count);
    std::iota(next.begin(), next.end(), 0);
    auto find = [&](int p) {
        int top = p;
        while (top >= 0 && next[top] != top)
            top = next[top];
        while (p >= 0 && next[p] != p) { // path compression
            const int up = next[p];
            next[p] = top;
            p = up;
        }
        return top;
    };

    int remaining = count;
    while (remaining > 0) {
        const qint64 room = limit - builder.sizeOnDisk();
        const int last = int(std::upper_bound(keys.begin(), keys.end(), room) - keys.begin()) - 1;
        const int found = last >= 0 ? find(last) : -1;
        if (found < 0) {
            if (builder.isEmpty())
                break; // cannot happen: every candidate fits an empty package
            builder.close();
            continue;
        }
        const Candidate& candidate = candidates[order[found]];
        builder.add(candidate.item, candidate.sizeOnDisk);
        next[found] = found - 1;
        --remaining;
    }
}

// Next fit: items in the given order; one that does not fit closes the
// current package first.
void placeNextFit(const std::vector<Candidate>& candidates, qint64 limit, PackageBuilder& builder)
{
    for (const Candidate& candidate : candidates) {
        // room, not running + size, so that no sum can overflow
        if (candidate.sizeOnDisk > limit - builder.sizeOnDisk())
            builder.close();
        builder.add(candidate.item, candidate.sizeOnDisk);
    }
}

// Orders the candidates for sorts 1 to 4. The sort is stable: items with
// equal keys keep their listed order, so a folder packs the same way on
// every platform and in every run.
void sortCandidates(std::vector<Candidate>& candidates, int sort)
{
    switch (sort) {
    case SizeAscending:
    case SizeDescending: {
        std::vector<std::pair<qint64, int>> keys(candidates.size());
        for (size_t i = 0; i < candidates.size(); ++i)
            keys[i] = {candidates[i].item->totalSize(), int(i)};
        if (sort == SizeAscending)
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        else
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto& a, const auto& b) { return a.first > b.first; });
        std::vector<Candidate> sorted;
        sorted.reserve(candidates.size());
        for (const auto& key : keys)
            sorted.push_back(std::move(candidates[size_t(key.second)]));
        candidates.swap(sorted);
        break;
    }
    case NameAscending:
    case NameDescending: {
        std::vector<std::pair<QString, int>> keys(candidates.size());
        for (size_t i = 0; i < candidates.size(); ++i)
            keys[i] = {candidates[i].item->fileName(), int(i)};
        if (sort == NameAscending)
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        else
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto& a, const auto& b) { return b.first < a.first; });
        std::vector<Candidate> sorted;
        sorted.reserve(candidates.size());
        for (const auto& key : keys)
            sorted.push_back(std::move(candidates[size_t(key.second)]));
        candidates.swap(sorted);
        break;
    }
    default:
        break; // Assorted and unknown values keep the listed order
    }
}

} // namespace

bool Packager::pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root,
                    QList<PackagePtr>& packages)
{
    errorString_.clear();
    packages.clear();
    if (!root)
        return true;

    const qint64 limit = packageOrder.size;
    std::vector<Candidate> candidates;
    candidates.reserve(size_t(root->fileCount()) + size_t(root->subdirectoryCount()));
    for (const FileNodePtr& file : root->files()) {
        if (file && file->sizeOnDisk() <= limit)
            candidates.push_back({file, file->sizeOnDisk()});
    }
    for (const DirectoryNodePtr& directory : root->subdirectories()) {
        if (directory && directory->totalSizeOnDisk() <= limit)
            candidates.push_back({directory, directory->totalSizeOnDisk()});
    }

    PackageBuilder builder(packageOrder, packages);
    if (sort == Assorted) {
        placeBestFit(candidates, limit, builder);
    } else {
        sortCandidates(candidates, sort);
        placeNextFit(candidates, limit, builder);
    }
    if (!builder.isEmpty())
        builder.close();
    return true;
}

bool Packager::movePackage(const QDir& targetDir, const PackagePtr& package)
{
    errorString_.clear();
    if (!package) {
        errorString_ = QStringLiteral("Move failed: no package was given.\r\n");
        return false;
    }

    QList<PackagablePtr> moved;
    for (const PackagablePtr& item : package->items) {
        if (!item) {
            errorString_ = QStringLiteral("Move failed: the package holds an empty item.\r\n");
            break;
        }
        const QString source = item->absoluteFilePath();
        const QString destination = targetDir.absoluteFilePath(item->fileName());
        qint64 errorCode = 0;
        if (!platform::moveWithoutReplacing(source, destination, &errorCode)) {
            errorString_ = QStringLiteral("Move failed. old:%1 new:%2 winError:%3.\r\n")
                               .arg(source, destination)
                               .arg(errorCode);
            break;
        }
        moved.append(item);
    }
    if (errorString_.isEmpty())
        return true;

    // Undo, in the order of the moves. The failing item never moved, so this
    // covers exactly what this call moved. An item that cannot go back stays
    // in the package folder; it is named so that it is not lost from sight.
    for (const PackagablePtr& item : moved) {
        const QString original = item->absoluteFilePath();
        const QString current = targetDir.absoluteFilePath(item->fileName());
        qint64 errorCode = 0;
        if (!platform::moveWithoutReplacing(current, original, &errorCode)) {
            errorString_ += QStringLiteral("Move back failed. old:%1 new:%2 winError:%3.\r\n")
                                .arg(original, current)
                                .arg(errorCode);
        }
    }
    return false;
}

DirectoryNodePtr makePackageNode(const QDir& targetDir, const PackagePtr& package)
{
    DirectoryNodePtr node(new DirectoryNode(DirectoryNodePtr(), QFileInfo(targetDir.absolutePath())));
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
            size += file->size();
            sizeOnDisk += file->sizeOnDisk();
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
