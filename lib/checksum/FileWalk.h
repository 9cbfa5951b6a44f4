#pragma once

#include "NativePath.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace korvo {

// A regular file found below a folder.
struct WalkedFile
{
    QByteArray relativePath; // names in their stored form, joined by "/"
    NativePath path;         // the folder's path joined with it, for opening
    qint64 size = 0;
    bool regular = true; // false: a link, device, FIFO or socket
};

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
// places as not `regular`, size 0; a link is never followed. A folder that
// cannot be listed is recorded in `problems` and the walk goes on.
void walkFiles(const NativePath& folder, QVector<WalkedFile>& files, QVector<WalkProblem>& problems,
               bool withOthers = false);

} // namespace korvo
