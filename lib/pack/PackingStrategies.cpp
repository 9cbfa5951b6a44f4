#include "PackingStrategies.h"

#include "Packer.h"
#include "RelativePath.h"

#include <algorithm>
#include <numeric>

#include <QStringView>

namespace korvo::packing {

namespace {

// A name the name sorts compare: the folder part of a piece's path below
// the root (empty for a top-level item) and its own name, compared as the
// joined text would be by QString's operator<, without joining them. The
// first eight UTF-16 code units of the text are packed into two words, so
// that comparing two packs agrees with that order whenever the packs differ
// (a missing unit counts as 0: below every unit, or equal to a NUL unit, in
// which case the full texts decide).
struct NameKey
{
    quint64 high = 0;
    quint64 low = 0;
    QString folder; // shared by the pieces of one folder
    QString name;

    NameKey(const QString& folderPart, const QString& ownName) : folder(folderPart), name(ownName)
    {
        for (int i = 0; i < 8; ++i) {
            const int inName = i - folder.size();
            const quint64 unit = inName < 0              ? quint64(folder.at(i).unicode())
                                 : inName < name.size() ? quint64(name.at(inName).unicode())
                                                         : 0;
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
        if (folder.constData() == other.folder.constData()) // one folder's pieces, or top-level items
            return name < other.name;
        return joinedLess(other);
    }

private:
    bool joinedLess(const NameKey& other) const
    {
        QStringView mine[2] = {folder, name};
        QStringView theirs[2] = {other.folder, other.name};
        int m = 0, t = 0;
        for (;;) {
            while (m < 2 && mine[m].isEmpty())
                ++m;
            while (t < 2 && theirs[t].isEmpty())
                ++t;
            if (m == 2 || t == 2)
                return m == 2 && t < 2; // the shorter text comes first
            const qsizetype common = qMin(mine[m].size(), theirs[t].size());
            const int order = mine[m].left(common).compare(theirs[t].left(common));
            if (order != 0)
                return order < 0;
            mine[m] = mine[m].mid(common);
            theirs[t] = theirs[t].mid(common);
        }
    }
};

// The names the name sorts order the candidates by. A piece's name is its
// path below the root; the split lists the pieces one folder holds one after
// the other, so the folder part of a path is made once for each such run
// and shared by the run's keys.
std::vector<NameKey> nameKeys(const std::vector<Candidate>& candidates, const Sources& sources)
{
    std::vector<NameKey> keys;
    keys.reserve(candidates.size());
    FolderPath holder;
    QString prefix;
    for (const Candidate& candidate : candidates) {
        const iPackagable* piece = sources.piece(candidate.source);
        if (!piece) {
            keys.emplace_back(QString(), sources.fileName(candidate.source));
            continue;
        }
        const QString name = piece->fileName();
        const FolderPath folder = RelativePath::holderOf(*piece);
        if (holder.isNull() || !folder.isSameLevel(holder)) {
            const QString path = RelativePath::textOf(sources.root(), *piece);
            holder = folder;
            prefix = path.left(path.size() - name.size());
        }
        keys.emplace_back(prefix, name);
    }
    return keys;
}

} // namespace

QString Sources::fileName(int source) const
{
    if (split_)
        return RelativePath::textOf(root_.path(), *pieces_.at(source));
    if (source < files_.size())
        return files_.at(source)->fileName();
    return folders_.at(source - files_.size())->fileName();
}

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
        order[size_t(i)] = {candidates[size_t(i)].weight, -i}; // -i: later positions first among equals
    std::sort(order.begin(), order.end());
    // The weights alone, for compact binary searches, and beside them what
    // a placement needs, gathered in one streaming pass.
    struct Placed
    {
        qint64 size;
        qint64 sizeOnDisk;
        int source;
    };
    std::vector<qint64> keys(size_t(count), 0);
    std::vector<Placed> placed(size_t(count), {0, 0, 0});
    for (int i = 0; i < count; ++i) {
        const Candidate& candidate = candidates[size_t(-order[size_t(i)].second)];
        keys[size_t(i)] = order[size_t(i)].first;
        placed[size_t(i)] = {candidate.size, candidate.sizeOnDisk, candidate.source};
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
            const qint64 room = limit - builder.weight();
            // The last position whose weight is at most the room.
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
        builder.add(sources.item(item.source), item.size, item.sizeOnDisk, keys[size_t(found)]);
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
        if (candidate.weight > limit - builder.weight())
            builder.close();
        builder.add(sources.item(candidate.source), candidate.size, candidate.sizeOnDisk, candidate.weight);
    }
}

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
        const std::vector<NameKey> keys = nameKeys(candidates, sources);
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

} // namespace korvo::packing
