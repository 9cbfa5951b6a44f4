#pragma once

#include "EntryList.h"
#include "FileNode.h"
#include "FolderPath.h"
#include "NodeTimes.h"
#include "iPackagable.h"

#include <QDateTime>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWeakPointer>

#include <memory>

class QFileInfo;

namespace korvo {

class ChildIdentities;
class DirectoryNode;
struct Package;
using DirectoryNodePtr = QSharedPointer<DirectoryNode>;

// The model room: the nodes of a scanned tree (DirectoryNode, FileNode and
// their interface iPackagable), packages and package orders, folder paths,
// times, saturating sums and the one size text. Values and trees only, no
// disk work beyond the platform's reads. A tree is owned by shared pointers
// from its root down; it is built by one scan and then read by any thread,
// and changed (remove()) only by its owner's thread while nothing else
// reads it.
//
// One folder of a scanned tree. A folder owns its files and subfolders; each
// subfolder links back to it weakly, so the tree goes when its root goes.
//
// After a scan, for every node:
//   size, sizeOnDisk         = sums over its own files
//   totalSize(OnDisk)        = own figure + the totals of every subfolder
//   totalFileCount           = fileCount + totals of every subfolder
//   totalSubdirectoryCount   = subdirectoryCount + totals of every subfolder
class DirectoryNode : public iPackagable
{
public:
    DirectoryNode(const DirectoryNodePtr& parent, const QFileInfo& info);
    // From figures a listing has already read; absolutePath is the folder
    // that holds this one.
    DirectoryNode(const DirectoryNodePtr& parent, const QString& absolutePath, const QString& fileName,
                  const NodeTimes& times);
    // The same with the folder's path already made (a level below its
    // parent's, for a walk).
    DirectoryNode(const DirectoryNodePtr& parent, const FolderPath& path, const NodeTimes& times);
    // Releases the subtree without recursing once per level.
    ~DirectoryNode() override;

    DirectoryNode(const DirectoryNode&) = delete;
    DirectoryNode& operator=(const DirectoryNode&) = delete;

    // The paths are made from the shared path levels when asked for.
    QString fileName() const override { return path_.name(); }
    QString absolutePath() const { return path_.parentText(); }
    QString absoluteFilePath() const override { return path_.text(); }
    NativePath nativeFilePath() const override { return path_.native(); }
    NativePath nativeFileName() const override { return path_.nativeName(); }
    const FolderPath& path() const { return path_; }
    QDateTime created() const { return NodeTimes::toDateTime(times_.created); }
    QDateTime lastModified() const { return NodeTimes::toDateTime(times_.lastModified); }
    QDateTime lastRead() const { return NodeTimes::toDateTime(times_.lastRead); }
    const NodeTimes& times() const { return times_; }

    qint64 size() const { return size_; }
    qint64 sizeOnDisk() const { return sizeOnDisk_; }
    qint64 totalSize() const override { return totalSize_; }
    qint64 totalSizeOnDisk() const override { return totalSizeOnDisk_; }
    qint32 depth() const { return depth_; }
    qint32 fileCount() const { return qint32(files_.size()); }
    qint32 subdirectoryCount() const { return qint32(subdirectories_.size()); }
    qint32 totalFileCount() const { return totalFileCount_; }
    qint32 totalSubdirectoryCount() const { return totalSubdirectoryCount_; }

    const QVector<FileNodePtr>& files() const { return files_.entries(); }
    const QVector<DirectoryNodePtr>& subdirectories() const { return subdirectories_.entries(); }
    FileNodePtr file(int i) const { return files().at(i); }
    DirectoryNodePtr subdirectory(int i) const { return subdirectories().at(i); }

    DirectoryNodePtr parent() const { return parent_.toStrongRef(); }
    bool isRoot() const { return parent().isNull(); }
    bool isLastSubdirectory() const;

    // Takes a moved package's items out of the tree below this node, each
    // from the folder that lists it (this node for a top-level item, a
    // folder below it for a piece of a split folder), and lowers the figures
    // of that folder and of every folder above it up to this node by the
    // item's. A folder below this node that is left with no entry goes too,
    // as the move removed it on disk. In time proportional to the package
    // and the folders it came from. Folders above this node are not touched.
    void remove(const QSharedPointer<Package>& package);

    // Builders (the scan and the package listing) fill a node through these.
    void appendFile(const FileNodePtr& file) { files_.append(file); }
    void appendSubdirectory(const DirectoryNodePtr& directory) { subdirectories_.append(directory); }
    void reserve(int fileCount, int subdirectoryCount);
    void setOwnSizes(qint64 size, qint64 sizeOnDisk);
    void setTotals(qint64 totalSize, qint64 totalSizeOnDisk, qint32 totalFileCount, qint32 totalSubdirectoryCount);

    // The identities of this folder's own entries as the scan found them;
    // null unless recorded (the scan records them for the root only).
    const ChildIdentities* childIdentities() const { return childIdentities_.get(); }
    void setChildIdentities(std::unique_ptr<const ChildIdentities> identities);

private:
    // What an item taken out of a folder takes from its totals.
    struct Figures
    {
        qint64 size = 0;
        qint64 sizeOnDisk = 0;
        qint32 files = 0;
        qint32 folders = 0;
    };
    // Sets the four size figures from the lists again.
    void addUpSizes();
    bool isInexact() const;
    // Takes the item out of this node's own lists and lowers the own sizes.
    bool takeOwn(const iPackagable& item, Figures* taken);
    void lowerTotals(const Figures& taken);
    void dropEmptied(const QList<DirectoryNode*>& deepestFirst);

    QWeakPointer<DirectoryNode> parent_;
    qint64 size_ = 0;
    qint64 sizeOnDisk_ = 0;
    qint64 totalSize_ = 0;
    qint64 totalSizeOnDisk_ = 0;
    qint32 depth_ = 0;
    qint32 totalFileCount_ = 0;
    qint32 totalSubdirectoryCount_ = 0;
    FolderPath path_;
    NodeTimes times_;
    EntryList<FileNodePtr> files_;
    EntryList<DirectoryNodePtr> subdirectories_;
    std::unique_ptr<const ChildIdentities> childIdentities_;
};

} // namespace korvo

Q_DECLARE_METATYPE(korvo::DirectoryNodePtr)
