#include "LeftOutRows.h"

#include "MoveTexts.h"
#include "PackageRows.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace korvo::LeftOutRows {

void add(QTreeWidget* tree, const QList<PackagablePtr>& items, const FolderPath& top)
{
    if (items.isEmpty())
        return;
    auto* head = new QTreeWidgetItem;
    head->setText(0, MoveTexts::leftOutLine(items.size()));
    head->setToolTip(0, head->text(0));
    head->setDisabled(true);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(items.size());
    for (const PackagablePtr& item : items) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, PackageRows::itemText(top, *item));
        row->setToolTip(0, row->text(0));
        row->setDisabled(true);
        rows << row;
    }
    head->addChildren(rows);
    tree->addTopLevelItem(head);
    // Spanning is a property of an item in its tree: set once it is there.
    head->setFirstColumnSpanned(true);
    PackageRows::spanItemRows(head);
    head->setExpanded(true);
}

} // namespace korvo::LeftOutRows
