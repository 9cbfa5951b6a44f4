#pragma once

#include "Sha256.h"

#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace korvo {

// A set of paths that keeps 16 bytes a path: each path's 128-bit keyed
// digest (SHA-256 of a secret drawn anew for each set, then the path). As
// no one knows the secret, no list of paths can be made to collide on
// purpose; two of n different paths share a key with a chance below
// n * n / 2^129, under 1e-24 for the 16 million lines a manifest can hold.
class PathKeySet
{
public:
    PathKeySet();

    // Adds the path; false when it was there already.
    bool insert(const QByteArray& path);

private:
    struct Key
    {
        quint64 high = 0;
        quint64 low = 0;
        bool operator<(const Key& other) const { return high != other.high ? high < other.high : low < other.low; }
        bool operator==(const Key& other) const { return high == other.high && low == other.low; }
    };

    Key keyOf(const QByteArray& path);
    bool contains(const Key& key) const;
    void merge();

    QByteArray secret_;
    Sha256 sha_;
    std::vector<Key> sorted_;
    std::vector<Key> recent_; // sorted as well, merged into sorted_ when full
};

} // namespace korvo
