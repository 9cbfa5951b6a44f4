#include "FolderWalk.h"

#include "FileNode.h"
#include "QtFolderWalk.h"
#include "SaturatingSum.h"
#include "SortName.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvo {

namespace {

// Which folder an open descriptor or a listed entry is.
struct FolderId
{
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FolderId& other) const { return device == other.device && inode == other.inode; }
};

// What one stat call tells about an entry.
struct EntryStat
{
    mode_t mode = 0;
    qint64 size = 0;
    NodeTimes times;
    FolderId id;
};

// Milliseconds since the epoch as QFileInfo counts them; QFileInfo takes the
// epoch itself (0) for "no time".
inline qint64 toMSecs(qint64 seconds, qint64 nanoseconds)
{
    const qint64 msecs = seconds * 1000 + nanoseconds / 1000000;
    return msecs == 0 ? NodeTimes::Invalid : msecs;
}

std::atomic<bool> statxMissing{false};

void fillFrom(const struct stat& buffer, EntryStat& result)
{
    result.mode = buffer.st_mode;
    result.size = qint64(buffer.st_size);
    result.id = {buffer.st_dev, buffer.st_ino};
    result.times.lastModified = toMSecs(buffer.st_mtim.tv_sec, buffer.st_mtim.tv_nsec);
    result.times.lastRead = toMSecs(buffer.st_atim.tv_sec, buffer.st_atim.tv_nsec);
    result.times.created = NodeTimes::createdFrom(
        NodeTimes::Invalid, toMSecs(buffer.st_ctim.tv_sec, buffer.st_ctim.tv_nsec), result.times.lastModified);
}

// Stats `name` relative to the open folder `folder` (an empty name: the
// folder itself): the entry itself, or with `follow` what a link reaches.
// statx gives the birth time; kernels without it fall back to fstatat, which
// has none.
bool statEntry(int folder, const char* name, bool follow, EntryStat& result)
{
    const int flags = (follow ? 0 : AT_SYMLINK_NOFOLLOW) | (*name ? 0 : AT_EMPTY_PATH);
#ifdef STATX_BTIME
    if (!statxMissing.load(std::memory_order_relaxed)) {
        struct statx buffer;
        if (::statx(folder, name, flags, STATX_BASIC_STATS | STATX_BTIME, &buffer) == 0) {
            result.mode = buffer.stx_mode;
            result.size = qint64(buffer.stx_size);
            result.id = {makedev(buffer.stx_dev_major, buffer.stx_dev_minor), ino_t(buffer.stx_ino)};
            result.times.lastModified = toMSecs(buffer.stx_mtime.tv_sec, buffer.stx_mtime.tv_nsec);
            result.times.lastRead = toMSecs(buffer.stx_atime.tv_sec, buffer.stx_atime.tv_nsec);
            const qint64 birth = (buffer.stx_mask & STATX_BTIME)
                                     ? toMSecs(buffer.stx_btime.tv_sec, buffer.stx_btime.tv_nsec)
                                     : NodeTimes::Invalid;
            result.times.created = NodeTimes::createdFrom(
                birth, toMSecs(buffer.stx_ctime.tv_sec, buffer.stx_ctime.tv_nsec), result.times.lastModified);
            return true;
        }
        if (errno != ENOSYS)
            return false;
        statxMissing.store(true, std::memory_order_relaxed);
    }
#endif
    struct stat buffer;
    if (::fstatat(folder, name, &buffer, flags) != 0)
        return false;
    fillFrom(buffer, result);
    return true;
}

bool folderIdOf(int fd, FolderId& id)
{
    struct stat buffer;
    if (::fstat(fd, &buffer) != 0)
        return false;
    id = {buffer.st_dev, buffer.st_ino};
    return true;
}

// The length of the regular file a link reaches, read by opening it through
// the link; 0 when it cannot be opened for reading. Only called once the link
// is known to reach a regular file: a FIFO or device is never opened.
qint64 linkedFileSize(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return 0;
    qint64 size = 0;
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        size = end > 0 ? qint64(end) : 0;
    }
    ::close(fd);
    return size;
}

const int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Opens a subfolder of an open folder for listing. A link that has taken
// the subfolder's place since it was listed is not followed.
int openSubfolder(int folder, const char* name)
{
    return ::openat(folder, name, FolderFlags | O_NOFOLLOW);
}

// Opens the root folder by its path (following links, as the user named
// it). A path longer than the system takes in one call is opened one
// component at a time; this happens once per scan.
int openRoot(const QByteArray& path)
{
    int fd = ::open(path.constData(), FolderFlags);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    int at = ::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const QList<QByteArray> parts = path.split('/');
    int remaining = 0;
    for (const QByteArray& part : parts)
        remaining += part.isEmpty() ? 0 : 1;
    for (const QByteArray& part : parts) {
        if (at < 0)
            return -1;
        if (part.isEmpty())
            continue;
        --remaining;
        const int next = ::openat(at, part.constData(), remaining == 0 ? FolderFlags : (O_PATH | O_DIRECTORY | O_CLOEXEC));
        ::close(at);
        at = next;
    }
    return at;
}

// A subfolder found by a listing: its exact name, to open it by, and which
// folder it was, to know it again when it is reached through "..".
struct ChildFolder
{
    QByteArray name;
    FolderId id;
};

// Reads one open folder into its node: its entries in name order, the files
// sharing one record, a node per subfolder.
class FolderReader
{
public:
    explicit FolderReader(const DriveGeometry& geometry) : geometry_(geometry) {}

    // Lists the open folder `fd` into `folder`'s node; `children` receives
    // the subfolders' exact names and identities in the order of the node's
    // subfolders.
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

// The text of a name and whether that text gives the name back exactly.
QString nameText(const char* bytes, int length, bool* exact)
{
    const QString text = NativePath::decodeName(bytes, length);
    *exact = true;
    for (int i = 0; i < length; ++i) {
        if (uchar(bytes[i]) >= 0x80) {
            *exact = QFile::encodeName(text) == QByteArray::fromRawData(bytes, length);
            break;
        }
    }
    return text;
}

FolderSums FolderReader::read(int fd, const DirectoryNodePtr& folder, QVector<ChildFolder>& children)
{
    children.clear();
    entries_.clear();
    if (!readEntries(fd)) {
        entries_.clear(); // a folder that cannot be read: no entries
        return FolderSums();
    }
    order_.resize(entries_.size());
    for (int i = 0; i < order_.size(); ++i)
        order_[i] = i;
    std::sort(order_.begin(), order_.end(),
              [this](int a, int b) { return nameLess(entries_.at(a).key, entries_.at(b).key); });
    const FolderSums sums = build(folder, children);
    entries_.clear();
    return sums;
}

bool FolderReader::readEntries(int fd)
{
    // getdents64 straight into one reused buffer: no directory stream to
    // allocate, and the descriptor stays ours to open subfolders through.
    if (buffer_.isEmpty())
        buffer_.resize(64 * 1024);
    for (;;) {
        const ssize_t read = ::getdents64(fd, buffer_.data(), size_t(buffer_.size()));
        if (read < 0)
            return errno == ENOENT; // a folder removed while open reads as empty
        if (read == 0)
            return true;
        for (ssize_t at = 0; at < read;) {
            const auto* dirent = reinterpret_cast<const struct dirent64*>(buffer_.constData() + at);
            at += dirent->d_reclen;
            const char* name = dirent->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            readEntry(fd, name, dirent->d_type);
        }
    }
}

bool FolderReader::readEntry(int fd, const char* name, unsigned char type)
{
    if (type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK)
        return false; // neither file, link nor folder: skipped, never opened
    Entry entry;
    EntryStat stat;
    if (!statEntry(fd, name, false, stat)) {
        // Gone, or in a folder that may be listed but not searched: only
        // what the folder itself says of the entry is known, as with
        // QFileInfo. A file or link is listed without size or times, a
        // folder without times; an entry of unknown type is skipped.
        if (type == DT_REG || type == DT_LNK)
            entry.kind = Kind::File;
        else if (type == DT_DIR)
            entry.kind = Kind::Directory;
        else
            return false;
    } else if (S_ISLNK(stat.mode)) {
        // A link is a file whose times are those of what it reaches and
        // whose size is the length of the regular file it reaches.
        entry.kind = Kind::File;
        EntryStat target;
        if (statEntry(fd, name, true, target)) {
            entry.times = target.times;
            if (S_ISREG(target.mode))
                entry.size = linkedFileSize(fd, name);
        }
    } else if (S_ISREG(stat.mode)) {
        entry.kind = Kind::File;
        entry.size = stat.size;
        entry.times = stat.times;
    } else if (S_ISDIR(stat.mode)) {
        entry.kind = Kind::Directory;
        entry.times = stat.times;
        entry.id = stat.id;
    } else {
        return false;
    }
    const int length = int(std::strlen(name));
    bool exact = true;
    entry.key = SortName::of(nameText(name, length, &exact));
    if (entry.kind == Kind::Directory || !exact)
        entry.rawName = QByteArray(name, length);
    entries_.append(std::move(entry));
    return true;
}

FolderSums FolderReader::build(const DirectoryNodePtr& folder, QVector<ChildFolder>& children)
{
    DirectoryNode& node = *folder;
    int fileCount = 0;
    int namesLength = 0;
    for (const Entry& entry : qAsConst(entries_)) {
        if (entry.kind == Kind::File) {
            ++fileCount;
            namesLength += entry.key.name.size();
        }
    }
    const int subdirectoryCount = entries_.size() - fileCount;

    // The names of the folder's files in one shared text, with the exact
    // names of those whose text does not give them.
    FileNode::SharedPtr shared;
    if (fileCount > 0) {
        auto* files = new FileNode::Shared;
        files->folder = node.path();
        files->geometry = geometry_;
        files->names.reserve(namesLength);
        for (int index : qAsConst(order_)) {
            const Entry& entry = entries_.at(index);
            if (entry.kind != Kind::File)
                continue;
            if (!entry.rawName.isEmpty())
                files->rawNames.append({files->names.size(), NativePath::fromBytes(entry.rawName)});
            files->names += entry.key.name;
        }
        shared = FileNode::SharedPtr(files);
    }

    FolderSums sums;
    node.reserve(fileCount, subdirectoryCount);
    children.reserve(subdirectoryCount);
    int offset = 0;
    for (int index : qAsConst(order_)) {
        Entry& entry = entries_[index];
        if (entry.kind == Kind::File) {
            const int length = entry.key.name.size();
            node.appendFile(FileNodePtr::create(shared, offset, length, entry.size, entry.times));
            offset += length;
            sums.size = addSaturating(sums.size, entry.size);
            sums.sizeOnDisk = addSaturating(sums.sizeOnDisk, geometry_.roundToClusters(entry.size));
            continue;
        }
        // A subfolder keeps its exact name only where its text does not give it.
        const NativePath exactName = QFile::encodeName(entry.key.name) == entry.rawName
                                         ? NativePath()
                                         : NativePath::fromBytes(entry.rawName);
        node.appendSubdirectory(
            DirectoryNodePtr::create(folder, node.path().child(entry.key.name, exactName), entry.times));
        children.append({std::move(entry.rawName), entry.id});
    }
    return sums;
}

// Lists a tree depth-first, each folder opened relative to its parent's open
// descriptor, never by a path walked again from the top, so the time is
// linear in the number of entries whatever the shape of the tree.
//
// The folders being worked on form a stack of frames, one per level of the
// current path. Only the deepest few frames keep their descriptors open (the
// root's is kept too); a frame reached again after its descriptor was closed
// is reopened through ".." from the frame just left and recognised by its
// device and inode, so descriptors stay bounded at any depth and reopening
// costs one call per level climbed.
class NativeFolderWalk : public FolderWalk
{
public:
    NativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry);
    ~NativeFolderWalk() override;

    DirectoryNodePtr root() const override { return root_; }
    void run(const std::atomic<bool>& cancel, const Listed& listed) override;

private:
    struct Frame
    {
        DirectoryNodePtr node;
        int fd = -1;
        FolderId id;
        QByteArray name;              // its exact name in its parent
        QVector<ChildFolder> children; // its subfolders, listed from the last down
        int next = -1;                // the next subfolder to list
    };

    static constexpr int MaxOpenFrames = 32;

    void push(Frame frame);
    void pop();
    bool reopen(int index, int from, int levels);
    bool reopenByNames(int index);
    bool adopt(int index, int fd);
    void closeFrames();

    DirectoryNodePtr root_;
    FolderReader reader_;
    int rootFd_ = -1;
    QVector<Frame> frames_;
    int lowestOpen_ = 1; // frames 1 .. lowestOpen_-1 have closed descriptors
};

NativeFolderWalk::NativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry)
    : reader_(geometry)
{
    const QFileInfo info(rootPath.toText());
    rootFd_ = openRoot(rootPath.bytes());
    EntryStat stat;
    if (rootFd_ >= 0)
        statEntry(rootFd_, "", false, stat);
    // The root's levels: the folder that holds it, given whole, then its name.
    const FolderPath path = FolderPath::fromText(info.absolutePath(), rootPath.parent())
                                .child(info.fileName(), rootPath.fileName());
    root_ = DirectoryNodePtr::create(DirectoryNodePtr(), path, stat.times);
}

NativeFolderWalk::~NativeFolderWalk()
{
    closeFrames();
    if (rootFd_ >= 0)
        ::close(rootFd_);
}

void NativeFolderWalk::run(const std::atomic<bool>& cancel, const Listed& listed)
{
    if (cancel.load(std::memory_order_relaxed))
        return;
    Frame top;
    top.node = root_;
    if (rootFd_ < 0) {
        listed(*root_, FolderSums()); // cannot be read: an empty folder
        return;
    }
    listed(*root_, reader_.read(rootFd_, root_, top.children));
    top.fd = rootFd_; // the root frame owns it now
    rootFd_ = -1;
    folderIdOf(top.fd, top.id);
    top.next = top.children.size() - 1;
    push(std::move(top));

    while (!frames_.isEmpty() && !cancel.load(std::memory_order_relaxed)) {
        Frame& parent = frames_.last();
        if (parent.next < 0) {
            pop();
            continue;
        }
        const int index = parent.next--;
        Frame child;
        child.node = parent.node->subdirectory(index);
        child.name = std::move(parent.children[index].name);
        child.id = parent.children.at(index).id;
        child.fd = openSubfolder(parent.fd, child.name.constData());
        if (child.fd < 0) {
            listed(*child.node, FolderSums()); // cannot be read: an empty folder
            continue;
        }
        listed(*child.node, reader_.read(child.fd, child.node, child.children));
        if (child.children.isEmpty()) {
            ::close(child.fd);
            continue;
        }
        child.next = child.children.size() - 1;
        push(std::move(child));
    }
    closeFrames();
}

void NativeFolderWalk::push(Frame frame)
{
    frames_.append(std::move(frame));
    // Too many open: close the one furthest up, short of the root.
    if (frames_.size() - lowestOpen_ + 1 > MaxOpenFrames && lowestOpen_ < frames_.size() - 1) {
        ::close(frames_[lowestOpen_].fd);
        frames_[lowestOpen_].fd = -1;
        ++lowestOpen_;
    }
}

void NativeFolderWalk::pop()
{
    // Leave the finished frames; the frame whose subfolders come next must
    // be open, and is reached from the folder just left.
    const int leftIndex = frames_.size() - 1;
    Frame left = frames_.takeLast();
    while (!frames_.isEmpty() && frames_.last().next < 0) {
        if (frames_.last().fd >= 0)
            ::close(frames_.last().fd);
        frames_.removeLast();
    }
    const int index = frames_.size() - 1;
    if (index >= 0 && frames_.last().fd < 0) {
        if (!reopen(index, left.fd, leftIndex - index) && !reopenByNames(index))
            frames_.last().next = -1; // gone: its remaining subfolders stay empty
        lowestOpen_ = qMax(1, index);
    }
    if (left.fd >= 0)
        ::close(left.fd);
}

// Reopens frame `index` through ".." from `from`, the descriptor of a folder
// `levels` levels below it; true when the folder reached is the one listed
// there (not one renamed into its place since).
bool NativeFolderWalk::reopen(int index, int from, int levels)
{
    if (from < 0)
        return false;
    int fd = from;
    while (levels > 0) {
        // "../../.." climbs many levels in one call; a path has a length limit.
        const int step = qMin(levels, 1000);
        QByteArray up;
        up.reserve(step * 3);
        for (int i = 0; i < step; ++i)
            up += i == 0 ? ".." : "/..";
        levels -= step;
        const int next = ::openat(fd, up.constData(), levels == 0 ? FolderFlags : (O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (fd != from)
            ::close(fd);
        if (next < 0)
            return false;
        fd = next;
    }
    return adopt(index, fd);
}

// Reopens frame `index` by the names of the levels down to it from the
// nearest frame above it that is open (the root's always is). Only needed
// when ".." no longer leads there: something was renamed meanwhile.
bool NativeFolderWalk::reopenByNames(int index)
{
    int open = index - 1;
    while (open > 0 && frames_.at(open).fd < 0)
        --open;
    int fd = frames_.at(open).fd;
    for (int level = open + 1; level <= index && fd >= 0; ++level) {
        const int flags = level == index ? FolderFlags : (O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int next = ::openat(fd, frames_.at(level).name.constData(), flags | O_NOFOLLOW);
        if (fd != frames_.at(open).fd)
            ::close(fd);
        fd = next;
    }
    return fd >= 0 && adopt(index, fd);
}

// Keeps `fd` as frame `index`'s descriptor when it is that frame's folder.
bool NativeFolderWalk::adopt(int index, int fd)
{
    FolderId id;
    if (!folderIdOf(fd, id) || !(id == frames_.at(index).id)) {
        ::close(fd);
        return false;
    }
    frames_[index].fd = fd;
    return true;
}

void NativeFolderWalk::closeFrames()
{
    for (Frame& frame : frames_) {
        if (frame.fd >= 0)
            ::close(frame.fd);
    }
    frames_.clear();
    lowestOpen_ = 1;
}

} // namespace

std::unique_ptr<FolderWalk> FolderWalk::create(ListingMethod method, const NativePath& rootPath,
                                               const DriveGeometry& geometry)
{
    if (method == ListingMethod::QtFileInfo)
        return std::make_unique<QtFolderWalk>(rootPath, geometry);
    return std::make_unique<NativeFolderWalk>(rootPath, geometry);
}

} // namespace korvo
