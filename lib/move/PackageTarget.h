#pragma once

#include "NativePath.h"

#include <QString>
#include <QStringList>

namespace korvo {

// Where the packages of one packing go on disk:
//   volume root / "korvo_pack" / order name / label / N
// with the optional listing N.xml beside folder N. Shared by the packaging
// dialog and korvo-cli move.
namespace PackageTarget {

// Where korvo_pack goes for a scanned folder, always absolute: the highest
// folder above the scanned one on its volume (its root first: Windows the
// drive root "C:/", elsewhere the mount point of its file system) that the
// user owns, that no one else may write to, and where korvo_pack may be
// made or is such a folder of theirs: their home folder, typically. A shared
// or sticky folder such as /tmp is never taken. The volume's root when there
// is none, so that the move reports why it cannot start.
NativePath volumeRoot(const NativePath& scannedFolder);

// The exact path of the base folder: volume root / korvo_pack / order /
// label (an empty label adds no level).
NativePath baseFolderPath(const NativePath& volumeRoot, const QString& orderName, const QString& label);

// The base folder text for an order and a label, ending with a separator.
// These texts use the system's own separator throughout (backslashes on
// Windows), as a user of the system expects to see paths.
QString baseFolder(const QString& volumeRoot, const QString& orderName, const QString& label);

// The package folder text for number N under a base folder.
QString packageFolder(const QString& baseFolder, int number);

// The path of the XML listing of package N, beside its folder.
QString listingPath(const QString& baseFolder, int number);

// The number a base folder entry counts as: its name up to the first dot
// as a decimal number ("5" and "5.xml" both count as 5); -1 for any other.
int entryNumber(const QString& name);

// The folder number of the package at index `index` (0-based) of a packing
// whose base number is `base`: base + index + 1, or -1 when that would not
// fit a 32-bit number (a folder named 2147483647 exists already).
int folderNumber(int base, int index);

// True when the text names a single folder (no "/" or "\", not "." or "..")
// or is empty (an empty label puts the packages under the order's folder);
// otherwise false with a message naming the text.
bool isSingleFolderName(const QString& text, QString* errorString);

} // namespace PackageTarget
} // namespace korvo
