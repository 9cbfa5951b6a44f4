#pragma once

#include "FolderPath.h"
#include "iPackagable.h"

#include <QList>

class QTreeWidget;

namespace korvo {

// The items a packing put in no package (each alone exceeds the limit), as
// greyed rows below the package rows: one row that counts them, spanning
// the columns, and under it one row per item with its path below the
// scanned folder and its size on disk (PackageRows::itemText). The rows are disabled, so no check operation counts them.
namespace LeftOutRows {

// Appends the rows for `items` of the tree scanned at `top` (none when it
// is empty).
void add(QTreeWidget* tree, const QList<PackagablePtr>& items, const FolderPath& top);

} // namespace LeftOutRows
} // namespace korvo
