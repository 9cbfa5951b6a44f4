#pragma once

#include "DirectoryNode.h"
#include "Package.h"
#include "PackageOrder.h"

#include <QDir>
#include <QList>
#include <QString>

namespace korvo {

// How pack() orders and places the top-level items; the values are the
// indexes of the packaging dialog's sort list.
enum PackSort {
    Assorted = 0,       // as listed, best fit
    SizeAscending = 1,  // by totalSize(), next fit
    SizeDescending = 2,
    NameAscending = 3,  // by fileName(), next fit
    NameDescending = 4
};

// Packs a scanned folder's top-level items and moves packages on disk.
class Packager
{
public:
    Packager() = default;

    // Fills `packages` (cleared first) with the root's own files and folders
    // whose size on disk fits the order's limit. Always succeeds.
    bool pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root,
              QList<PackagePtr>& packages);

    // Moves every item of the package into `targetDir` (an existing folder),
    // all or nothing: on the first failure the items already moved go back
    // and errorString() holds the line "Move failed. old:%1 new:%2
    // winError:%3.\r\n" with both paths and the system's error code. Should
    // an item fail to go back, a line "Move back failed. ..." with its old
    // and its present path follows for each such item.
    bool movePackage(const QDir& targetDir, const PackagePtr& package);

    QString errorString() const { return errorString_; }

private:
    QString errorString_;
};

// A root node describing a package in its new folder, for its XML listing.
DirectoryNodePtr makePackageNode(const QDir& targetDir, const PackagePtr& package);

} // namespace korvo
