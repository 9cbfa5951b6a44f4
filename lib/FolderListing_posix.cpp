#include "FolderListing.h"

#include "FileNode.h"

#include <QFile>
#include <QTextCodec>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo {

namespace {

// What one stat call tells about an entry.
struct EntryStat
{
    mode_t mode = 0;
    qint64 size = 0;
    NodeTimes times;
};

// Milliseconds since the epoch as QFileInfo counts them; QFileInfo takes the
// epoch itself (0) for "no time".
inline qint64 toMSecs(qint64 seconds, qint64 nanoseconds)
{
    const qint64 msecs = seconds * 1000 + nanoseconds / 1000000;
    return msecs == 0 ? NodeTimes::Invalid : msecs;
}

std::atomic<bool> statxMissing{false};

// Stats `name` relative to the open folder `folder`: the entry itself, or
// with `follow` what a link reaches. statx gives the birth time; kernels
// without it fall back to fstatat, which has none.
bool statEntry(int folder, const char* name, bool follow, EntryStat& result)
{
#ifdef STATX_BTIME
    if (!statxMissing.load(std::memory_order_relaxed)) {
        struct statx buffer;
        if (::statx(folder, name, follow ? 0 : AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &buffer)
            == 0) {
            result.mode = buffer.stx_mode;
            result.size = qint64(buffer.stx_size);
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
    if (::fstatat(folder, name, &buffer, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    result.mode = buffer.st_mode;
    result.size = qint64(buffer.st_size);
    result.times.lastModified = toMSecs(buffer.st_mtim.tv_sec, buffer.st_mtim.tv_nsec);
    result.times.lastRead = toMSecs(buffer.st_atim.tv_sec, buffer.st_atim.tv_nsec);
    result.times.created = NodeTimes::createdFrom(NodeTimes::Invalid,
                                                  toMSecs(buffer.st_ctim.tv_sec, buffer.st_ctim.tv_nsec),
                                                  result.times.lastModified);
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

// Opens a folder for listing. A path longer than the system takes in one
// call is opened one component at a time, so deep folders are still listed.
int openFolder(const QByteArray& path)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;
    int fd = ::open(path.constData(), flags);
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
        const int next = ::openat(at, part.constData(), remaining == 0 ? flags : (O_PATH | O_DIRECTORY | O_CLOEXEC));
        ::close(at);
        at = next;
    }
    return at;
}

bool localeIsUtf8()
{
    static const bool utf8 = QTextCodec::codecForLocale()->mibEnum() == 106;
    return utf8;
}

// A name as Qt decodes file names; names that are not valid in the file name
// encoding keep their valid parts and get U+FFFD for the rest.
QString decodeName(const char* bytes, int length)
{
    bool ascii = true;
    for (int i = 0; i < length && ascii; ++i)
        ascii = uchar(bytes[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes, length);
    if (localeIsUtf8())
        return QString::fromUtf8(bytes, length);
    return QFile::decodeName(QByteArray::fromRawData(bytes, length));
}

enum class Kind : quint8 { File, Directory };

struct Entry
{
    SortName key;
    Kind kind = Kind::File;
    qint64 size = 0;
    NodeTimes times;
    QByteArray nativeName; // folders only: to descend into them
};

// Reused from folder to folder so listing allocates nothing per folder
// beyond the nodes themselves.
thread_local QVector<Entry> entries;
thread_local QVector<int> order;

} // namespace

bool listFolderNative(const PendingFolder& folder, const DriveGeometry& geometry, QVector<PendingFolder>& pending,
                      FolderSums& sums)
{
    DirectoryNode& node = *folder.node;
    const QByteArray& nativePath =
        folder.nativePath.isEmpty() ? nativePathOf(node.absoluteFilePath()) : folder.nativePath;

    const int fd = openFolder(nativePath);
    if (fd < 0)
        return true; // cannot be read: an empty folder
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return true;
    }

    entries.clear();
    while (const struct dirent* dirent = ::readdir(dir)) {
        const char* name = dirent->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        const unsigned char type = dirent->d_type;
        if (type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK)
            continue; // neither file, link nor folder: skipped, never opened

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
                continue;
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
            continue;
        }
        const int length = int(std::strlen(name));
        entry.key = SortName::of(decodeName(name, length));
        if (entry.kind == Kind::Directory)
            entry.nativeName = QByteArray(name, length);
        entries.append(std::move(entry));
    }
    ::closedir(dir); // closes fd too

    order.resize(entries.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [](int a, int b) { return nameLess(entries.at(a).key, entries.at(b).key); });

    // The names of the folder's files in one shared text.
    int fileCount = 0;
    int subdirectoryCount = 0;
    int namesLength = 0;
    for (const Entry& entry : qAsConst(entries)) {
        if (entry.kind == Kind::File) {
            ++fileCount;
            namesLength += entry.key.name.size();
        } else {
            ++subdirectoryCount;
        }
    }
    const QString& folderPath = node.absoluteFilePath();
    FileNode::SharedPtr shared;
    if (fileCount > 0) {
        auto* files = new FileNode::Shared;
        files->absolutePath = folderPath;
        files->geometry = geometry;
        files->names.reserve(namesLength);
        for (int index : qAsConst(order)) {
            const Entry& entry = entries.at(index);
            if (entry.kind == Kind::File)
                files->names += entry.key.name;
        }
        shared = FileNode::SharedPtr(files);
    }

    node.reserve(fileCount, subdirectoryCount);
    int offset = 0;
    for (int index : qAsConst(order)) {
        Entry& entry = entries[index];
        if (entry.kind == Kind::File) {
            const qint64 sizeOnDisk = geometry.roundToClusters(entry.size);
            const int length = entry.key.name.size();
            node.appendFile(FileNodePtr::create(shared, offset, length, entry.size, entry.times));
            offset += length;
            sums.size += entry.size;
            sums.sizeOnDisk += sizeOnDisk;
        } else {
            const DirectoryNodePtr sub =
                DirectoryNodePtr::create(folder.node, folderPath, entry.key.name, entry.times);
            node.appendSubdirectory(sub);
            QByteArray childPath;
            childPath.reserve(nativePath.size() + 1 + entry.nativeName.size());
            childPath += nativePath;
            if (!nativePath.endsWith('/'))
                childPath += '/';
            childPath += entry.nativeName;
            pending.append(PendingFolder{sub, childPath});
        }
    }
    entries.clear();
    return true;
}

} // namespace korvo
