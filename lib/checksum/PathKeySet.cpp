#include "PathKeySet.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

namespace korvo {

namespace {

// Inserting into the small sorted list moves at most this many keys; a
// merge into the large one then moves each key once.
const size_t RecentSize = 1024;

} // namespace

PathKeySet::PathKeySet() : secret_(32, Qt::Uninitialized)
{
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(secret_.data()), secret_.size() / 4);
    recent_.reserve(RecentSize);
}

PathKeySet::Key PathKeySet::keyOf(const QByteArray& path)
{
    sha_.addData(secret_.constData(), secret_.size());
    sha_.addData(path.constData(), path.size());
    const QByteArray digest = sha_.result();
    Key key;
    std::memcpy(&key.high, digest.constData(), 8);
    std::memcpy(&key.low, digest.constData() + 8, 8);
    return key;
}

bool PathKeySet::contains(const Key& key) const
{
    return std::binary_search(sorted_.cbegin(), sorted_.cend(), key) ||
           std::binary_search(recent_.cbegin(), recent_.cend(), key);
}

bool PathKeySet::insert(const QByteArray& path)
{
    const Key key = keyOf(path);
    if (contains(key))
        return false;
    recent_.insert(std::upper_bound(recent_.begin(), recent_.end(), key), key);
    if (recent_.size() == RecentSize)
        merge();
    return true;
}

// Merges from the back, in place: no second copy of the large list.
void PathKeySet::merge()
{
    size_t old = sorted_.size();
    size_t added = recent_.size();
    sorted_.resize(old + added);
    for (size_t to = old + added; added > 0;) {
        if (old > 0 && recent_[added - 1] < sorted_[old - 1])
            sorted_[--to] = sorted_[--old];
        else
            sorted_[--to] = recent_[--added];
    }
    recent_.clear();
}

} // namespace korvo
