#pragma once

#include "NodeTimes.h"
#include "iPackagable.h"

#include <QDateTime>
#include <QSharedPointer>
#include <QString>

class QFileInfo;

namespace korvo {

struct DriveGeometry;

// One file (or link) of a scanned tree. The folder path is an implicitly
// shared QString, the same one every file of that folder holds, and the name
// may sit in a text shared by the files of one folder, so a node costs little
// more than its numbers; the full path is joined on demand.
class FileNode : public iPackagable
{
public:
    // From a QFileInfo and the scan's geometry: sizes, names and times as
    // QFileInfo gives them; a link's size is the length of what it reaches.
    FileNode(const QFileInfo& info, const DriveGeometry& geometry);
    // From figures a listing has already read.
    FileNode(const QString& absolutePath, const QString& fileName, qint64 size, qint64 sizeOnDisk,
             const NodeTimes& times);
    // As above, the name being `nameLength` characters of `names` from
    // `nameOffset` on (a text the files of one folder share).
    FileNode(const QString& absolutePath, const QString& names, int nameOffset, int nameLength, qint64 size,
             qint64 sizeOnDisk, const NodeTimes& times);

    // The size QFileInfo stands for: a link's is the length of the regular
    // file it reaches (0 for anything else), every other entry's is size().
    static qint64 sizeOf(const QFileInfo& info);

    qint64 size() const { return size_; }
    qint64 sizeOnDisk() const { return sizeOnDisk_; }
    QString fileName() const override;
    QString absolutePath() const { return absolutePath_; }
    QString absoluteFilePath() const override;
    QString suffix() const;
    QDateTime created() const { return NodeTimes::toDateTime(times_.created); }
    QDateTime lastModified() const { return NodeTimes::toDateTime(times_.lastModified); }
    QDateTime lastRead() const { return NodeTimes::toDateTime(times_.lastRead); }
    const NodeTimes& times() const { return times_; }

    qint64 totalSize() const override { return size_; }
    qint64 totalSizeOnDisk() const override { return sizeOnDisk_; }

private:
    qint64 size_ = 0;
    qint64 sizeOnDisk_ = 0;
    QString names_;       // holds the name at [nameOffset_, nameOffset_ + nameLength_)
    QString absolutePath_;
    NodeTimes times_;
    qint32 nameOffset_ = 0;
    qint32 nameLength_ = 0;
};

using FileNodePtr = QSharedPointer<FileNode>;

} // namespace korvo
