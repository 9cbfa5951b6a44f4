#pragma once

#include "FolderPath.h"
#include "Package.h"
#include "iPackagable.h"

#include <QList>
#include <QString>

class QTreeWidgetItem;

namespace korvo {

// The rows of the packaging dialog's package list: one checkable row per
// package, with its number and sizes, that unfolds to one row per item.
// An item is named by its path below the scanned folder, so a piece of a
// split folder reads "Photos/2019/IMG_0001.jpg", not just its name.
namespace PackageRows {

// An item's text: its path below `top` and its size on disk.
QString itemText(const FolderPath& top, const iPackagable& item);

// The rows of packages [from, to), numbered from 1, checked. Their item
// rows are made when a row is first unfolded (addItemRows): a long list of
// packages need not make a row for every item it holds.
QList<QTreeWidgetItem*> packageRows(const QList<PackagePtr>& packages, int from, int to);

// Gives the row of `package`, which must be in its tree, its item rows,
// unless it has them already.
void addItemRows(QTreeWidgetItem* row, const Package& package);

// Lets the item rows below the top-level `row` span the columns.
void spanItemRows(QTreeWidgetItem* row);

} // namespace PackageRows
} // namespace korvo
