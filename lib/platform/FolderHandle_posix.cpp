#include "FolderHandle.h"

#include "EntryStat_posix.h"

#include <QFile>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <dirent.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvo::platform {

namespace {

bool failWith(int code, qint64* errorCode)
{
    if (errorCode)
        *errorCode = code;
    return false;
}

// renameat2 without replacing; where the file system lacks the flag, a
// hard link and an unlink of the old name, which never replaces either
// (folders cannot be linked, so they are refused then).
bool renameNoReplace(int fromFolder, const char* from, int toFolder, const char* to, qint64* errorCode)
{
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return true;
    const int code = errno;
    if (code != EINVAL && code != ENOSYS)
        return failWith(code, errorCode);
    struct stat info;
    if (::fstatat(fromFolder, from, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return failWith(errno, errorCode);
    if (S_ISDIR(info.st_mode))
        return failWith(EINVAL, errorCode);
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0)
        return failWith(errno, errorCode);
    if (::unlinkat(fromFolder, from, 0) != 0) {
        const int unlinkCode = errno;
        ::unlinkat(toFolder, to, 0);
        return failWith(unlinkCode, errorCode);
    }
    return true;
}

} // namespace

FolderHandle::~FolderHandle()
{
    close();
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : path_(other.path_), fd_(other.fd_)
{
    other.fd_ = -1;
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept
{
    if (this != &other) {
        close();
        path_ = other.path_;
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void FolderHandle::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool FolderHandle::isOpen() const
{
    return fd_ >= 0;
}

bool FolderHandle::open(const NativePath& path, FolderHandle* folder, qint64* errorCode)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failWith(errno, errorCode);
    folder->close();
    folder->fd_ = fd;
    folder->path_ = path;
    return true;
}

// Levels korvo makes are writable by their owner alone: the rules for a
// base folder refuse one that others may write to.
const mode_t LevelMode = 0755;

FolderLevel FolderHandle::openLevel(const NativePath& name, bool create, FolderHandle* level, qint64* errorCode) const
{
    if (create && ::mkdirat(fd_, name.constData(), LevelMode) == 0) {
        // The new level's name lasts before anything goes into it.
        if (!sync(errorCode))
            return FolderLevel::Failed;
    } else if (create && errno != EEXIST) {
        failWith(errno, errorCode);
        return FolderLevel::Failed;
    }
    // O_NOFOLLOW fails with ELOOP on a link; O_DIRECTORY with ENOTDIR on
    // anything but a folder. The owner is read from what was opened.
    const int fd = ::openat(fd_, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        failWith(code, errorCode);
        if (code == ENOENT)
            return FolderLevel::Missing;
        // A link fails with ELOOP, or with ENOTDIR where O_DIRECTORY is
        // checked first: look at the entry itself to tell.
        struct stat entry;
        if ((code == ELOOP || code == ENOTDIR) && ::fstatat(fd_, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0)
            return S_ISLNK(entry.st_mode) ? FolderLevel::Link : FolderLevel::NotAFolder;
        return FolderLevel::Failed;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        failWith(errno, errorCode);
        ::close(fd);
        return FolderLevel::Failed;
    }
    if (info.st_uid != ::geteuid()) {
        ::close(fd);
        return FolderLevel::OtherOwner;
    }
    level->close();
    level->fd_ = fd;
    level->path_ = path_.child(name);
    return (info.st_mode & (S_IWGRP | S_IWOTH)) ? FolderLevel::Shared : FolderLevel::Folder;
}

bool FolderHandle::list(QVector<FolderEntry>& entries, qint64* errorCode) const
{
    // A descriptor of its own for the stream, which closes it.
    const int fd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* stream = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!stream) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        return failWith(code, errorCode);
    }
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        FolderEntry found;
        found.name = NativePath::fromBytes(QByteArray(name));
        struct stat info;
        if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue; // gone since it was listed
            found.kind = FolderEntry::File;
        } else if (S_ISREG(info.st_mode)) {
            found.kind = FolderEntry::File;
            found.size = qint64(info.st_size);
        } else if (S_ISDIR(info.st_mode)) {
            found.kind = FolderEntry::Folder;
        }
        entries.append(found);
        errno = 0;
    }
    const int code = errno;
    ::closedir(stream);
    return code == 0 || failWith(code, errorCode);
}

bool FolderHandle::entryOf(const NativePath& name, FileIdentity* identity, EntryKind* kind, qint64* errorCode) const
{
    struct stat info;
    if (::fstatat(fd_, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return failWith(errno, errorCode);
    if (identity)
        *identity = identityOfStat(info);
    if (kind)
        *kind = kindOfStat(info);
    return true;
}

OpenResult FolderHandle::openFile(const NativePath& name, QFile& file, bool* ownedByUser, qint64* errorCode) const
{
    // O_NONBLOCK: a FIFO must not hold the open; it is refused below.
    const int fd = ::openat(fd_, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        struct stat entry;
        if (::fstatat(fd_, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(entry.st_mode))
            return OpenResult::Link;
        if (code == ENOENT)
            return OpenResult::Missing;
        if (code == ENXIO || code == ENODEV)
            return OpenResult::NotAFile; // a socket or a device without its driver
        failWith(code, errorCode);
        return OpenResult::Failed;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return OpenResult::NotAFile;
    }
    *ownedByUser = info.st_uid == ::geteuid();
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        failWith(EIO, errorCode);
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

bool FolderHandle::createFile(const NativePath& name, QFile& file, qint64* errorCode) const
{
    // O_EXCL with O_CREAT never follows a link and fails on any entry.
    const int fd = ::openat(fd_, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return failWith(errno, errorCode);
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlinkat(fd_, name.constData(), 0);
        return failWith(EIO, errorCode);
    }
    return true;
}

bool FolderHandle::rename(const NativePath& from, const NativePath& to, qint64* errorCode) const
{
    return renameNoReplace(fd_, from.constData(), fd_, to.constData(), errorCode);
}

bool FolderHandle::removeFile(const NativePath& name, qint64* errorCode) const
{
    return ::unlinkat(fd_, name.constData(), 0) == 0 || failWith(errno, errorCode);
}

namespace {

// One try at the lock file: Taken with `fd` set, Busy while another holds
// it, or Failed. A file that another holder removed on release after this
// one opened it does not count: the lock is taken only while the name still
// leads to the locked file.
FolderHandle::LockResult tryLock(int folder, const NativePath& name, int* fd, qint64* errorCode)
{
    // O_NOFOLLOW refuses a link even with O_CREAT; O_NONBLOCK keeps a FIFO
    // planted under the name from holding the open.
    *fd = ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                   0600);
    if (*fd < 0) {
        failWith(errno, errorCode);
        return FolderHandle::LockResult::Failed;
    }
    struct stat opened;
    if (::fstat(*fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid()) {
        ::close(*fd);
        failWith(EPERM, errorCode);
        return FolderHandle::LockResult::Failed;
    }
    if (::flock(*fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(*fd);
        if (code == EWOULDBLOCK || code == EINTR)
            return FolderHandle::LockResult::Busy;
        failWith(code, errorCode);
        return FolderHandle::LockResult::Failed;
    }
    struct stat named;
    if (::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev
        && named.st_ino == opened.st_ino)
        return FolderHandle::LockResult::Taken;
    ::close(*fd);
    return FolderHandle::LockResult::Busy; // released and removed meanwhile: try again
}

} // namespace

FolderHandle::LockResult FolderHandle::lock(const NativePath& name, int waitMilliseconds, FolderLock* lock,
                                            qint64* errorCode) const
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        int fd = -1;
        const LockResult result = tryLock(fd_, name, &fd, errorCode);
        if (result == LockResult::Failed)
            return result;
        if (result == LockResult::Taken) {
            lock->release();
            lock->handle_ = fd;
            lock->folder_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
            lock->name_ = name;
            return result;
        }
        if (waited.elapsed() >= waitMilliseconds)
            return LockResult::Busy;
        QThread::msleep(50);
    }
}

bool FolderHandle::createFolder(const NativePath& name, qint64* errorCode) const
{
    return ::mkdirat(fd_, name.constData(), 0777) == 0 || failWith(errno, errorCode);
}

bool FolderHandle::moveInto(const NativePath& source, const NativePath& name, qint64* errorCode) const
{
    return renameNoReplace(AT_FDCWD, source.constData(), fd_, name.constData(), errorCode);
}

bool FolderHandle::moveOut(const NativePath& name, const NativePath& destination, qint64* errorCode) const
{
    return renameNoReplace(fd_, name.constData(), AT_FDCWD, destination.constData(), errorCode);
}

bool FolderHandle::moveTo(const NativePath& name, const FolderHandle& destination, const NativePath& destinationName,
                          qint64* errorCode) const
{
    return renameNoReplace(fd_, name.constData(), destination.fd_, destinationName.constData(), errorCode);
}

bool FolderHandle::removeEmptyFolder(const NativePath& name, qint64* errorCode) const
{
    return ::unlinkat(fd_, name.constData(), AT_REMOVEDIR) == 0 || failWith(errno, errorCode);
}

bool FolderHandle::sync(qint64* errorCode) const
{
    return ::fsync(fd_) == 0 || failWith(errno, errorCode);
}

FolderLock::~FolderLock()
{
    release();
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : handle_(other.handle_), folder_(other.folder_), name_(other.name_)
{
    other.handle_ = -1;
    other.folder_ = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept
{
    if (this != &other) {
        release();
        handle_ = other.handle_;
        folder_ = other.folder_;
        name_ = other.name_;
        other.handle_ = -1;
        other.folder_ = -1;
    }
    return *this;
}

bool FolderLock::isHeld() const
{
    return handle_ >= 0;
}

void FolderLock::release()
{
    // Removed while still locked, then closed, which drops the lock: a
    // waiter that opened the old file sees that its name is gone.
    if (handle_ >= 0 && folder_ >= 0)
        ::unlinkat(folder_, name_.constData(), 0);
    if (handle_ >= 0)
        ::close(int(handle_));
    if (folder_ >= 0)
        ::close(folder_);
    handle_ = -1;
    folder_ = -1;
}

} // namespace korvo::platform
