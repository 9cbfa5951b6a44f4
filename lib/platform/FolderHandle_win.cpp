#include "FolderHandle.h"

#include "AdoptHandle_win.h"
#include "Platform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <windows.h>

namespace korvo::platform {

// Windows: the handle is the folder's path, each level looked at without
// following it as it is opened. Names are moved with MoveFileW, which
// neither replaces an entry nor copies across volumes.

namespace {

bool failWith(DWORD code, qint64* errorCode)
{
    if (errorCode)
        *errorCode = qint64(code);
    return false;
}

bool isMissing(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

} // namespace

FolderHandle::~FolderHandle() = default;

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : path_(other.path_), fd_(other.fd_)
{
    other.path_ = NativePath();
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept
{
    if (this != &other) {
        path_ = other.path_;
        other.path_ = NativePath();
    }
    return *this;
}

void FolderHandle::close()
{
    path_ = NativePath();
}

bool FolderHandle::isOpen() const
{
    return !path_.isEmpty();
}

bool FolderHandle::open(const NativePath& path, FolderHandle* folder, qint64* errorCode)
{
    const DWORD attributes = GetFileAttributesW(path.wide());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failWith(GetLastError(), errorCode);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failWith(ERROR_DIRECTORY, errorCode);
    folder->path_ = path;
    return true;
}

FolderLevel FolderHandle::openLevel(const NativePath& name, bool create, FolderHandle* level, qint64* errorCode) const
{
    const NativePath path = path_.child(name);
    if (create && !CreateDirectoryW(path.wide(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        failWith(GetLastError(), errorCode);
        return FolderLevel::Failed;
    }
    const DWORD attributes = GetFileAttributesW(path.wide());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        failWith(code, errorCode);
        return isMissing(code) ? FolderLevel::Missing : FolderLevel::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return FolderLevel::Link;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return FolderLevel::NotAFolder;
    level->path_ = path;
    return FolderLevel::Folder;
}

bool FolderHandle::list(QVector<FolderEntry>& entries, qint64* errorCode) const
{
    return listFolder(path_, entries, errorCode);
}

bool FolderHandle::entryOf(const NativePath& name, FileIdentity* identity, EntryKind* kind, qint64* errorCode) const
{
    return identityOf(path_.child(name), identity, kind, nullptr, errorCode);
}


OpenResult FolderHandle::openFile(const NativePath& name, QFile& file, bool* ownedByUser, qint64* errorCode) const
{
    const NativePath path = path_.child(name);
    const HANDLE handle = CreateFileW(path.wide(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        failWith(code, errorCode);
        return isMissing(code) ? OpenResult::Missing : OpenResult::Failed;
    }
    BY_HANDLE_FILE_INFORMATION info;
    OpenResult result = OpenResult::Opened;
    if (!GetFileInformationByHandle(handle, &info))
        result = OpenResult::Failed;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        result = OpenResult::Link;
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || GetFileType(handle) != FILE_TYPE_DISK)
        result = OpenResult::NotAFile;
    if (result != OpenResult::Opened) {
        failWith(GetLastError(), errorCode);
        CloseHandle(handle);
        return result;
    }
    // Files below the user's own folders carry the ACLs those give; the
    // owner is not read on Windows.
    *ownedByUser = true;
    return adoptHandle(handle, file, QIODevice::ReadOnly, errorCode) ? OpenResult::Opened : OpenResult::Failed;
}

bool FolderHandle::createFile(const NativePath& name, QFile& file, qint64* errorCode) const
{
    const NativePath path = path_.child(name);
    // CREATE_NEW fails on any existing entry and creates nothing then.
    const HANDLE handle = CreateFileW(path.wide(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failWith(GetLastError(), errorCode);
    if (!adoptHandle(handle, file, QIODevice::WriteOnly, errorCode)) {
        DeleteFileW(path.wide());
        return false;
    }
    return true;
}

bool FolderHandle::rename(const NativePath& from, const NativePath& to, qint64* errorCode) const
{
    return moveWithoutReplacing(path_.child(from), path_.child(to), errorCode);
}

bool FolderHandle::removeFile(const NativePath& name, qint64* errorCode) const
{
    return DeleteFileW(path_.child(name).wide()) || failWith(GetLastError(), errorCode);
}

FolderHandle::LockResult FolderHandle::lock(const NativePath& name, int waitMilliseconds, FolderLock* lock,
                                            qint64* errorCode) const
{
    // Shared with no one: a second open fails with a sharing violation
    // while this one is held, in this process or any other; the file goes
    // when the handle closes.
    const NativePath path = path_.child(name);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const HANDLE handle =
            CreateFileW(path.wide(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            BY_HANDLE_FILE_INFORMATION info;
            if (!GetFileInformationByHandle(handle, &info)
                || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
                CloseHandle(handle);
                failWith(ERROR_ACCESS_DENIED, errorCode);
                return LockResult::Failed;
            }
            lock->release();
            lock->handle_ = qintptr(handle);
            return LockResult::Taken;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_SHARING_VIOLATION) {
            failWith(code, errorCode);
            return LockResult::Failed;
        }
        if (waited.elapsed() >= waitMilliseconds)
            return LockResult::Busy;
        QThread::msleep(50);
    }
}

bool FolderHandle::createFolder(const NativePath& name, qint64* errorCode) const
{
    return CreateDirectoryW(path_.child(name).wide(), nullptr) || failWith(GetLastError(), errorCode);
}

bool FolderHandle::moveInto(const NativePath& source, const NativePath& name, qint64* errorCode) const
{
    return moveWithoutReplacing(source, path_.child(name), errorCode);
}

bool FolderHandle::moveOut(const NativePath& name, const NativePath& destination, qint64* errorCode) const
{
    return moveWithoutReplacing(path_.child(name), destination, errorCode);
}

bool FolderHandle::removeEmptyFolder(const NativePath& name, qint64* errorCode) const
{
    return RemoveDirectoryW(path_.child(name).wide()) || failWith(GetLastError(), errorCode);
}

bool FolderHandle::sync(qint64* errorCode) const
{
    // Windows keeps a folder's entries in the volume's journal and cannot
    // flush a folder opened for reading.
    Q_UNUSED(errorCode)
    return true;
}

FolderLock::~FolderLock()
{
    release();
}

FolderLock::FolderLock(FolderLock&& other) noexcept : handle_(other.handle_), folder_(-1), name_(other.name_)
{
    other.handle_ = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept
{
    if (this != &other) {
        release();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

bool FolderLock::isHeld() const
{
    return handle_ != -1;
}

void FolderLock::release()
{
    if (handle_ != -1)
        CloseHandle(HANDLE(handle_));
    handle_ = -1;
}

} // namespace korvo::platform
