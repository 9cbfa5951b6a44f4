#include "Packager.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "Platform.h"
#include "SaturatingSum.h"

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

    void add(const PackagablePtr& item, qint64 itemSize, qint64 itemSizeOnDisk)
    {
        items_.append(item);
        size_ = addSaturating(size_, itemSize);
        sizeOnDisk_ = addSaturating(sizeOnDisk_, itemSizeOnDisk);
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

// One top-level item that fits the limit: where the root lists it (its
// files first, then its subfolders) and its two figures, read once.
struct Candidate
{
    int source;
    qint64 size;       // totalSize(): the size sort key and the package's size
    qint64 sizeOnDisk; // totalSizeOnDisk(): what must fit
};

// The root's items by their position in "files, then subfolders".
class Sources
{
public:
    explicit Sources(const DirectoryNode& root) : files_(root.files()), folders_(root.subdirectories()) {}

    PackagablePtr item(int source) const
    {
        if (source < files_.size())
            return files_.at(source);
        return folders_.at(source - files_.size());
    }

    QString fileName(int source) const
    {
        if (source < files_.size())
            return files_.at(source)->fileName();
        return folders_.at(source - files_.size())->fileName();
    }

private:
    const QVector<FileNodePtr>& files_;
    const QVector<DirectoryNodePtr>& folders_;
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
void placeBestFit(const std::vector<Candidate>& candidates, const Sources& sources, qint64 limit,
                  PackageBuilder& builder)
{
    const int count = int(candidates.size());
    std::vector<std::pair<qint64, int>> order(size_t(count), {0, 0});
    for (int i = 0; i < count; ++i)
        order[size_t(i)] = {candidates[size_t(i)].sizeOnDisk, -i}; // -i: later positions first among equals
    std::sort(order.begin(), order.end());
    // The sizes on disk alone, for compact binary searches, and beside them
    // what a placement needs, gathered in one streaming pass.
    struct Placed
    {
        qint64 size;
        int source;
    };
    std::vector<qint64> keys(size_t(count), 0);
    std::vector<Placed> placed(size_t(count), {0, 0});
    for (int i = 0; i < count; ++i) {
        const Candidate& candidate = candidates[size_t(-order[size_t(i)].second)];
        keys[size_t(i)] = order[size_t(i)].first;
        placed[size_t(i)] = {candidate.size, candidate.source};
    }
    std::vector<std::pair<qint64, int>>().swap(order);

    // next[p] == p while position p is untaken; a taken p points further
    // left. Position -1 stands for "nothing left".
    std::vector<int> next(size_t(count), 0);
    std::iota(next.begin(), next.end(), 0);
    auto find = [&](int p) {
        int top = p;
        while (top >= 0 && next[size_t(top)] != top)
            top = next[size_t(top)];
        while (p >= 0 && next[size_t(p)] != p) { // path compression
            const int up = next[size_t(p)];
            next[size_t(p)] = top;
            p = up;
        }
        return top;
    };

    // The room only shrinks while a package fills, so each search can stop
    // where the previous one ended; an empty package takes any candidate.
    int searchEnd = count;
    int remaining = count;
    while (remaining > 0) {
        int last;
        if (builder.isEmpty()) {
            last = count - 1;
        } else {
            const qint64 room = limit - builder.sizeOnDisk();
            // The last position whose size on disk is at most the room.
            last = int(std::upper_bound(keys.begin(), keys.begin() + searchEnd, room) - keys.begin()) - 1;
        }
        searchEnd = last + 1;
        const int found = last >= 0 ? find(last) : -1;
        if (found < 0) {
            if (builder.isEmpty())
                break; // cannot happen: every candidate fits an empty package
            builder.close();
            searchEnd = count;
            continue;
        }
        const Placed& item = placed[size_t(found)];
        builder.add(sources.item(item.source), item.size, keys[size_t(found)]);
        next[size_t(found)] = found - 1;
        --remaining;
    }
}

// Next fit: items in the given order; one that does not fit closes the
// current package first.
void placeNextFit(const std::vector<Candidate>& candidates, const Sources& sources, qint64 limit,
                  PackageBuilder& builder)
{
    for (const Candidate& candidate : candidates) {
        // room, not running + size, so that no sum can overflow
        if (candidate.sizeOnDisk > limit - builder.sizeOnDisk())
            builder.close();
        builder.add(sources.item(candidate.source), candidate.size, candidate.sizeOnDisk);
    }
}

// The first eight UTF-16 code units of a name, packed into two words so
// that comparing two packs agrees with QString's operator< whenever the
// packs differ (a missing unit counts as 0: below every unit, or equal to a
// NUL unit, in which case the full names decide).
struct NameKey
{
    quint64 high = 0;
    quint64 low = 0;
    QString name;

    explicit NameKey(const QString& text = QString()) : name(text)
    {
        const int units = qMin(text.size(), 8);
        for (int i = 0; i < 8; ++i) {
            const quint64 unit = i < units ? quint64(text.at(i).unicode()) : 0;
            if (i < 4)
                high = (high << 16) | unit;
            else
                low = (low << 16) | unit;
        }
    }

    bool operator<(const NameKey& other) const
    {
        if (high != other.high)
            return high < other.high;
        if (low != other.low)
            return low < other.low;
        return name < other.name;
    }
};

// Orders the candidates for sorts 1 to 4. The sort is stable: items with
// equal keys keep their listed order, so a folder packs the same way on
// every platform and in every run.
void sortCandidates(std::vector<Candidate>& candidates, const Sources& sources, int sort)
{
    const size_t count = candidates.size();
    std::vector<int> order(count, 0);
    std::iota(order.begin(), order.end(), 0);
    switch (sort) {
    case SizeAscending:
    case SizeDescending: {
        std::vector<qint64> sizes(count, 0);
        for (size_t i = 0; i < count; ++i)
            sizes[i] = candidates[i].size;
        if (sort == SizeAscending)
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sizes[size_t(a)] < sizes[size_t(b)]; });
        else
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sizes[size_t(a)] > sizes[size_t(b)]; });
        break;
    }
    case NameAscending:
    case NameDescending: {
        std::vector<NameKey> keys;
        keys.reserve(count);
        for (size_t i = 0; i < count; ++i)
            keys.emplace_back(sources.fileName(candidates[i].source));
        auto less = [&keys](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; };
        if (sort == NameAscending)
            std::stable_sort(order.begin(), order.end(), less);
        else
            std::stable_sort(order.begin(), order.end(), [&less](int a, int b) { return less(b, a); });
        break;
    }
    default:
        return; // Assorted and unknown values keep the listed order
    }
    std::vector<Candidate> sorted;
    sorted.reserve(count);
    for (const int index : order)
        sorted.push_back(std::move(candidates[size_t(index)]));
    candidates.swap(sorted);
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
    const QVector<FileNodePtr>& files = root->files();
    const QVector<DirectoryNodePtr>& folders = root->subdirectories();
    std::vector<Candidate> candidates;
    candidates.reserve(size_t(files.size()) + size_t(folders.size()));
    for (int i = 0; i < files.size(); ++i) {
        const FileNode* file = files.at(i).data();
        if (file && file->sizeOnDisk() <= limit)
            candidates.push_back({i, file->size(), file->sizeOnDisk()});
    }
    for (int i = 0; i < folders.size(); ++i) {
        const DirectoryNode* folder = folders.at(i).data();
        if (folder && folder->totalSizeOnDisk() <= limit)
            candidates.push_back({files.size() + i, folder->totalSize(), folder->totalSizeOnDisk()});
    }

    const Sources sources(*root);
    PackageBuilder builder(packageOrder, packages);
    if (sort == Assorted) {
        placeBestFit(candidates, sources, limit, builder);
    } else {
        sortCandidates(candidates, sources, sort);
        placeNextFit(candidates, sources, limit, builder);
    }
    if (!builder.isEmpty())
        builder.close();
    return true;
}

namespace {

Packager::MoveFunction& moveOverride()
{
    static Packager::MoveFunction move;
    return move;
}

bool moveEntry(const NativePath& source, const NativePath& destination, qint64* errorCode)
{
    if (moveOverride())
        return moveOverride()(source, destination, errorCode);
    return platform::moveWithoutReplacing(source, destination, errorCode);
}

// An item into the target folder: into the open folder when there is one,
// so that a level of its path swapped meanwhile cannot steer it elsewhere.
bool moveIn(const NativePath& source, const NativePath& targetFolder, const NativePath& name,
            const platform::FolderHandle* target, qint64* errorCode)
{
    if (target && !moveOverride())
        return target->moveInto(source, name, errorCode);
    return moveEntry(source, targetFolder.child(name), errorCode);
}

bool moveBack(const NativePath& targetFolder, const NativePath& name, const NativePath& source,
              const platform::FolderHandle* target, qint64* errorCode)
{
    if (target && !moveOverride())
        return target->moveOut(name, source, errorCode);
    return moveEntry(targetFolder.child(name), source, errorCode);
}

// The text of an item's place in the target folder, for messages.
// Paths in the failure lines are in the system's own form (`\` on Windows).
QString destinationText(const NativePath& targetFolder, const iPackagable& item)
{
    return QDir::toNativeSeparators(QDir(targetFolder.toText()).absoluteFilePath(item.fileName()));
}

QString sourceText(const iPackagable& item)
{
    return QDir::toNativeSeparators(item.absoluteFilePath());
}

QString moveFailedLine(const QString& source, const QString& destination, qint64 errorCode)
{
    // One arg() call: a later one would also replace a "%1" inside a path.
    return QStringLiteral("Move failed. old:%1 new:%2 winError:%3.\r\n")
        .arg(source, destination, QString::number(errorCode));
}

} // namespace

void Packager::setMoveFunction(const MoveFunction& move)
{
    moveOverride() = move;
}

bool Packager::movePackage(const QDir& targetDir, const PackagePtr& package)
{
    return movePackage(NativePath::fromText(targetDir.absolutePath()), package);
}

bool Packager::movePackage(const NativePath& targetFolder, const PackagePtr& package,
                           const ChildIdentities* scanned, const Progress& progress,
                           const platform::FolderHandle* target)
{
    errorString_.clear();
    leftItemsBehind_ = false;
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
        const NativePath source = item->nativeFilePath();
        if (scanned && !checkScanned(*item, *scanned, targetFolder))
            break;
        qint64 errorCode = 0;
        if (!moveIn(source, targetFolder, item->nativeFileName(), target, &errorCode)) {
            errorString_ = moveFailedLine(sourceText(*item), destinationText(targetFolder, *item), errorCode);
            break;
        }
        moved.append(item);
        if (progress)
            progress(moved.size(), package->items.size());
    }
    if (errorString_.isEmpty())
        return true;
    undo(moved, targetFolder, progress, package->items.size(), target);
    return false;
}

bool Packager::checkScanned(const iPackagable& item, const ChildIdentities& scanned, const NativePath& targetFolder)
{
    FileIdentity recorded;
    if (!scanned.find(&item, &recorded))
        return true; // nothing recorded: a tree built without the disk
    FileIdentity identity;
    EntryKind kind = EntryKind::Other;
    qint64 size = 0;
    qint64 errorCode = 0;
    if (!platform::identityOf(item.nativeFilePath(), &identity, &kind, &size, &errorCode)) {
        errorString_ = moveFailedLine(sourceText(item), destinationText(targetFolder, item), errorCode);
        return false;
    }
    if (identity != recorded) {
        errorString_ = QStringLiteral("Item replaced since the scan. path:%1.\r\n").arg(sourceText(item));
        return false;
    }
    // A link's scanned size is its target's, and a folder's is its
    // contents': only a regular file's own size can be compared.
    const auto* file = dynamic_cast<const FileNode*>(&item);
    if (file && kind == EntryKind::File && size != file->size()) {
        errorString_ = QStringLiteral("Item size changed since the scan. path:%1 scanned:%2 now:%3.\r\n")
                           .arg(sourceText(item), QString::number(file->size()), QString::number(size));
        return false;
    }
    return true;
}

void Packager::undo(const QList<PackagablePtr>& moved, const NativePath& targetFolder, const Progress& progress,
                    int total, const platform::FolderHandle* target)
{
    int left = moved.size();
    // In the order of the moves. The failing item never moved, so this
    // covers exactly what this call moved. An item that cannot go back stays
    // in the package folder; it is named so that it is not lost from sight.
    for (const PackagablePtr& item : moved) {
        qint64 errorCode = 0;
        if (!moveBack(targetFolder, item->nativeFileName(), item->nativeFilePath(), target, &errorCode)) {
            errorString_ += QStringLiteral("Move back failed. old:%1 new:%2 winError:%3.\r\n")
                                .arg(sourceText(*item), destinationText(targetFolder, *item),
                                     QString::number(errorCode));
            leftItemsBehind_ = true;
            continue;
        }
        if (progress)
            progress(--left, total);
    }
}

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
