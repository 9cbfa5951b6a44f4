#pragma once

#include <QDialog>
#include <QScopedPointer>
#include <QString>

namespace Ui {
class LibraryDetailDialog;
}

namespace korvo {

// One library the program uses, as the library dialogs show it.
struct LibraryInfo
{
    QString name;
    QString version;
    QString homePage;
    QString licence;
    QString licenceUrl;
    QString copyright;
};

// The libraries the program runs with and its packages ship: the GUI
// toolkit first, then libarchive and zlib (images), then on Windows the
// compiler's runtime (libstdc++, libgcc_s, libwinpthread).
int libraryCount();
// The entry at `index`; every field is empty for an index outside the table.
LibraryInfo libraryInfo(int index);
// The entry's name ("Qt" for 0); empty for an index outside the table.
QString libraryName(int index);

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
