#include "Platform.h"

#include "EntryStat_posix.h"
#include "FolderHandle.h"

#include <QDir>
#include <QFile>
#include <QVector>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace korvo::platform {

namespace {

void storeError(qint64* errorCode, int code)
{
    if (errorCode)
        *errorCode = code;
}

bool failWith(int code, qint64* errorCode)
{
    storeError(errorCode, code);
    return false;
}

// Hands an open descriptor to the QFile, which closes it from then on; on
// failure the descriptor is closed here and the error is EIO.
bool adoptDescriptor(int fd, QFile& file, QIODevice::OpenMode mode, qint64* errorCode)
{
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return failWith(EIO, errorCode);
}

} // namespace

DriveGeometry driveGeometry(const NativePath& absoluteFolderPath)
{
    DriveGeometry geometry;
    // No drive letters here: the cluster is the fragment size (else the block
    // size) of the file system that holds the folder.
    struct statvfs info;
    if (::statvfs(absoluteFolderPath.constData(), &info) != 0)
        return geometry;
    const qint64 cluster = info.f_frsize > 0 ? qint64(info.f_frsize) : qint64(info.f_bsize);
    if (cluster <= 0)
        return geometry;
    geometry.sectorsPerCluster = 1;
    geometry.bytesPerSector = cluster;
    return geometry;
}

qint64 linkTargetSize(const NativePath& path)
{
    // Look first, open only a regular file: opening a FIFO could block and a
    // device could have side effects.
    struct stat target;
    if (::stat(path.constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return 0;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return 0;
    qint64 size = 0;
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode))
        size = qint64(opened.st_size);
    ::close(fd);
    return size;
}

bool moveByLinking(const NativePath& source, const NativePath& destination, qint64* errorCode)
{
    const char* from = source.constData();
    const char* to = destination.constData();
    struct stat info;
    if (::lstat(from, &info) != 0)
        return failWith(errno, errorCode);
    // A folder cannot be hard-linked, and a copy-and-delete of a whole tree
    // is exactly the risk this move exists to avoid: refuse.
    if (S_ISDIR(info.st_mode))
        return failWith(EINVAL, errorCode);
    // linkat never replaces an existing entry, and with no flags it links a
    // symbolic link itself, not what it points to.
    if (::linkat(AT_FDCWD, from, AT_FDCWD, to, 0) != 0)
        return failWith(errno, errorCode);
    if (::unlink(from) != 0) {
        const int code = errno;
        ::unlink(to); // the source is still there: drop the new name again
        return failWith(code, errorCode);
    }
    return true;
}

bool moveWithoutReplacing(const NativePath& source, const NativePath& destination, qint64* errorCode)
{
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), RENAME_NOREPLACE) == 0)
        return true;
    const int code = errno;
    // EINVAL: the file system does not know the flag (or a folder would go
    // into itself, which the fallback refuses as well); ENOSYS: the kernel
    // lacks the call. A plain rename() is never used: it would silently
    // replace an existing destination.
    if (code == EINVAL || code == ENOSYS)
        return moveByLinking(source, destination, errorCode);
    return failWith(code, errorCode);
}

bool identityOf(const NativePath& path, FileIdentity* identity, EntryKind* kind, qint64* size, qint64* errorCode)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        return failWith(errno, errorCode);
    if (identity)
        *identity = identityOfStat(info);
    if (kind)
        *kind = kindOfStat(info);
    if (size)
        *size = qint64(info.st_size);
    return true;
}

bool createFolder(const NativePath& path, qint64* errorCode)
{
    // mkdir fails with EEXIST on any entry of that name, a dangling link too.
    return ::mkdir(path.constData(), 0777) == 0 || failWith(errno, errorCode);
}

bool removeEmptyFolder(const NativePath& path, qint64* errorCode)
{
    return ::rmdir(path.constData()) == 0 || failWith(errno, errorCode);
}

bool isNotFound(qint64 errorCode)
{
    return errorCode == ENOENT;
}

bool isAlreadyExists(qint64 errorCode)
{
    return errorCode == EEXIST;
}

QString errorText(qint64 errorCode)
{
    return qt_error_string(int(errorCode));
}

bool createNewFile(const NativePath& path, QFile& file, qint64* errorCode)
{
    // O_EXCL with O_CREAT never follows a link and fails on any existing
    // entry, so nothing that is there already can be written through.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return failWith(errno, errorCode);
    if (!adoptDescriptor(fd, file, QIODevice::WriteOnly, errorCode)) {
        ::unlink(path.constData());
        return false;
    }
    return true;
}

bool removeCreatedFile(const NativePath& path, QFile& file, qint64* errorCode)
{
    // While the file is open, compare what the name leads to with it before
    // unlinking: an entry that took its place meanwhile is not ours.
    if (file.isOpen()) {
        struct stat opened;
        struct stat named;
        const bool same = ::fstat(file.handle(), &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
                          opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
        file.close();
        if (!same)
            return failWith(EEXIST, errorCode);
    }
    return ::unlink(path.constData()) == 0 || failWith(errno, errorCode);
}

namespace {

bool isSpecial(mode_t mode)
{
    return !S_ISREG(mode) && !S_ISDIR(mode);
}

// A write into a FIFO whose reader has gone raises SIGPIPE, which ends the
// program by default. Ignored, the write fails with EPIPE and the export
// reports it. A handler the program installed itself is kept.
void ignoreBrokenPipe()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current;
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            !(current.sa_flags & SA_SIGINFO))
            ::signal(SIGPIPE, SIG_IGN);
    });
}

} // namespace

SpecialFile openSpecialFile(const NativePath& path, QFile& file, qint64* errorCode)
{
    struct stat target;
    if (::stat(path.constData(), &target) != 0 || !isSpecial(target.st_mode))
        return SpecialFile::None;
    ignoreBrokenPipe();
    // Neither O_CREAT nor O_TRUNC: only what is there is written. O_NOCTTY
    // keeps a terminal from becoming the program's controlling terminal.
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        storeError(errorCode, errno);
        return SpecialFile::Failed;
    }
    // The entry may have been swapped for a regular file since the look.
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !isSpecial(opened.st_mode)) {
        ::close(fd);
        return SpecialFile::None;
    }
    return adoptDescriptor(fd, file, QIODevice::WriteOnly, errorCode) ? SpecialFile::Opened : SpecialFile::Failed;
}

bool listFolder(const NativePath& folder, QVector<FolderEntry>& entries, qint64* errorCode)
{
    FolderHandle handle;
    return FolderHandle::open(folder, &handle, errorCode) && handle.list(entries, errorCode);
}

namespace {

// Hands a freshly opened descriptor to `file` when it is a regular file.
OpenResult adoptRegularFile(int fd, QFile& file, qint64* errorCode)
{
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return OpenResult::NotAFile;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return adoptDescriptor(fd, file, QIODevice::ReadOnly | QIODevice::Unbuffered, errorCode) ? OpenResult::Opened
                                                                                           : OpenResult::Failed;
}

// Why opening `name` in the folder `dir` failed with `code`: a link there
// (which O_NOFOLLOW refused) is told apart from a missing entry.
OpenResult openFailure(int dir, const char* name, int code, qint64* errorCode)
{
    struct stat info;
    if (::fstatat(dir, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        return OpenResult::Link;
    if (code == ENOENT || code == ENOTDIR)
        return OpenResult::Missing;
    storeError(errorCode, code);
    return OpenResult::Failed;
}

bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != "..";
}

} // namespace

OpenResult openForReading(const NativePath& path, QFile& file, qint64* errorCode)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused
    // below anyway, and a regular file ignores the flag.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR)
            return OpenResult::Missing;
        storeError(errorCode, code);
        return OpenResult::Failed;
    }
    return adoptRegularFile(fd, file, errorCode);
}

OpenResult openBelow(const NativePath& folder, const QByteArray& relativePath, QFile& file, qint64* errorCode)
{
    const QByteArrayList names = relativePath.split('/');
    for (const QByteArray& name : names) {
        if (!isPlainName(name)) {
            storeError(errorCode, EINVAL);
            return OpenResult::Failed;
        }
    }
    // One level at a time, each folder opened relative to the one above
    // with O_NOFOLLOW: a link at any level is refused, and a folder renamed
    // or replaced meanwhile cannot redirect the levels below it. O_PATH
    // needs no read permission on the folders, as a plain path lookup.
    int dir = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR)
            return OpenResult::Missing;
        storeError(errorCode, code);
        return OpenResult::Failed;
    }
    for (int i = 0; i + 1 < names.size(); ++i) {
        const int next = ::openat(dir, names.at(i).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int code = errno;
        if (next < 0) {
            const OpenResult result = openFailure(dir, names.at(i).constData(), code, errorCode);
            ::close(dir);
            return result;
        }
        ::close(dir);
        dir = next;
    }
    const char* last = names.last().constData();
    const int fd = ::openat(dir, last, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    const int code = errno;
    const OpenResult result = fd < 0 ? openFailure(dir, last, code, errorCode) : adoptRegularFile(fd, file, errorCode);
    ::close(dir);
    return result;
}

bool removeFile(const NativePath& path)
{
    return ::unlink(path.constData()) == 0;
}

NativePath currentFolder()
{
    // getcwd's own bytes: QDir::currentPath() would decode them to text.
    QByteArray buffer(4096, '\0');
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return NativePath::fromText(QDir::currentPath());
        buffer.resize(buffer.size() * 2);
    }
    return NativePath::fromBytes(QByteArray(buffer.constData()));
}

bool entryExists(const NativePath& path, bool* isFolder)
{
    struct stat info;
    if (path.isEmpty() || ::stat(path.constData(), &info) != 0)
        return false;
    if (isFolder)
        *isFolder = S_ISDIR(info.st_mode);
    return true;
}

bool writeAll(QFile& file, const QByteArray& data, qint64* errorCode)
{
    if (!file.flush())
        return failWith(EIO, errorCode);
    const char* next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(file.handle(), next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return failWith(written < 0 ? errno : EIO, errorCode);
        next += written;
        left -= written;
    }
    return true;
}

bool syncFile(QFile& file, qint64* errorCode)
{
    if (!file.flush())
        return failWith(EIO, errorCode);
    return ::fsync(file.handle()) == 0 || failWith(errno, errorCode);
}

namespace {

bool syncOpened(const NativePath& path, int flags, qint64* errorCode)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return failWith(errno, errorCode);
    const bool synced = ::fsync(fd) == 0 || failWith(errno, errorCode);
    ::close(fd);
    return synced;
}

} // namespace

bool syncWritten(const NativePath& file, qint64* errorCode)
{
    return syncOpened(file, O_NOFOLLOW | O_NOCTTY, errorCode);
}

bool syncFolder(const NativePath& folder, qint64* errorCode)
{
    return syncOpened(folder, O_DIRECTORY, errorCode);
}

FolderLevel checkFolderLevel(const NativePath& path, qint64* errorCode)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0) {
        storeError(errorCode, errno);
        return errno == ENOENT ? FolderLevel::Missing : FolderLevel::Failed;
    }
    if (S_ISLNK(info.st_mode))
        return FolderLevel::Link;
    if (!S_ISDIR(info.st_mode))
        return FolderLevel::NotAFolder;
    if (info.st_uid != ::geteuid())
        return FolderLevel::OtherOwner;
    return (info.st_mode & (S_IWGRP | S_IWOTH)) ? FolderLevel::Shared : FolderLevel::Folder;
}

namespace {

// The identity of the mount that holds a path: the device number and, where
// the kernel gives it, the mount id (which also tells bind mounts of one
// file system apart: a rename between them fails like one across devices).
bool mountOf(const NativePath& path, quint64* device, quint64* mountId)
{
#if defined(STATX_MNT_ID)
    struct statx info;
    if (::statx(AT_FDCWD, path.constData(), 0, STATX_INO | STATX_MNT_ID, &info) == 0) {
        *device = (quint64(info.stx_dev_major) << 32) | quint64(info.stx_dev_minor);
        *mountId = (info.stx_mask & STATX_MNT_ID) ? quint64(info.stx_mnt_id) : 0;
        return true;
    }
#endif
    struct stat plain;
    if (::stat(path.constData(), &plain) != 0)
        return false;
    *device = quint64(plain.st_dev);
    *mountId = 0;
    return true;
}

// The folder's real path (through links, so that a link to another volume
// leads to that volume), or the path as given when it cannot be resolved.
NativePath realPathOf(const NativePath& folder)
{
    char* resolved = ::realpath(folder.constData(), nullptr);
    if (!resolved)
        return folder;
    const NativePath real = NativePath::fromBytes(QByteArray(resolved));
    std::free(resolved);
    return real;
}

// The folder and every folder above it on the same mount, the mount point
// last.
QVector<NativePath> foldersUpToMountPoint(const NativePath& folder)
{
    QVector<NativePath> chain{folder};
    quint64 device = 0;
    quint64 mountId = 0;
    if (!mountOf(folder, &device, &mountId))
        return chain;
    while (chain.last().bytes() != "/") {
        const NativePath parent = chain.last().parent();
        quint64 parentDevice = 0;
        quint64 parentMountId = 0;
        if (parent.isEmpty() || parent == chain.last()
            || !mountOf(parent, &parentDevice, &parentMountId) || parentDevice != device
            || parentMountId != mountId)
            break;
        chain.append(parent);
    }
    return chain;
}

} // namespace

QVector<NativePath> foldersUpToVolumeRoot(const NativePath& absoluteFolderPath)
{
    return foldersUpToMountPoint(realPathOf(absoluteFolderPath));
}

bool mayCreateIn(const NativePath& folder)
{
    return ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

} // namespace korvo::platform
