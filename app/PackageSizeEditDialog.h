#pragma once

#include "PackageOrder.h"

#include <QDialog>
#include <QList>

class QListWidgetItem;

namespace Ui {
class PackageSizeEditDialog;
}

namespace korvo {

// Edits the user's own package orders: a list of named sizes, each entry's
// name and size shown in the property fields while it is the current entry.
class PackageSizeEditDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PackageSizeEditDialog(QWidget* parent = nullptr);
    ~PackageSizeEditDialog() override;

    // Takes the orders to edit and lists them. Call once, right after
    // construction.
    void setOrders(const QList<PackageOrder>& orders);
    // The edited orders; meaningful after the dialog was accepted.
    QList<PackageOrder> orders() const;

    // The item data role that holds an entry's size in bytes.
    static constexpr int SizeRole = 1;

public slots:
    void accept() override;
    // Appends an entry named "新規" with the next free number.
    void triggerItemAdd();
    // Deletes every selected entry.
    void triggerItemRemove();
    // Commits the property fields to the entry left and shows the new one.
    void onCurrentItemChanged(QListWidgetItem* current, QListWidgetItem* previous);
    // Commits the property fields to the current entry.
    void updateItem();
    void updateSizeFormatLabel();

private:
    qint64 parsedSize() const;

    Ui::PackageSizeEditDialog* form;
    QList<PackageOrder> orders_;
};

} // namespace korvo
