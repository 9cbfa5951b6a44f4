#pragma once

// Reading one folder on Linux: its entries by their exact names through the
// open folder's descriptor. Used by the native folder walk only.

#include "DirectoryNode.h"
#include "DriveGeometry.h"
#include "FileNode.h"
#include "FolderWalk.h"

#include <QByteArray>
#include <QVector>

#include <functional>
#include <string>
#include <vector>

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

// Stats the entries of one folder on several threads at once.
class StatSharing
{
public:
    // Calls statBlock(begin, end) for blocks of entries that together cover
    // 0 .. count once each, on this thread and others at the same time, and
    // returns once every block is done. A cancelled scan may leave blocks
    // out.
    virtual void statTogether(size_t count, const std::function<void(size_t, size_t)>& statBlock) = 0;

protected:
    ~StatSharing() = default;
};

// Reads one open folder into its node: its entries in name order, the files
// sharing one record, a node per subfolder. One per walking thread.
class FolderReader
{
public:
    // `threads`: how many threads may stat the entries of one huge folder.
    FolderReader(const DriveGeometry& geometry, int threads) : geometry_(geometry), threads_(threads) {}

    // Lists the open folder `fd` into `folder`'s node; `children` receives
    // the subfolders' exact names and identities in the order of the node's
    // subfolders. The root folder's node also gets the identities of its
    // entries as the listing's own stat calls saw them, for the move's check.
    // With `sharing`, the entries are statted through it (a file system
    // whose every request waits for a round trip); without, on this thread
    // (a huge folder's on up to `threads` threads).
    FolderSums read(int fd, const DirectoryNodePtr& folder, QVector<ChildFolder>& children,
                    StatSharing* sharing = nullptr);

private:
    enum class Kind : quint8 { File, Directory };

    // One listed entry. Plain data, so that the list grows by moving bytes.
    struct Entry
    {
        quint32 nameAt = 0;      // its exact name in names_, ended by a zero byte
        qint32 decoded = -1;     // its text in decoded_ when the name is not ASCII
        quint16 nameLength = 0;
        quint8 type = 0;         // what the listing says it is (d_type)
        Kind kind = Kind::File;
        bool kept = false;       // a file, link or folder: listed in the node
        bool identified = false; // `id` was read
        qint64 size = 0;
        NodeTimes times;
        FolderId id;
    };

    // The text of a name that is not ASCII.
    struct Decoded
    {
        QString text;
        bool exact = true; // the text gives the exact name back
    };

    // An entry to sort: the first sixteen bytes of its key, and where the
    // key is.
    struct SortItem
    {
        quint64 prefix;
        quint64 next;
        quint32 keyAt;
        quint32 entry;
    };

    bool readEntries(int fd);
    void statEntries(int fd, StatSharing* sharing);
    void statOne(int fd, Entry& entry) const;
    // Fills sorted_.
    void sortEntries();
    // The order of two items whose first sixteen key bytes are equal.
    bool itemLess(const SortItem& a, const SortItem& b) const;
    int keyLength(const SortItem& item) const;
    int textLength(const Entry& entry) const;
    QString textOf(const Entry& entry) const;
    // What the kept entries of a folder come to.
    struct Counts
    {
        int files = 0;
        int subfolders = 0;
        int namesLength = 0;
        bool latin1 = true; // every file's name is Latin-1 text
    };

    Counts countEntries() const;
    FileNode::Shared* makeShared(const DirectoryNode& node, const Counts& counts) const;
    void writeName(FileNode::Shared& files, char* latin1Names, const Entry& entry, int offset) const;
    DirectoryNodePtr appendSubfolder(const DirectoryNodePtr& folder, const Entry& entry,
                                     QVector<ChildFolder>& children) const;
    // Makes the folder's nodes in name order and sums its files.
    FolderSums build(const DirectoryNodePtr& folder, QVector<ChildFolder>& children);

    const DriveGeometry geometry_;
    const int threads_;
    // Reused from folder to folder, so that listing allocates nothing per
    // entry beyond the nodes themselves (and the text of names that are not
    // ASCII).
    std::vector<Entry> entries_;
    std::vector<SortItem> order_;
    std::vector<quint32> sorted_; // the kept entries in name order
    QVector<Decoded> decoded_;
    std::string names_;
    std::string keys_;
    QByteArray buffer_;
};

} // namespace korvo::listing
