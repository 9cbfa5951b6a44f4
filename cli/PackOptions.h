#pragma once

#include "Arguments.h"
#include "Scan.h"

#include "ImageFormat.h"
#include "Package.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QList>
#include <QString>

namespace korvo::cli {

// The options korvo-cli pack and move share, read and checked.
struct PackOptions
{
    PackageOrder order;
    PackSort sort = Assorted;
    QString sortName;
    ImageFormat image = ImageFormat::None; // packages are measured for this image
    SplitFolders split = SplitFolders::No;  // folders larger than the limit are split into pieces
    bool json = false;
    QString folder; // the one positional argument
};

// The shared options, for a command to read with its own.
QList<Option> packOptions();

// Reads the shared options and the folder; empty on success, else the
// usage message.
QString readPackOptions(const CommandLine& read, PackOptions& options);

// The help lines of the shared options.
extern const char* const PackOptionsHelp;

// Scans the options' folder and packs its top-level items (for the image
// chosen, if any); `leftOut` receives the items in no package because each
// alone exceeds the limit; `lowerBound`, when given, at least how many
// packages any packing needs. False, after saying why on stderr, when the
// scan failed or was cancelled.
bool scanAndPack(const QString& command, const PackOptions& options, ScanResult& scan, QList<PackagePtr>& packages,
                 QList<PackagablePtr>& leftOut, int* lowerBound = nullptr);

// An item's name as the commands show it: a folder with a trailing slash; a
// piece of a split folder by its path below `top`, the scanned folder.
QString shownName(const PackagablePtr& item, const FolderPath& top);

// The members that lead the JSON object of pack and move: "order",
// "limit", "sort" and "image" (null for none).
QString jsonOrder(const PackOptions& options);

// The items' names as a JSON array, each by its exact name: a byte that is
// not text goes out as the escape \udc80 to \udcff (the form Python's
// "surrogateescape" reads back into the byte), so that two names shown alike
// stay apart. A piece of a split folder goes by its path below `top`.
QString jsonNames(const QList<PackagablePtr>& items, const FolderPath& top);

} // namespace korvo::cli
