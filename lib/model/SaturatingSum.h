#pragma once

#include <QtGlobal>

#include <limits>

namespace korvo {

// Byte counts add up to at most the largest qint64 instead of wrapping
// around: sparse files can claim sizes whose sum no 64-bit count holds, and
// a wrapped sum would turn negative. Sizes are never negative, so only the
// upper end can be reached.
inline qint64 addSaturating(qint64 a, qint64 b)
{
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    constexpr qint64 smallest = std::numeric_limits<qint64>::min();
    if (b > 0 && a > largest - b)
        return largest;
    if (b < 0 && a < smallest - b)
        return smallest;
    return a + b;
}

// True when a sum stands for "this much or more": it saturated, and an exact
// figure can only come from adding its parts again.
inline bool isSaturated(qint64 sum)
{
    return sum == std::numeric_limits<qint64>::max();
}

} // namespace korvo
