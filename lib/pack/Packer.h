#pragma once

#include "DirectoryNode.h"
#include "Package.h"
#include "PackageOrder.h"

#include <QList>

namespace korvo {

// The pack room: a scanned folder's top-level items become packages whose
// size on disk stays within a package order's limit, by best fit, in one
// of four sort orders (the strategies are in PackingStrategies) or in the
// fewest packages a search finds (FewestPackages). It reads the tree only,
// on the caller's thread.

// How the packer orders and places the top-level items; the values are the
// indexes of the packaging dialog's sort list.
enum PackSort {
    Assorted = 0,       // as listed, best fit
    SizeAscending = 1,  // by totalSize(), next fit
    SizeDescending = 2,
    NameAscending = 3,  // by fileName(), next fit
    NameDescending = 4,
    Fewest = 5          // the fewest packages found, never more than best fit
};

namespace Packer {

// The packages of the root's own files and folders whose size on disk fits
// the order's limit (`packages` is cleared first); an item larger than the
// limit is in none.
void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages);

} // namespace Packer
} // namespace korvo
