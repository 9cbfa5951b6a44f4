#pragma once

#include "NativePath.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace korvo {

// The files korvo keeps in a base folder beside package folder N, and the
// names it gives what it writes there: one table for the number search, the
// journal, the move target, the recovery and the help texts. A new kind of
// file kept beside a package is one more row here.
namespace PackageFiles {

enum class Kind {
    Listing,  // N.xml, the XML listing
    Manifest, // N.sha256, the SHA-256 manifest
    IsoImage, // N.iso
    ZipImage  // N.zip
};

// Every kind, in the order a move writes them.
const QList<Kind>& kinds();

// The file of that kind beside a package folder (its path, trailing
// separators dropped, followed by the kind's suffix).
NativePath beside(const NativePath& packageFolder, Kind kind);

// The names beside package folder N ("N.xml", "N.sha256", "N.iso",
// "N.zip"), which must all be free for a package to take number N.
QStringList besideNames(int number);

// The same names with N written as the letter N, joined for a help text.
QString helpList();

// The temporary name a file is written under before it is moved to its
// name, which is never replaced: ".NAME.korvo-part", hidden and never
// counted as a number. Of a name alone, or of a path (in its folder).
NativePath temporaryFor(const NativePath& file);
bool isTemporaryName(const QString& name);

// Puts a file written and closed under its temporary name in place: syncs
// it, then moves it to `path`, which is never replaced; a killed process
// never leaves a partial file under the real name. On failure the temporary
// file is removed and `errorString` says why.
bool putInPlace(const NativePath& temporary, const NativePath& path, QString* errorString);

// The journal of package N (".N.korvo-move"), and whether a name is one,
// with its number; a journal still under its temporary name never moved
// anything.
NativePath journalName(int number);
bool isJournalName(const QString& name, int* number);
bool isUnfinishedJournalName(const QString& name, int* number);

// The lock file of a base folder, there only while a move, recovery or
// image works in it.
NativePath lockName();

} // namespace PackageFiles
} // namespace korvo
