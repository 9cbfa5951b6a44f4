#pragma once

#include "DirectoryNode.h"
#include "Package.h"
#include "PackageOrder.h"

#include <QList>

#include <functional>

namespace korvo {

// The pack room: a scanned folder's top-level items (or, where folders are
// split, their pieces) become packages whose size on disk stays within a
// package order's limit, by best fit, in one
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

// What a package's items are weighed by against the limit. By default each
// item weighs its size on disk; a package that becomes an image weighs what
// its items take in the image, plus the image's fixed part.
struct PackMeasure
{
    std::function<qint64(const iPackagable& item)> weight; // empty: the size on disk
    qint64 fixed = 0;                                      // what every package takes besides its items
};

// Whether a folder that alone weighs more than the limit is left out whole,
// or split: replaced by its own files and subfolders, again and again,
// until every piece fits or is a single file larger than the limit.
enum class SplitFolders { No, Yes };

namespace Packer {

// The packages of the root's own files and folders that fit the order's
// limit (`packages` is cleared first); with `split`, of the pieces of the
// folders that do not fit as well, each keeping its path below the root.
// An item that alone weighs more than the limit is in none: `leftOut`, when
// given, receives those (cleared first), in listed order. Where names that
// differ only in case are one name (Windows), no package holds two such
// items.
void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut = nullptr, const PackMeasure& measure = PackMeasure(),
          SplitFolders split = SplitFolders::No);
// The same for a target that takes names differing only in case for one
// (`namesIgnoreCase`) or not, whatever this system's file systems do.
void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut, const PackMeasure& measure, bool namesIgnoreCase,
          SplitFolders split = SplitFolders::No);

// At least how many packages any packing of the items pack places needs
// (LowerBound), weighed by the same measure.
int lowerBound(const PackageOrder& packageOrder, const DirectoryNodePtr& root,
               const PackMeasure& measure = PackMeasure(), SplitFolders split = SplitFolders::No);

} // namespace Packer
} // namespace korvo
