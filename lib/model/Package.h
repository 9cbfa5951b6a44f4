#pragma once

#include "PackageOrder.h"
#include "iPackagable.h"

#include <QList>
#include <QSharedPointer>

namespace korvo {

// One package of a packing: items of the scanned folder's top level whose
// sizes on disk add up to no more than the order's limit.
struct Package
{
    qint64 size = 0;       // sum of totalSize() over the items
    qint64 sizeOnDisk = 0; // sum of totalSizeOnDisk() over the items
    qint64 weight = 0;     // what it takes of the limit: its size on disk, or the most its image takes
    PackageOrder packageOrder;
    QList<PackagablePtr> items; // the very nodes of the scanned tree, in order added
};

using PackagePtr = QSharedPointer<Package>;

} // namespace korvo
