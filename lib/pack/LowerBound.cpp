#include "LowerBound.h"

#include <algorithm>
#include <functional>

namespace korvo {

namespace packing {

namespace {

// Sums of many sizes can pass 64 bits.
__extension__ typedef __int128 Wide;

} // namespace

// For each threshold a (0, and every size at most half the limit), the
// items above limit - a need a package each; so do those above half the
// limit, and what the items from a to half the limit weigh beyond the room
// those packages leave needs whole packages more. The largest count wins.
int lowerBoundOfGroups(const std::vector<qint64>& sizes, const std::vector<qint64>& counts, qint64 limit)
{
    const size_t groups = sizes.size();
    // count[i] and sum[i]: the items of the groups before i (all larger).
    std::vector<Wide> count(groups + 1, 0);
    std::vector<Wide> sum(groups + 1, 0);
    for (size_t i = 0; i < groups; ++i) {
        count[i + 1] = count[i] + counts[i];
        sum[i + 1] = sum[i] + Wide(sizes[i]) * counts[i];
    }
    if (count[groups] == 0)
        return 0;
    if (limit <= 0)
        return 1; // every item is empty: one package holds them all
    // The first group whose size is at most `bytes`.
    auto atMost = [&sizes](qint64 bytes) {
        return size_t(std::lower_bound(sizes.begin(), sizes.end(), bytes, std::greater<qint64>()) - sizes.begin());
    };
    const qint64 half = limit / 2;
    const size_t small = atMost(half); // groups from here fit twice
    Wide best = (sum[groups] + limit - 1) / limit;
    auto consider = [&](qint64 a, size_t from) {
        const size_t large = atMost(limit - a); // before it: above limit - a
        const Wide alone = count[large];
        const Wide halves = count[small] - count[large];
        const Wide room = halves * limit - (sum[small] - sum[large]);
        const Wide rest = sum[from] - sum[small] - room;
        const Wide needed = alone + halves + (rest > 0 ? (rest + limit - 1) / limit : 0);
        best = std::max(best, needed);
    };
    consider(0, groups);
    for (size_t i = small; i < groups; ++i) {
        if (sizes[i] > 0)
            consider(sizes[i], i + 1);
    }
    return int(std::max<Wide>(best, 1));
}

int lowerBound(std::vector<qint64> sizes, qint64 limit)
{
    std::sort(sizes.begin(), sizes.end(), std::greater<qint64>());
    std::vector<qint64> distinct;
    std::vector<qint64> counts;
    for (const qint64 size : sizes) {
        if (distinct.empty() || distinct.back() != size) {
            distinct.push_back(size);
            counts.push_back(0);
        }
        ++counts.back();
    }
    return lowerBoundOfGroups(distinct, counts, limit);
}

} // namespace packing

} // namespace korvo
