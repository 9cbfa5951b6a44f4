#pragma once

#include "FolderPath.h"
#include "PackageOrder.h"
#include "iPackagable.h"

#include <QList>
#include <QSharedPointer>

namespace korvo {

// One package of a packing: items of the scanned folder whose sizes on disk
// add up to no more than the order's limit. The items are its top-level
// files and folders, and, where folders are split, pieces of those folders
// at any depth, each keeping its path below the scanned folder.
struct Package
{
    qint64 size = 0;       // sum of totalSize() over the items
    qint64 sizeOnDisk = 0; // sum of totalSizeOnDisk() over the items
    qint64 weight = 0;     // what it takes of the limit: its size on disk, or the most its image takes
    PackageOrder packageOrder;
    QList<PackagablePtr> items; // the very nodes of the scanned tree, in order added
    // The scanned folder the items' paths are relative to (RelativePath);
    // null when every item is a top-level one, known by its name alone.
    FolderPath scannedFolder;
};

using PackagePtr = QSharedPointer<Package>;

} // namespace korvo
