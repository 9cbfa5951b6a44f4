#include "LibraryDialog.h"

#include "LibraryDetailDialog.h"
#include "ui_LibraryDialog.h"

#include <QTreeWidgetItem>

namespace korvo {

LibraryDialog::LibraryDialog(QWidget* parent) : QDialog(parent), ui(new Ui::LibraryDialog)
{
    ui->setupUi(this);
    setFixedSize(size());

    for (int i = 0; i < libraryCount(); ++i) {
        auto* item = new QTreeWidgetItem(ui->treeWidget);
        item->setText(0, libraryName(i));
    }
    connect(ui->treeWidget, &QTreeWidget::clicked, this, &LibraryDialog::onClicked);
    connect(ui->detailPushButton, &QPushButton::clicked, this, &LibraryDialog::onDetailBottonClicked);
}

LibraryDialog::~LibraryDialog() = default;

void LibraryDialog::onClicked(QModelIndex index)
{
    ui->detailPushButton->setEnabled(index.isValid());
}

void LibraryDialog::onDetailBottonClicked()
{
    QModelIndex index = ui->treeWidget->currentIndex();
    if (!index.isValid())
        return;
    if (index.column() != 0) {
        index = index.sibling(index.row(), 0);
        if (!index.isValid())
            return;
    }
    const QVariant name = index.data(Qt::DisplayRole);
    if (!name.isValid() || !name.canConvert<QString>())
        return;
    for (int i = 0; i < libraryCount(); ++i) {
        if (name.toString() == libraryName(i)) {
            LibraryDetailDialog dialog(this);
            dialog.libraryIndex = i;
            dialog.updateText();
            dialog.exec();
            return;
        }
    }
}

} // namespace korvo
