#pragma once

#include <QString>

namespace korvo::platform {

// Whether the file systems of this system take two names that differ only
// in case for one name (Windows: NTFS, FAT32, exFAT and shares do, a
// folder made case-sensitive aside; Linux: they do not).
bool namesIgnoreCase();

// The form two names share when a file system that compares names without
// case takes them for one: each UTF-16 unit upper-cased by its simple
// mapping, as the tables of NTFS and FAT do ("ß" stays "ß", not "SS").
QString caseFoldedName(const QString& name);

// The key under which this system's file systems compare a name: the
// folded name where names ignore case, the name itself elsewhere.
QString nameKey(const QString& name);

} // namespace korvo::platform
