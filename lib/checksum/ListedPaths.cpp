#include "ListedPaths.h"

#include "NameCase.h"

namespace korvo {

namespace {

QString foldedPath(const QByteArray& path)
{
    return platform::caseFoldedName(QString::fromUtf8(path));
}

} // namespace

ListedPaths::ListedPaths(const FileList& files, bool ignoreCase)
    : files_(files), listed_(size_t(files.count()), false), ignoreCase_(ignoreCase)
{
    if (!ignoreCase_)
        return;
    folded_.reserve(files.count());
    // From the last to the first, so that the first of a folded path stays.
    for (int i = files.count() - 1; i >= 0; --i)
        folded_[foldedPath(files.relativePath(i))] = i;
}

bool ListedPaths::mark(const QByteArray& path, int* index)
{
    *index = files_.indexOf(path);
    if (*index < 0 && ignoreCase_)
        *index = folded_.value(foldedPath(path), -1);
    if (*index < 0)
        return elsewhere_.insert(ignoreCase_ ? foldedPath(path).toUtf8() : path);
    const bool before = listed_[size_t(*index)];
    listed_[size_t(*index)] = true;
    return !before;
}

} // namespace korvo
