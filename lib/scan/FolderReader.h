#pragma once

// Reading one folder on Linux: its entries by their exact names through the
// open folder's descriptor. Used by the native folder walk only.

#include "DirectoryNode.h"
#include "DriveGeometry.h"
#include "FolderWalk.h"
#include "SortName.h"

#include <QByteArray>
#include <QVector>

#include <sys/types.h>

namespace korvo::listing {

// Which folder an open descriptor or a listed entry is.
struct FolderId
{
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FolderId& other) const { return device == other.device && inode == other.inode; }
};

// A subfolder found by a listing: its exact name, to open it by, and which
// folder it was, to know it again when it is reached through "..".
struct ChildFolder
{
    QByteArray name;
    FolderId id;
};

// The flags every folder is opened with for listing.
int folderFlags();
// Opens a subfolder of an open folder for listing. A link that has taken
// the subfolder's place since it was listed is not followed.
int openSubfolder(int folder, const char* name);
// Opens the root folder by its path (following links, as the user named
// it), also when the path is longer than the system takes in one call.
int openRoot(const QByteArray& path);
// The identity of an open folder; false when it cannot be had.
bool folderIdOf(int fd, FolderId& id);
// The times of an open folder, as QFileInfo gives them.
NodeTimes folderTimes(int fd);

// Reads one open folder into its node: its entries in name order, the files
// sharing one record, a node per subfolder. One per walking thread.
class FolderReader
{
public:
    explicit FolderReader(const DriveGeometry& geometry) : geometry_(geometry) {}

    // Lists the open folder `fd` into `folder`'s node; `children` receives
    // the subfolders' exact names and identities in the order of the node's
    // subfolders. The root folder's node also gets the identities of its
    // entries as the listing's own stat calls saw them, for the move's check.
    FolderSums read(int fd, const DirectoryNodePtr& folder, QVector<ChildFolder>& children);

private:
    enum class Kind : quint8 { File, Directory };

    struct Entry
    {
        SortName key;
        Kind kind = Kind::File;
        qint64 size = 0;
        NodeTimes times;
        FolderId id;
        bool identified = false; // `id` was read
        QByteArray rawName; // folders always (to open them); files whose text does not give the name
    };

    bool readEntries(int fd);
    bool readEntry(int fd, const char* name, unsigned char type);
    FolderSums build(const DirectoryNodePtr& folder, QVector<ChildFolder>& children);

    const DriveGeometry geometry_;
    // Reused from folder to folder, so that listing allocates nothing per
    // folder beyond the nodes themselves.
    QVector<Entry> entries_;
    QVector<int> order_;
    QByteArray buffer_;
};

} // namespace korvo::listing
