#include "PackageSizeEditDialog.h"

#include "SizeFormat.h"
#include "ui_PackageSizeEditDialog.h"

#include <QListWidgetItem>
#include <QRegularExpression>

namespace korvo {

PackageSizeEditDialog::PackageSizeEditDialog(QWidget* parent)
    : QDialog(parent), form(new Ui::PackageSizeEditDialog)
{
    form->setupUi(this);
    setFixedSize(size());
    form->pushButtonItemRemove->setEnabled(false);
    form->groupBoxProperty->setEnabled(false);

    connect(form->listWidget, &QListWidget::currentItemChanged, this,
            &PackageSizeEditDialog::onCurrentItemChanged);
    connect(form->pushButtonItemAdd, &QPushButton::clicked, this, &PackageSizeEditDialog::triggerItemAdd);
    connect(form->pushButtonItemRemove, &QPushButton::clicked, this, &PackageSizeEditDialog::triggerItemRemove);
    connect(form->lineEditSize, &QLineEdit::textChanged, this, &PackageSizeEditDialog::updateSizeFormatLabel);
}

PackageSizeEditDialog::~PackageSizeEditDialog()
{
    delete form;
}

void PackageSizeEditDialog::setOrders(const QList<PackageOrder>& orders)
{
    orders_ = orders;
    for (const PackageOrder& order : orders) {
        auto* item = new QListWidgetItem(order.name, form->listWidget);
        item->setData(SizeRole, QVariant::fromValue<qint64>(order.size));
    }
}

QList<PackageOrder> PackageSizeEditDialog::orders() const
{
    return orders_;
}

qint64 PackageSizeEditDialog::parsedSize() const
{
    // The mask admits at most 18 digits, so every entry fits; anything that
    // does not convert (an empty field) counts as 0.
    bool ok = false;
    const qint64 size = form->lineEditSize->text().toLongLong(&ok, 10);
    return ok ? size : 0;
}

void PackageSizeEditDialog::accept()
{
    orders_.clear();
    updateItem();
    for (int row = 0; row < form->listWidget->count(); ++row) {
        const QListWidgetItem* item = form->listWidget->item(row);
        orders_.append(PackageOrder(item->data(SizeRole).toLongLong(), item->text()));
    }
    QDialog::accept();
}

void PackageSizeEditDialog::triggerItemAdd()
{
    static const QRegularExpression numbered(QStringLiteral("新規(?<number>\\d*)"));
    int max = 0;
    for (int row = 0; row < form->listWidget->count(); ++row) {
        const QRegularExpressionMatch match = numbered.match(form->listWidget->item(row)->text());
        if (match.hasMatch())
            max = qMax(max, match.captured(QStringLiteral("number")).toInt(nullptr, 10));
    }

    auto* item = new QListWidgetItem(QStringLiteral("新規") + QString::number(max + 1), form->listWidget);
    item->setData(SizeRole, QVariant::fromValue<qint64>(0));
    item->setSelected(true);
}

void PackageSizeEditDialog::triggerItemRemove()
{
    // Taking the entries out first lets the current-entry change that their
    // removal causes commit the fields to an entry that still exists.
    const QList<QListWidgetItem*> selected = form->listWidget->selectedItems();
    for (QListWidgetItem* item : selected)
        delete form->listWidget->takeItem(form->listWidget->row(item));

    if (form->listWidget->count() == 0) {
        form->pushButtonItemRemove->setEnabled(false);
        form->groupBoxProperty->setEnabled(false);
    }
}

void PackageSizeEditDialog::onCurrentItemChanged(QListWidgetItem* current, QListWidgetItem* previous)
{
    if (previous) {
        // A name another entry already has is refused silently; the size is
        // taken either way.
        const QString name = form->lineEditName->text();
        bool taken = false;
        for (int row = 0; row < form->listWidget->count() && !taken; ++row)
            taken = form->listWidget->item(row)->text() == name;
        if (!taken)
            previous->setText(name);
        previous->setData(SizeRole, QVariant::fromValue<qint64>(parsedSize()));
    }

    if (current) {
        const qint64 size = current->data(SizeRole).toLongLong();
        form->lineEditName->setText(current->text());
        form->lineEditSize->setText(QString::number(size));
        form->labelSizeFormat->setText(formatSize(size));
        form->groupBoxProperty->setEnabled(true);
        form->pushButtonItemRemove->setEnabled(true);
    }
}

void PackageSizeEditDialog::updateItem()
{
    QListWidgetItem* item = form->listWidget->currentItem();
    if (!item)
        return;
    const qint64 size = parsedSize();
    item->setText(form->lineEditName->text());
    item->setData(SizeRole, QVariant::fromValue<qint64>(size));
    form->labelSizeFormat->setText(formatSize(size));
}

void PackageSizeEditDialog::updateSizeFormatLabel()
{
    form->labelSizeFormat->setText(formatSize(parsedSize()));
}

} // namespace korvo
