#pragma once

#include "LibraryTable.h"

#include <QDialog>
#include <QScopedPointer>
#include <QString>

namespace Ui {
class LibraryDetailDialog;
}

namespace korvo {

// Version, home page, licence and copyright notice of one library.
class LibraryDetailDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LibraryDetailDialog(QWidget* parent = nullptr);
    ~LibraryDetailDialog() override;

    // Fills the text from the library table entry at libraryIndex.
    void updateText();

    // Index into the library table; -1 (no library) until the creator sets
    // it (the table has more than one entry, so 1 is one).
    qint32 libraryIndex = -1;

private:
    void fitTextHeight();

    QScopedPointer<Ui::LibraryDetailDialog> ui;
};

} // namespace korvo
