#pragma once

#include "iPackagable.h"

#include <QList>

class QTreeWidget;

namespace korvo {

// The items a packing put in no package (each alone exceeds the limit), as
// greyed rows below the package rows: one row that counts them, spanning
// the columns, and under it one row per item with its name and size on
// disk. The rows are disabled, so no check operation counts them.
namespace LeftOutRows {

// Appends the rows for `items` (none when it is empty).
void add(QTreeWidget* tree, const QList<PackagablePtr>& items);

} // namespace LeftOutRows
} // namespace korvo
