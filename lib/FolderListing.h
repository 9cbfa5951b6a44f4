#pragma once

#include "DirectoryNode.h"
#include "DriveGeometry.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QVector>

namespace korvo {

// One folder waiting to be listed. The bytes of its path travel with it
// where the platform lists by bytes: a name that is not valid UTF-8 has no
// exact QString form.
struct PendingFolder
{
    DirectoryNodePtr node;
    QByteArray nativePath;
};

// The sums of one folder's own files.
struct FolderSums
{
    qint64 size = 0;
    qint64 sizeOnDisk = 0;
};

// Lists one folder through QDir and QFileInfo: appends its files (regular
// files and every link) and subfolders to its node in name order, the
// subfolders also to `pending`; other entries are skipped. A folder that
// cannot be read adds nothing.
void listFolderWithQDir(const PendingFolder& folder, const DriveGeometry& geometry,
                        QVector<PendingFolder>& pending, FolderSums& sums);

// The same with the platform's own listing. Returns false when the platform
// has none (the caller then uses QDir).
bool listFolderNative(const PendingFolder& folder, const DriveGeometry& geometry, QVector<PendingFolder>& pending,
                      FolderSums& sums);

// The bytes of a path as the platform's file functions take them.
QByteArray nativePathOf(const QString& path);

// Name order of a listing: by the names in lower case (QString::toLower),
// compared code unit by code unit, and names equal in lower case by their
// exact text, so that every run and every platform lists them alike.
// `folded` is the name in lower case; an all-ASCII name may pass itself with
// `asciiOnly` true and is then lowered on the fly.
struct SortName
{
    QString name;
    QString folded;
    bool asciiOnly = false;

    static SortName of(const QString& name);
};
bool nameLess(const SortName& a, const SortName& b);

} // namespace korvo
