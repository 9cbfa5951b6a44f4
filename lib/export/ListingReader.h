#pragma once

#include "NativePath.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace korvo {

// A file as an XML listing names it: its path below the listing's root
// folder (names joined by "/", UTF-8) and its size (-1 when the listing
// gives none).
struct ListedFile
{
    QByteArray relativePath;
    qint64 size = -1;
};

// Reads back the XML listings the XmlExporter writes, in every layout its
// settings allow (attributes or elements, the tree section or the flat file
// list): the files, with the folders above them. Synchronous, on the
// caller's thread; the file is opened as any reader opens it.
namespace ListingReader {

// Appends the files of the listing; false, with the reason, when it cannot
// be read or is not a listing of korvo's.
bool read(const NativePath& listing, QVector<ListedFile>& files, QString* errorString);

} // namespace ListingReader
} // namespace korvo
