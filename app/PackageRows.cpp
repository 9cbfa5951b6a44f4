#include "PackageRows.h"

#include "MoveTexts.h"
#include "RelativePath.h"
#include "SizeFormat.h"

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

void addItemRows(QTreeWidgetItem* row, const Package& package)
{
    if (row->childCount() > 0 || package.items.isEmpty())
        return;
    QList<QTreeWidgetItem*> items;
    items.reserve(package.items.size());
    for (const PackagablePtr& item : package.items) {
        auto* itemRow = new QTreeWidgetItem;
        itemRow->setText(0, itemText(package.scannedFolder, *item));
        itemRow->setToolTip(0, itemRow->text(0));
        items << itemRow;
    }
    row->addChildren(items);
    spanItemRows(row);
}

void spanItemRows(QTreeWidgetItem* row)
{
    // Spanning is a property of an item in its tree: set once it is there.
    // Set by row number below the row's index, as an item's own call looks
    // for the item among its siblings first, which took seconds for 100,000.
    QTreeWidget* tree = row->treeWidget();
    const QModelIndex parent = tree->model()->index(tree->indexOfTopLevelItem(row), 0);
    for (int i = 0; i < row->childCount(); ++i)
        tree->setFirstColumnSpanned(i, parent, true);
}

} // namespace korvo::PackageRows
