#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QScopedPointer>

namespace Ui {
class LibraryDialog;
}

namespace korvo {

// Lists the libraries the program uses; "詳細" opens the selected one's
// details.
class LibraryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LibraryDialog(QWidget* parent = nullptr);
    ~LibraryDialog() override;

private slots:
    void onClicked(QModelIndex index);
    void onDetailBottonClicked();

private:
    QScopedPointer<Ui::LibraryDialog> ui;
};

} // namespace korvo
