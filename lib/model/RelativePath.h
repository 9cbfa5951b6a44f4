#pragma once

#include "FolderPath.h"
#include "NativePath.h"
#include "iPackagable.h"

#include <QList>
#include <QString>

namespace korvo {

// Where an item of a scanned tree lies below the scanned folder: a
// top-level item is its own name, a piece of a split folder the names of
// the folders down to it and then its own ("Photos/2019/IMG_0001.jpg").
// A package keeps that path wherever it goes: in its folder, its listing,
// its manifest and its image.
namespace RelativePath {

// The exact names from below `top` down to the item, the item's own last.
// With a null `top`, or an item that does not lie below it, the item's name
// alone.
QList<NativePath> levelsOf(const FolderPath& top, const iPackagable& item);

// The folder that holds the item in the scanned tree (a file's folder, a
// folder's parent); null for a root.
FolderPath holderOf(const iPackagable& item);

// The shown names of the path, joined by "/".
QString textOf(const FolderPath& top, const iPackagable& item);

// The exact names joined by "/" (as stored: the bytes on Linux, UTF-8 on
// Windows), and back. `fromStored` gives nothing unless every level is a
// plain name: not empty, not "." or "..", no separator, no NUL.
QByteArray stored(const QList<NativePath>& levels);
bool fromStored(const QByteArray& bytes, QList<NativePath>* levels);

// The path made of the levels below `folder`.
NativePath below(const NativePath& folder, const QList<NativePath>& levels);

} // namespace RelativePath
} // namespace korvo
