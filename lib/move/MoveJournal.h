#pragma once

#include "FileIdentity.h"
#include "FolderHandle.h"
#include "NativePath.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace korvo {

// The record of one package move in progress, kept in the base folder
// beside the package folder as ".N.korvo-move" (a hidden name that never
// counts as a package number). It is written whole under a temporary name,
// synced, and only then takes its name, before the first item moves; it is
// removed only once the package, its listing, manifest and image are
// complete and synced, or once the move has been undone. A journal found
// later means the process died in between, and names every item's name,
// the one folder the items came from and each item's identity, so that the
// move can be undone. An item is a top-level entry of that folder, or a
// piece of a split folder: a path of plain names below it, moved to the same
// path below the package folder (version 3, written only for such items). An image of a package moved before is guarded the
// same way, by a journal with no folder and no items.
//
// A journal is read back as input from a stranger: only a regular file of
// this user, opened in a base folder reached without links, written whole
// in this format, is taken, and every path it leads to is confined to the
// package's own places: the package folder is BASE/N for the journal's own
// N, each output is one of the files kept beside package N, and each item
// is a path of plain names, none inside another, moved between the one
// source folder and BASE/N.
// Synchronous, on the caller's thread.
struct MoveJournal
{
    struct Item
    {
        // The same path below the source folder and below BASE/N: one name
        // for a top-level item, the folders down to it and then its own name
        // for a piece of a split folder.
        QList<NativePath> levels;
        FileIdentity identity;
        const NativePath& name() const { return levels.last(); }
    };

    int number = -1;
    bool hasFolder = false;   // a package move (folder BASE/N), not an image's guard
    NativePath sourceFolder;  // where the items came from (absolute)
    QList<NativePath> outputs; // names in the base folder: listing, manifest, images, temporaries
    QList<Item> items;

    // The largest journal read: far more than a package of a million items
    // needs.
    static const qint64 MaxSize = qint64(256) << 20;

    // Writes the journal into the open base folder: whole under its
    // temporary name, synced, then moved to its name (never replacing one),
    // and the folder synced. False with the reason; nothing is left behind
    // then.
    bool write(const platform::FolderHandle& base, QString* errorString) const;
    // Removes the journal from the base folder.
    bool remove(const platform::FolderHandle& base, QString* errorString) const;

    // What read() made of a journal.
    enum class ReadResult {
        Read,    // taken: every rule holds
        Refused, // not a journal korvo wrote for this user here; `rule` says which rule broke
        Failed   // could not be read; the reason is in `rule`
    };
    // Reads the journal `name` in the open base folder (a folder of this
    // user that no one else may write to) and checks every rule above.
    static ReadResult read(const platform::FolderHandle& base, const NativePath& name, MoveJournal* journal,
                           QString* rule);

    // The names of the journals in an open base folder, and of the
    // temporary journals that never took their name, sorted.
    static bool findIn(const platform::FolderHandle& base, QStringList* journals, QStringList* unfinished,
                       QString* errorString);
};

} // namespace korvo
