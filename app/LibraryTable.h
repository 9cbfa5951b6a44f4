#pragma once

#include <QString>

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

} // namespace korvo
