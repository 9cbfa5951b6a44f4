#pragma once

#include <QtGlobal>

#include <vector>

namespace korvo {

namespace packing {

// At least how many packages of `limit` bytes any packing of the items
// needs (the bound L2 of Martello and Toth, never below the sum of the
// sizes over the limit, rounded up). `sizes` are distinct and descending,
// `counts` how many items have each; every size is at most the limit.
int lowerBoundOfGroups(const std::vector<qint64>& sizes, const std::vector<qint64>& counts, qint64 limit);

// The same for a plain list of sizes, each at most the limit.
int lowerBound(std::vector<qint64> sizes, qint64 limit);

} // namespace packing

} // namespace korvo
