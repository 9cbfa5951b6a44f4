#pragma once

#include "MoveJournal.h"
#include "NativePath.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace korvo {

// Undoes package moves that a killed process left half done, from the
// journals they left beside their package folders. Shared by korvo-cli
// recover and the packaging dialog. Synchronous, on the caller's thread.
namespace PackageRecovery {

// What undoing one journal did.
struct Report
{
    NativePath journal;
    int number = -1;       // the package number; -1 when the journal could not be read
    QString folderText;    // the package folder
    int returned = 0;      // items moved back to their old place
    int total = 0;         // items the journal names
    QStringList leftLines; // one line per item left where it is, or per step that failed
    bool imageOnly = false; // the journal of an image of a package moved before
    bool undone() const { return leftLines.isEmpty(); }
};

// The korvo_pack folder of `folder`: the folder itself or the nearest level
// above it named korvo_pack, else korvo_pack inside it.
NativePath packFolderFor(const NativePath& folder);

// Every journal in the base folders of a korvo_pack folder (its order
// folders and their label folders), sorted; none when it does not exist.
// False with the reason when a level cannot be listed or is a link.
bool findJournals(const NativePath& packFolder, QList<NativePath>* journals, QString* errorString);

// Undoes the package move of one journal: each item found at its
// destination with its recorded identity goes back with a no-replace move;
// an item whose old name is taken again, or that is neither here nor there,
// is named and left where it is. The emptied package folder, any listing or
// manifest it wrote (whole or partial) and, once nothing is left, the
// journal are removed, and the folders involved are synced.
Report undo(const NativePath& journal);

// The report's lines, ending with CR LF.
QString reportLines(const Report& report);

} // namespace PackageRecovery
} // namespace korvo
