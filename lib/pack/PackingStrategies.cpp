#include "PackingStrategies.h"

#include "Packer.h"
#include "RelativePath.h"

#include <algorithm>
#include <numeric>

namespace korvo::packing {

namespace {

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

} // namespace korvo::packing
