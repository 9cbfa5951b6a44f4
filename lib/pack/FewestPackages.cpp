#include "FewestPackages.h"

#include "LowerBound.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <limits>
#include <memory>

namespace korvo::packing {

namespace {

// Sums of many sizes can pass 64 bits.
__extension__ typedef __int128 Wide;

// The items left of each size group (groups by size, descending), with the
// sums of their sizes: a Fenwick tree, so that every count, sum and "next
// group with items left" the search asks for is a logarithmic step.
class ItemsLeft
{
public:
    ItemsLeft(const std::vector<qint64>& sizes, const std::vector<qint64>& counts)
        : sizes_(sizes), left_(counts), count_(sizes.size() + 1, 0), sum_(sizes.size() + 1, 0)
    {
        for (size_t g = 0; g < sizes.size(); ++g)
            change(int(g), counts[g], false);
        while (top_ * 2 <= int(sizes.size()))
            top_ *= 2;
    }

    const std::vector<qint64>& left() const { return left_; }
    qint64 left(int group) const { return left_[size_t(group)]; }
    qint64 total() const { return total_; }
    Wide totalSize() const { return totalSize_; }

    // Adds `delta` items (negative: takes them) to a group.
    void change(int group, qint64 delta, bool keep = true)
    {
        if (keep)
            left_[size_t(group)] += delta;
        const Wide bytes = Wide(sizes_[size_t(group)]) * delta;
        for (size_t i = size_t(group) + 1; i < count_.size(); i += i & (~i + 1)) {
            count_[i] += delta;
            sum_[i] += bytes;
        }
        total_ += delta;
        totalSize_ += bytes;
    }

    // The sizes of the items in the groups from `group` on.
    Wide sizeFrom(int group) const
    {
        Wide before = 0;
        for (size_t i = size_t(group); i > 0; i -= i & (~i + 1))
            before += sum_[i];
        return totalSize_ - before;
    }

    // The group of the item at `rank` (0: the largest item left); -1 past the last.
    int groupOfItem(qint64 rank) const
    {
        if (rank < 0 || rank >= total_)
            return -1;
        size_t position = 0;
        for (int step = top_; step > 0; step /= 2) {
            const size_t next = position + size_t(step);
            if (next < count_.size() && count_[next] <= rank) {
                position = next;
                rank -= count_[next];
            }
        }
        return int(position);
    }

    // The first group from `group` on with an item left; -1 if none.
    int firstFrom(int group) const
    {
        qint64 before = 0;
        for (size_t i = size_t(group); i > 0; i -= i & (~i + 1))
            before += count_[i];
        return groupOfItem(before);
    }

private:
    const std::vector<qint64>& sizes_;
    std::vector<qint64> left_;
    std::vector<qint64> count_;
    std::vector<Wide> sum_;
    qint64 total_ = 0;
    Wide totalSize_ = 0;
    int top_ = 1;
};

// A depth-first search for a packing of fewer bins than the best so far.
// Each bin starts with the largest item left and is completed by taking,
// group by group from the largest, as many of each as fit and then fewer;
// a bin must end so full that no item left out of it would still fit (some
// packing of the fewest bins has only such bins). A bin whose largest item
// is filled exactly by one other, or can take only one other, takes the
// largest that fits with no alternative. Branches end where the room wasted
// so far or the lower bound of the items left rules out a better packing.
class Search
{
public:
    Search(const std::vector<qint64>& sizes, qint64 limit, const SearchLimits& limits, int seedBins, int lower);

    // Searches until no better packing can exist (true) or the time is up
    // or a stop is asked for (false).
    bool run();
    bool improved() const { return !bestTakes_.empty(); }
    int best() const { return best_; }
    std::vector<int> bins() const;

private:
    struct Frame
    {
        enum Kind : quint8 { Anchor, Forced, Take, Close } kind;
        int group;
        qint64 count;
        // The state before this step.
        qint64 room;
        qint64 bound;
        int position;
    };
    struct Taken
    {
        int bin;
        int group;
        qint64 count;
    };
    static constexpr qint64 NoBound = std::numeric_limits<qint64>::max();

    bool startBin();
    void takeForced();
    bool extendBin();
    bool closeBin();
    bool backtrack();
    bool feasible() const;
    void push(Frame::Kind kind, int group, qint64 count);
    void record();
    int boundOfItemsLeft() const;
    int firstFitting(int from, qint64 room) const;
    Wide allowedWaste() const { return Wide(best_ - 1) * limit_ - totalSize_; }

    const SearchLimits& limits_;
    const qint64 limit_;
    std::vector<qint64> sizes_;  // of each group, descending
    std::vector<int> order_;     // the items by group, each group in listed order
    std::vector<int> groupStart_;
    std::unique_ptr<ItemsLeft> left_;
    Wide totalSize_ = 0;
    int best_;
    const int lower_;

    std::vector<Frame> frames_;
    std::vector<Taken> bestTakes_;
    bool inBin_ = false;
    qint64 room_ = 0;
    qint64 bound_ = NoBound; // the smallest size left out by choice: the bin must end below it
    int position_ = 0;       // the next group the bin may take from
    Wide waste_ = 0;
    int closed_ = 0;
    bool finished_ = false;
};

Search::Search(const std::vector<qint64>& sizes, qint64 limit, const SearchLimits& limits, int seedBins, int lower)
    : limits_(limits), limit_(limit), best_(seedBins), lower_(lower)
{
    order_.resize(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i)
        order_[i] = int(i);
    std::stable_sort(order_.begin(), order_.end(), [&sizes](int a, int b) { return sizes[size_t(a)] > sizes[size_t(b)]; });
    std::vector<qint64> counts;
    for (size_t i = 0; i < order_.size(); ++i) {
        const qint64 size = sizes[size_t(order_[i])];
        if (sizes_.empty() || sizes_.back() != size) {
            sizes_.push_back(size);
            counts.push_back(0);
            groupStart_.push_back(int(i));
        }
        ++counts.back();
        totalSize_ += size;
    }
    left_.reset(new ItemsLeft(sizes_, counts));
}

bool Search::run()
{
    QElapsedTimer clock;
    clock.start();
    bool descend = true;
    for (quint32 step = 1;; ++step) {
        if ((step & 4095) == 0
            && (clock.elapsed() >= limits_.milliseconds || (limits_.stopRequested && limits_.stopRequested())))
            return false;
        if (finished_)
            return true;
        if (descend) {
            descend = inBin_ ? extendBin() : startBin();
        } else {
            if (frames_.empty())
                return true;
            descend = backtrack();
        }
    }
}

// The first group from `from` on whose size is at most `room` and that has
// an item left; -1 if none.
int Search::firstFitting(int from, qint64 room) const
{
    const int fits = int(std::lower_bound(sizes_.begin(), sizes_.end(), room, std::greater<qint64>()) - sizes_.begin());
    const int start = std::max(from, fits);
    return start < int(sizes_.size()) ? left_->firstFrom(start) : -1;
}

void Search::push(Frame::Kind kind, int group, qint64 count)
{
    frames_.push_back({kind, group, count, room_, bound_, position_});
    if (kind != Frame::Close)
        left_->change(group, -count);
}

bool Search::startBin()
{
    if (left_->total() == 0) {
        record();
        finished_ = best_ <= lower_;
        return false;
    }
    if (closed_ + boundOfItemsLeft() >= best_)
        return false;
    const int anchor = left_->firstFrom(0);
    push(Frame::Anchor, anchor, 1);
    inBin_ = true;
    room_ = limit_ - sizes_[size_t(anchor)];
    bound_ = NoBound;
    position_ = anchor;
    takeForced();
    return true;
}

// An item that fills the room exactly, or the largest that fits when no two
// items left fit together: any packing can swap it into this bin.
void Search::takeForced()
{
    const int fit = firstFitting(position_, room_);
    if (fit < 0)
        return;
    bool forced = sizes_[size_t(fit)] == room_ || left_->total() < 2;
    if (!forced) {
        const qint64 total = left_->total();
        const Wide smallestTwo = Wide(sizes_[size_t(left_->groupOfItem(total - 1))])
                                 + sizes_[size_t(left_->groupOfItem(total - 2))];
        forced = smallestTwo > room_;
    }
    if (!forced)
        return;
    push(Frame::Forced, fit, 1);
    room_ -= sizes_[size_t(fit)];
    position_ = fit + 1;
}

bool Search::extendBin()
{
    const int group = firstFitting(position_, room_);
    if (group < 0)
        return closeBin();
    const qint64 size = sizes_[size_t(group)];
    const qint64 most = size == 0 ? left_->left(group) : std::min(left_->left(group), room_ / size);
    push(Frame::Take, group, most);
    room_ -= most * size;
    position_ = group + 1;
    return feasible();
}

bool Search::closeBin()
{
    if (room_ >= bound_ || waste_ + room_ > allowedWaste())
        return false;
    push(Frame::Close, -1, 0);
    waste_ += room_;
    ++closed_;
    inBin_ = false;
    return true;
}

// Undoes the last step, or takes one item fewer of its group; true when the
// search goes on from the changed step.
bool Search::backtrack()
{
    Frame& frame = frames_.back();
    if (frame.kind == Frame::Close) {
        waste_ -= frame.room;
        --closed_;
        inBin_ = true;
    } else {
        left_->change(frame.group, frame.count);
        if (frame.kind == Frame::Take && frame.count > 0) {
            --frame.count;
            left_->change(frame.group, -frame.count);
            room_ = frame.room - frame.count * sizes_[size_t(frame.group)];
            position_ = frame.group + 1;
            bound_ = sizes_[size_t(frame.group)]; // one of the group is left out and would fit
            return feasible();
        }
        if (frame.kind == Frame::Anchor)
            inBin_ = false;
    }
    room_ = frame.room;
    bound_ = frame.bound;
    position_ = frame.position;
    frames_.pop_back();
    return false;
}

// Whether the open bin can still end below its bound and within the waste
// allowed, taking every item left that might still fit.
bool Search::feasible() const
{
    const int fits = int(std::lower_bound(sizes_.begin(), sizes_.end(), room_, std::greater<qint64>()) - sizes_.begin());
    const Wide rest = left_->sizeFrom(std::max(position_, fits));
    const Wide lowest = std::max<Wide>(0, Wide(room_) - rest);
    return lowest < bound_ && waste_ + lowest <= allowedWaste();
}

int Search::boundOfItemsLeft() const
{
    // The fuller bound pays for small inputs; on large ones the sizes alone.
    if (sizes_.size() <= 512)
        return lowerBoundOfGroups(sizes_, left_->left(), limit_);
    return limit_ > 0 ? int((left_->totalSize() + limit_ - 1) / limit_) : 1;
}

void Search::record()
{
    best_ = closed_;
    bestTakes_.clear();
    int bin = -1;
    for (const Frame& frame : frames_) {
        if (frame.kind == Frame::Anchor)
            ++bin;
        if (frame.kind != Frame::Close && frame.count > 0)
            bestTakes_.push_back({bin, frame.group, frame.count});
    }
}

std::vector<int> Search::bins() const
{
    std::vector<int> bin(order_.size(), 0);
    std::vector<int> next = groupStart_;
    for (const Taken& taken : bestTakes_) {
        for (qint64 i = 0; i < taken.count; ++i)
            bin[size_t(order_[size_t(next[size_t(taken.group)]++)])] = taken.bin;
    }
    return bin;
}

// The packages of a packing, each its items in listed order, in the order
// of their first items.
std::vector<std::vector<int>> packagesOf(const BinPacking& packing)
{
    std::vector<std::vector<int>> packages(size_t(packing.binCount));
    for (size_t i = 0; i < packing.bin.size(); ++i)
        packages[size_t(packing.bin[i])].push_back(int(i));
    std::sort(packages.begin(), packages.end(),
              [](const std::vector<int>& a, const std::vector<int>& b) { return a.front() < b.front(); });
    return packages;
}

} // namespace

BinPacking fewestBins(const std::vector<qint64>& sizes, qint64 limit, const BinPacking& seed,
                      const SearchLimits& limits)
{
    BinPacking result = seed;
    const int lower = lowerBound(sizes, limit);
    if (seed.binCount <= lower) {
        result.proven = true;
        return result;
    }
    Search search(sizes, limit, limits, seed.binCount, lower);
    const bool ended = search.run();
    if (search.improved()) {
        result.bin = search.bins();
        result.binCount = search.best();
    }
    result.proven = ended || result.binCount <= lower;
    return result;
}

void placeFewest(const std::vector<Candidate>& candidates, const Sources& sources, qint64 limit,
                 PackageBuilder& builder)
{
    // Best fit's packages are the seed, and the result unless the search
    // finds fewer.
    QList<PackagePtr> bestFit;
    const PackageOrder scratch(limit, QString());
    PackageBuilder seedBuilder(scratch, 0, sources.root(), bestFit);
    placeBestFit(candidates, sources, limit, seedBuilder);
    if (!seedBuilder.isEmpty())
        seedBuilder.close();

    const int count = int(candidates.size());
    QHash<const iPackagable*, int> position;
    position.reserve(count);
    std::vector<qint64> sizes(size_t(count), 0);
    for (int i = 0; i < count; ++i) {
        position.insert(sources.item(candidates[size_t(i)].source).data(), i);
        sizes[size_t(i)] = candidates[size_t(i)].weight;
    }
    BinPacking seed;
    seed.bin.assign(size_t(count), 0);
    seed.binCount = bestFit.size();
    std::vector<std::vector<int>> packages(size_t(bestFit.size()));
    for (int p = 0; p < bestFit.size(); ++p) {
        for (const PackagablePtr& item : bestFit.at(p)->items) {
            const int i = position.value(item.data());
            seed.bin[size_t(i)] = p;
            packages[size_t(p)].push_back(i);
        }
    }

    SearchLimits limits;
    limits.stopRequested = [] { return QThread::currentThread()->isInterruptionRequested(); };
    const BinPacking found = fewestBins(sizes, limit, seed, limits);
    if (found.binCount < seed.binCount)
        packages = packagesOf(found);
    for (const std::vector<int>& package : packages) {
        for (const int i : package) {
            const Candidate& candidate = candidates[size_t(i)];
            builder.add(sources.item(candidate.source), candidate.size, candidate.sizeOnDisk, candidate.weight);
        }
        builder.close();
    }
}

} // namespace korvo::packing
