#pragma once

#include "BaseFolder.h"
#include "MoveJournal.h"
#include "NativePath.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace korvo {

// Undoes package moves that a killed process left half done, from the
// journals they left beside their package folders. Shared by korvo-cli
// recover and the packaging dialog. A journal is acted on only when it is
// one korvo could have written for this user there (MoveJournal::read); a
// base folder is worked in only under its lock. Synchronous, on the
// caller's thread.
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
    bool refused = false;  // not a journal korvo wrote for this user: nothing was touched
    bool unfinished = false; // a journal cut short before it took its name: nothing had moved
    bool undone() const { return leftLines.isEmpty(); }
};

// A base folder below a korvo_pack folder that holds journals.
struct JournalFolder
{
    NativePath top;           // the folder above korvo_pack, taken as given
    QList<NativePath> levels; // korvo_pack, order and label below it
    NativePath path;          // the base folder
    QStringList journals;     // names of journals (of any kind of entry)
    QStringList unfinished;   // names of journals that never took their name
};

// The korvo_pack folder of `folder`: the folder itself or the nearest level
// above it named korvo_pack, else korvo_pack inside it.
NativePath packFolderFor(const NativePath& folder);

// The base folders below a korvo_pack folder (its order folders and their
// label folders) that hold journals, sorted; none when it does not exist.
// Levels of other users are not entered. False with the reason when a level
// cannot be listed or is a link.
bool findJournals(const NativePath& packFolder, QList<JournalFolder>* folders, QString* errorString);

// Opens a base folder that holds journals, takes its lock and undoes each
// of its journals.
QList<Report> recoverFolder(const JournalFolder& folder);

// Undoes the package move of one journal in an open base folder whose lock
// is held: each item found in the package folder with its recorded
// identity goes back to the source folder with a no-replace move; an item
// whose old name is taken again, or that is neither here nor there, is
// named and left where it is. The source folder is synced, then the
// package's partial files are removed; once no item is left in the package
// folder its listing, manifest and image, the emptied folder and the
// journal go too, and the base folder is synced. A journal that breaks a
// rule is refused whole: nothing is touched.
Report undo(const BaseFolder& base, const QString& journalName);

// Removes a journal that never took its name (nothing had moved under it)
// and its package folder, when that is empty.
Report removeUnfinished(const BaseFolder& base, const QString& name);

// The report's lines, ending with CR LF.
QString reportLines(const Report& report);

} // namespace PackageRecovery
} // namespace korvo
