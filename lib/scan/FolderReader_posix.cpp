#include "FolderReader.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "SaturatingSum.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvo::listing {

namespace {

const int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

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



// True when every character of the name has a Latin-1 byte.
bool isLatin1(const SortName& key)
{
    if (key.asciiOnly)
        return true;
    for (const QChar c : key.name) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Appends a name known to be Latin-1 text as its bytes, within the room
// reserved beforehand.
void appendLatin1(QByteArray& names, const QString& name)
{
    const int at = names.size();
    names.resize(at + name.size());
    char* out = names.data() + at;
    for (const QChar c : name)
        *out++ = char(c.unicode());
}

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

} // namespace

int folderFlags()
{
    return FolderFlags;
}

bool folderIdOf(int fd, FolderId& id)
{
    struct stat buffer;
    if (::fstat(fd, &buffer) != 0)
        return false;
    id = {buffer.st_dev, buffer.st_ino};
    return true;
}

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

NodeTimes folderTimes(int fd)
{
    EntryStat stat;
    statEntry(fd, "", false, stat);
    return stat.times;
}

FolderSums FolderReader::read(int fd, const DirectoryNodePtr& folder, QVector<ChildFolder>& children)
{
    children.clear();
    entries_.clear();
    if (!readEntries(fd)) {
        FolderSums unread;
        unread.error = errno;
        entries_.clear(); // a folder that cannot be read: no entries
        return unread;
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
    const bool statted = statEntry(fd, name, false, stat);
    if (statted) {
        // What the entry itself is (a link's own identity, not its target's).
        entry.id = stat.id;
        entry.identified = true;
    }
    if (!statted) {
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
    bool latin1 = true;
    for (const Entry& entry : qAsConst(entries_)) {
        if (entry.kind == Kind::File) {
            ++fileCount;
            namesLength += entry.key.name.size();
            latin1 = latin1 && isLatin1(entry.key);
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
        if (latin1)
            files->latin1Names.reserve(namesLength);
        else
            files->names.reserve(namesLength);
        int offset = 0;
        for (int index : qAsConst(order_)) {
            const Entry& entry = entries_.at(index);
            if (entry.kind != Kind::File)
                continue;
            if (!entry.rawName.isEmpty())
                files->rawNames.append({offset, NativePath::fromBytes(entry.rawName)});
            if (latin1)
                appendLatin1(files->latin1Names, entry.key.name);
            else
                files->names += entry.key.name;
            offset += entry.key.name.size();
        }
        shared = FileNode::SharedPtr(files);
    }

    // The root's entries are what packages hold: their identities let a move
    // tell the scanned item from another put in its place since.
    std::vector<std::pair<const iPackagable*, FileIdentity>> identities;
    const bool isRoot = node.depth() == 0;
    if (isRoot)
        identities.reserve(size_t(entries_.size()));
    auto identify = [&](const iPackagable* item, const Entry& entry) {
        if (isRoot && entry.identified)
            identities.emplace_back(item, FileIdentity{quint64(entry.id.device), quint64(entry.id.inode)});
    };

    FolderSums sums;
    node.reserve(fileCount, subdirectoryCount);
    children.reserve(subdirectoryCount);
    int offset = 0;
    for (int index : qAsConst(order_)) {
        Entry& entry = entries_[index];
        if (entry.kind == Kind::File) {
            const int length = entry.key.name.size();
            const FileNodePtr file = FileNodePtr::create(shared, offset, length, entry.size, entry.times);
            node.appendFile(file);
            identify(file.data(), entry);
            offset += length;
            sums.size = addSaturating(sums.size, entry.size);
            sums.sizeOnDisk = addSaturating(sums.sizeOnDisk, geometry_.roundToClusters(entry.size));
            continue;
        }
        // A subfolder keeps its exact name only where its text does not give it.
        const NativePath exactName = QFile::encodeName(entry.key.name) == entry.rawName
                                         ? NativePath()
                                         : NativePath::fromBytes(entry.rawName);
        const DirectoryNodePtr subfolder =
            DirectoryNodePtr::create(folder, node.path().child(entry.key.name, exactName), entry.times);
        node.appendSubdirectory(subfolder);
        identify(subfolder.data(), entry);
        children.append({std::move(entry.rawName), entry.id});
    }
    if (isRoot)
        node.setChildIdentities(std::make_unique<const ChildIdentities>(std::move(identities)));
    return sums;
}

} // namespace korvo::listing
