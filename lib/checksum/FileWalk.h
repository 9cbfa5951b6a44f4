#pragma once

#include "FileList.h"
#include "NativePath.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace korvo {

// A folder below the walked one that could not be listed.
struct WalkProblem
{
    QByteArray relativePath; // empty for the walked folder itself
    QString reason;
};

// Finds every regular file below `folder` in the order of a sorted walk:
// each folder's entries sorted by their exact names (bytes on Linux, UTF-16
// on Windows), a subfolder's files at the place of its name. Links, devices,
// FIFOs and sockets are left out, or with `withOthers` listed in their
// places as not `regular`; a link is never followed. A folder that cannot
// be listed is recorded in `problems` and the walk goes on.
void walkFiles(const NativePath& folder, FileList& files, QVector<WalkProblem>& problems,
               bool withOthers = false);

} // namespace korvo
