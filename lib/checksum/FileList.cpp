#include "FileList.h"

#include "PathOrder.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace korvo {

QByteArray FileList::relativePath(int index) const
{
    const qint64 begin = index == 0 ? 0 : ends_[size_t(index) - 1];
    return QByteArray(paths_.data() + begin, int(ends_[size_t(index)] - begin));
}

void FileList::append(const QByteArray& relativePath, qint64 size, bool regular)
{
    paths_.insert(paths_.end(), relativePath.cbegin(), relativePath.cend());
    ends_.push_back(qint64(paths_.size()));
    kinds_.push_back(regular ? 1 : 0);
    if (regular)
        totalSize_ += size;
}

bool FileList::less(int a, const char* path, size_t length) const
{
    const qint64 begin = a == 0 ? 0 : ends_[size_t(a) - 1];
    return pathLess(paths_.data() + begin, size_t(ends_[size_t(a)] - begin), path, length);
}

void FileList::finish()
{
    sorted_.clear();
    // On Linux a sorted walk is already in lookup order; on Windows names
    // are sorted as UTF-16, which orders a few characters otherwise; an
    // image's entries come in any order. Equal paths keep theirs.
    bool inOrder = true;
    for (int i = 1; i < count() && inOrder; ++i) {
        const QByteArray path = relativePath(i);
        inOrder = less(i - 1, path.constData(), size_t(path.size()));
    }
    if (inOrder)
        return;
    sorted_.resize(size_t(count()));
    std::iota(sorted_.begin(), sorted_.end(), 0);
    std::stable_sort(sorted_.begin(), sorted_.end(), [this](int a, int b) {
        const QByteArray path = relativePath(b);
        return less(a, path.constData(), size_t(path.size()));
    });
}

int FileList::indexOf(const QByteArray& relativePath) const
{
    const char* const path = relativePath.constData();
    const size_t length = size_t(relativePath.size());
    int low = 0;
    int high = count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (less(sorted_.empty() ? middle : sorted_[size_t(middle)], path, length))
            low = middle + 1;
        else
            high = middle;
    }
    if (low == count())
        return -1;
    const int found = sorted_.empty() ? low : sorted_[size_t(low)];
    const qint64 begin = found == 0 ? 0 : ends_[size_t(found) - 1];
    const bool same = size_t(ends_[size_t(found)] - begin) == length &&
                      std::memcmp(paths_.data() + begin, path, length) == 0;
    return same ? found : -1;
}

} // namespace korvo
