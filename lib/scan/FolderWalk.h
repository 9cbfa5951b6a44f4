#pragma once

#include "DirectoryNode.h"
#include "DriveGeometry.h"
#include "NativePath.h"

#include <atomic>
#include <functional>
#include <memory>

namespace korvo {

// How a scan reads each folder.
enum class ListingMethod {
    // The fastest the platform has: on Linux readdir and statx relative to
    // the open folder, which also lists names that are not valid UTF-8; QDir
    // elsewhere.
    Native,
    // QDir and QFileInfo everywhere (the reference the native listing
    // matches for every entry QDir lists).
    QtFileInfo
};

// The sums of one folder's own files.
struct FolderSums
{
    qint64 size = 0;
    qint64 sizeOnDisk = 0;
    // The system's error code when the folder could not be listed (it then
    // counts as empty); 0 when it was.
    int error = 0;
};

// Lists every folder of a tree once, the root first and every folder before
// the folders below it: each folder's files (regular files and every link)
// and subfolders go into its node in name order; other entries are skipped.
// A folder that cannot be read gets no entries. The root's node also gets
// the identities of its own entries, read as they are listed (for the move's
// check that an item is still the one scanned). No recursion: the depth of a
// tree is limited only by memory.
class FolderWalk
{
public:
    // Told of each folder once it is listed, with the sums of its own files;
    // called from every walking thread, one call at a time or several at
    // once.
    using Listed = std::function<void(DirectoryNode& folder, const FolderSums& sums)>;

    virtual ~FolderWalk() = default;

    // The root folder's node, made when the walk is made.
    virtual DirectoryNodePtr root() const = 0;
    // Lists the whole tree. `cancel` is read before each folder; once it is
    // set, the walk stops without listing further folders.
    virtual void run(const std::atomic<bool>& cancel, const Listed& listed) = 0;
};

} // namespace korvo
