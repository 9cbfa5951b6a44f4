#pragma once

#include "TestSupport.h"

#include "DirectoryNode.h"
#include "FileNode.h"
#include "NodeTimes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace korvo::test {

// Builds node trees in memory, with any paths and figures, for tests that
// need exact values (drive-letter paths, fixed times, odd names).
class TreeBuilder
{
public:
    // A root folder at `absoluteFilePath`, e.g. "C:/data/R" or "C:/".
    static DirectoryNodePtr root(const QString& absoluteFilePath, const NodeTimes& times = NodeTimes());
    // A subfolder appended to `parent`.
    static DirectoryNodePtr folder(const DirectoryNodePtr& parent, const QString& name,
                                   const NodeTimes& times = NodeTimes());
    // A file appended to `parent`; its size on disk is rounded up to
    // `cluster` bytes.
    static FileNodePtr file(const DirectoryNodePtr& parent, const QString& name, qint64 size,
                            qint64 cluster = 4096, const NodeTimes& times = NodeTimes());
    // A file appended to `parent` that lies in the parent's own path level,
    // as a scan places it, so that its path below any folder above it is
    // known (pieces of split folders are told by that path).
    static FileNodePtr fileIn(const DirectoryNodePtr& parent, const QString& name, qint64 size, qint64 cluster = 4096);
    // Sets every folder's own sizes and totals from its files and subfolders.
    static void total(const DirectoryNodePtr& root);

    // Root R at C:/data/R holding a.txt (1,024 bytes), b.txt (2,048), X with
    // c.txt (512) and an empty Y; clusters of 4,096 bytes.
    static DirectoryNodePtr example(const NodeTimes& times = NodeTimes());
    // A chain of `depth` nested folders named "d" below a root, each holding
    // one file "f"; every node gives "/deep" as its folder path.
    static DirectoryNodePtr chain(int depth);
    // Drops `root` and frees its tree parents first, so that no node is freed
    // from inside its parent's destructor however deep the tree is.
    static void release(DirectoryNodePtr& root);
};

// Node times all at the given local time.
NodeTimes timesAt(const QDateTime& local);

} // namespace korvo::test
