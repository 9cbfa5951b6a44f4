#pragma once

#include "DriveGeometry.h"
#include "FolderPath.h"
#include "NativePath.h"
#include "NodeTimes.h"
#include "iPackagable.h"

#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QSharedData>
#include <QSharedPointer>
#include <QString>
#include <QVector>

class QFileInfo;

namespace korvo {

// One file (or link) of a scanned tree. The files of one folder share one
// record holding the folder's path, their names in one text and the geometry
// that rounds their sizes on disk, so a node costs little more than its size
// and times; names, paths and sizes on disk are made on demand.
class FileNode : public iPackagable
{
public:
    // What the files of one folder share.
    struct Shared : QSharedData
    {
        // A file whose exact name is not the encoding of its shown name.
        struct RawName
        {
            qint32 nameOffset;
            NativePath name;
        };

        FolderPath folder; // the folder that holds the files
        // The files' names, one after the other: as Latin-1 bytes when every
        // name of the folder is Latin-1 text (one byte a character, half of
        // UTF-16), else as UTF-16 text. Offsets count characters of either.
        QString names;
        QByteArray latin1Names;
        DriveGeometry geometry;
        bool hasOwnSizeOnDisk = false; // a record of one node with a given size on disk
        qint64 ownSizeOnDisk = 0;
        // The exact names that differ from their texts, by name offset:
        // empty for a folder whose names are all valid in the file name
        // encoding, so that the common case costs nothing per file.
        QVector<RawName> rawNames;
    };
    using SharedPtr = QExplicitlySharedDataPointer<const Shared>;

    // From a QFileInfo and the scan's geometry: sizes, names and times as
    // QFileInfo gives them; a link's size is the length of what it reaches.
    FileNode(const QFileInfo& info, const DriveGeometry& geometry);
    // From figures a listing has already read.
    FileNode(const QString& absolutePath, const QString& fileName, qint64 size, qint64 sizeOnDisk,
             const NodeTimes& times);
    // One of the files of a folder: its name is `nameLength` characters of
    // the shared names from `nameOffset` on; its size on disk is its size
    // rounded with the shared geometry.
    FileNode(const SharedPtr& shared, int nameOffset, int nameLength, qint64 size, const NodeTimes& times);

    // The size QFileInfo stands for: a link's is the length of the regular
    // file it reaches (0 for anything else), every other entry's is size().
    static qint64 sizeOf(const QFileInfo& info);

    qint64 size() const { return size_; }
    qint64 sizeOnDisk() const;
    QString fileName() const override;
    QString absolutePath() const { return shared_->folder.text(); }
    // The folder that holds the file; files of one folder share it.
    const FolderPath& folder() const { return shared_->folder; }
    QString absoluteFilePath() const override;
    NativePath nativeFilePath() const override;
    NativePath nativeFileName() const override;
    QString suffix() const;
    QDateTime created() const { return NodeTimes::toDateTime(times_.created); }
    QDateTime lastModified() const { return NodeTimes::toDateTime(times_.lastModified); }
    QDateTime lastRead() const { return NodeTimes::toDateTime(times_.lastRead); }
    const NodeTimes& times() const { return times_; }

    qint64 totalSize() const override { return size_; }
    qint64 totalSizeOnDisk() const override { return sizeOnDisk(); }

private:
    qint64 size_ = 0;
    SharedPtr shared_;
    NodeTimes times_;
    qint32 nameOffset_ = 0;
    qint32 nameLength_ = 0;
};

using FileNodePtr = QSharedPointer<FileNode>;

} // namespace korvo
