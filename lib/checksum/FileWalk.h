#pragma once

#include "FileList.h"
#include "NativePath.h"
#include "Platform.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

namespace korvo {

// A folder below the walked one that could not be listed.
struct WalkProblem
{
    QByteArray relativePath; // empty for the walked folder itself
    QString reason;
};

// One entry met by a sorted walk: its path below the walked folder (stored
// names joined by "/"), what it is (a link, device, FIFO or socket is
// Other, never followed) and, for a regular file, its size.
struct WalkEntry
{
    QByteArray relativePath;
    platform::FolderEntry::Kind kind = platform::FolderEntry::Other;
    qint64 size = 0;
};

// The sorted walk of every listing of a package: each folder's entries
// sorted by their exact names (bytes on Linux, UTF-16 on Windows), a folder
// told right before what it holds, so that a manifest, an image and their
// checks all list one order. `visit` may end the walk by returning false. A
// folder that cannot be listed is recorded in `problems` and the walk goes
// on.
void walkSorted(const NativePath& folder, const std::function<bool(const WalkEntry&)>& visit,
                QVector<WalkProblem>& problems);

// Finds every regular file below `folder` in the order of a sorted walk:
// each folder's entries sorted by their exact names (bytes on Linux, UTF-16
// on Windows), a subfolder's files at the place of its name. Links, devices,
// FIFOs and sockets are left out, or with `withOthers` listed in their
// places as not `regular`; a link is never followed. A folder that cannot
// be listed is recorded in `problems` and the walk goes on.
void walkFiles(const NativePath& folder, FileList& files, QVector<WalkProblem>& problems,
               bool withOthers = false);

} // namespace korvo
