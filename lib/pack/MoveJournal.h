#pragma once

#include "FileIdentity.h"
#include "NativePath.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace korvo {

// The record of one package move in progress, kept beside the package
// folder in the base folder as ".N.korvo-move" (a hidden name that never
// counts as a package number). It is written and synced before the first
// item moves and removed only once the package, its listing and manifest
// are complete and synced, or once the move has been undone: a journal
// found later means the process died in between, and names every item's
// exact source, destination and identity, so that the move can be undone.
// An image of a package moved before is guarded the same way, by a journal
// with no folder and no items that names the image's outputs only.
// Synchronous, on the caller's thread.
struct MoveJournal
{
    struct Item
    {
        NativePath source;
        NativePath destination;
        FileIdentity identity;
    };

    NativePath path;        // the journal file
    NativePath baseFolder;
    int number = -1;
    NativePath folder;      // the package folder
    QList<NativePath> outputs; // listing, manifest, images and their temporary names
    QList<Item> items;
    bool complete = false;  // read back whole; an incomplete one moved nothing

    // The journal name of package N, and the temporary name its listing or
    // manifest is written under before it is linked into place.
    static QString fileName(int number);
    static NativePath temporaryFor(const NativePath& output);
    // True for a journal's name, with its package number.
    static bool isJournalName(const QString& name, int* number);

    // Creates the journal exclusively, writes it whole and syncs it and its
    // folder. False with the reason; nothing is left behind then.
    bool write(QString* errorString) const;
    // Reads a journal back. False with the reason when it cannot be read.
    static bool read(const NativePath& path, MoveJournal* journal, QString* errorString);
    // Removes the journal and syncs its folder.
    bool remove(QString* errorString) const;

    // The journals in a base folder (none when it does not exist), by name.
    static bool findIn(const NativePath& baseFolder, QStringList* names, QString* errorString);
    // The lines that refuse a move into a base folder holding journals.
    static QString refusalLines(const QString& baseFolderText, const QStringList& names);
};

} // namespace korvo
