#pragma once

#include "FolderPath.h"
#include "Package.h"
#include "iPackagable.h"

#include <QList>
#include <QString>

class QTreeWidget;
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

// How many rows are made on one turn of the event loop: a package of a
// hundred thousand pieces fills its rows without holding the window.
const int RowsPerBatch = 2000;

// Gives the row of `package`, which must be in its tree, up to `count` more
// of its item rows; true while some are still to come.
bool addItemRows(QTreeWidgetItem* row, const Package& package, int count);

// Gives the top-level row `index` of the tree the item rows of package
// `index` of `packages` (which outlives the tree), a batch on each turn of
// the event loop for as long as that package is still shown there.
void addItemRowsInBatches(QTreeWidget* tree, const QList<PackagePtr>& packages, int index);

// Lets the item rows below the top-level `row` span the columns, from row
// `from` on.
void spanItemRows(QTreeWidgetItem* row, int from = 0);

} // namespace PackageRows
} // namespace korvo
