#include "ListedPaths.h"

namespace korvo {

bool ListedPaths::mark(const QByteArray& path, int* index)
{
    *index = files_.indexOf(path);
    if (*index < 0)
        return elsewhere_.insert(path);
    const bool before = listed_[size_t(*index)];
    listed_[size_t(*index)] = true;
    return !before;
}

} // namespace korvo
