#include "FolderHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
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

FolderLevel FolderHandle::openLevel(const NativePath& name, bool create, FolderHandle* level, qint64* errorCode) const
{
    if (create && ::mkdirat(fd_, name.constData(), 0777) != 0 && errno != EEXIST) {
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
    if (info.st_uid != ::geteuid() && info.st_uid != 0) {
        ::close(fd);
        return FolderLevel::OtherOwner;
    }
    level->close();
    level->fd_ = fd;
    level->path_ = path_.child(name);
    return FolderLevel::Folder;
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

bool FolderHandle::removeEmptyFolder(const NativePath& name, qint64* errorCode) const
{
    return ::unlinkat(fd_, name.constData(), AT_REMOVEDIR) == 0 || failWith(errno, errorCode);
}

bool FolderHandle::sync(qint64* errorCode) const
{
    return ::fsync(fd_) == 0 || failWith(errno, errorCode);
}

} // namespace korvo::platform
