#pragma once

#include "FileList.h"
#include "PathKeySet.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace korvo {

// Which of a walked folder's (or an image's) files a manifest has listed so
// far: a walked file is marked, a listed path that is not among the files
// is kept as its key, so that a path listed a second time is found either
// way in memory bounded by the files, not by the manifest. With
// `ignoreCase` (a folder on a file system that takes names differing only
// in case for one), a listed path finds the file whose path differs from it
// only in case, and two such listed paths are one path.
class ListedPaths
{
public:
    explicit ListedPaths(const FileList& files, bool ignoreCase = false);

    // Marks the path as listed: its index among the files (-1 when it is
    // not one of them), and false when it was listed before.
    bool mark(const QByteArray& path, int* index);
    bool isListed(int index) const { return listed_[size_t(index)]; }

private:
    const FileList& files_;
    std::vector<bool> listed_;
    PathKeySet elsewhere_;
    bool ignoreCase_;
    QHash<QString, int> folded_; // with ignoreCase_: each file's folded path, the first found
};

} // namespace korvo
