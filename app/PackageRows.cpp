#include "PackageRows.h"

#include "MoveTexts.h"
#include "RelativePath.h"
#include "SizeFormat.h"

#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace korvo::PackageRows {

QString itemText(const FolderPath& top, const iPackagable& item)
{
    return MoveTexts::leftOutItem(RelativePath::textOf(top, item), item.totalSizeOnDisk());
}

QList<QTreeWidgetItem*> packageRows(const QList<PackagePtr>& packages, int from, int to)
{
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qMax(0, to - from));
    for (int i = from; i < to; ++i) {
        auto* row = new QTreeWidgetItem;
        row->setCheckState(0, Qt::Checked);
        row->setText(0, QString::number(i + 1));
        row->setText(1, formatSize(packages.at(i)->size));
        row->setText(2, formatSize(packages.at(i)->sizeOnDisk));
        // Unfoldable before its item rows exist.
        row->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        rows << row;
    }
    return rows;
}

bool addItemRows(QTreeWidgetItem* row, const Package& package, int count)
{
    const int from = row->childCount();
    const int to = qMin(package.items.size(), from + count);
    QList<QTreeWidgetItem*> items;
    items.reserve(qMax(0, to - from));
    for (int i = from; i < to; ++i) {
        auto* itemRow = new QTreeWidgetItem;
        itemRow->setText(0, itemText(package.scannedFolder, *package.items.at(i)));
        itemRow->setToolTip(0, itemRow->text(0));
        items << itemRow;
    }
    row->addChildren(items);
    spanItemRows(row, from);
    return to < package.items.size();
}

void addItemRowsInBatches(QTreeWidget* tree, const QList<PackagePtr>& packages, int index)
{
    const PackagePtr package = packages.value(index);
    QTreeWidgetItem* row = tree->topLevelItem(index);
    if (!package || !row || !addItemRows(row, *package, RowsPerBatch))
        return;
    // The rest on later turns of the event loop, while the same packing is
    // shown (a new one replaces the rows and the packages).
    QTimer::singleShot(0, tree, [tree, &packages, index, package] {
        if (packages.value(index) == package)
            addItemRowsInBatches(tree, packages, index);
    });
}

void spanItemRows(QTreeWidgetItem* row, int from)
{
    // Spanning is a property of an item in its tree: set once it is there.
    // Set by row number below the row's index, as an item's own call looks
    // for the item among its siblings first, which took seconds for 100,000.
    QTreeWidget* tree = row->treeWidget();
    const QModelIndex parent = tree->model()->index(tree->indexOfTopLevelItem(row), 0);
    for (int i = from; i < row->childCount(); ++i)
        tree->setFirstColumnSpanned(i, parent, true);
}

} // namespace korvo::PackageRows
