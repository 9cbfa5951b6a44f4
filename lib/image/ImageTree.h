#pragma once

#include "NativePath.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace korvo {

// One entry of a folder as it goes into an image.
struct ImageTreeEntry
{
    QByteArray relativePath; // stored names joined by "/"
    bool folder = false;
    qint64 size = 0;         // of a file, as listed
};

// Every folder and regular file below `folder`, each folder's entries
// sorted by their exact names and a folder before what it holds, found
// without following any link. An image keeps files and folders only: a
// link, device, FIFO or socket below the folder, or a folder that cannot
// be listed, makes this false with the reason, rather than an image that
// silently leaves something out.
bool listImageTree(const NativePath& folder, QVector<ImageTreeEntry>& entries, QString* errorString);

} // namespace korvo
