#include "FolderHandle.h"

#include "AdoptHandle_win.h"
#include "Platform.h"
#include "TransientRetry.h"
#include "WinEntries_win.h"
#include "WinPath_win.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <windows.h>

namespace korvo::platform {

// Windows: each open folder holds a handle on itself, opened without
// following a reparse point and shared with readers and writers but not
// with deletion, so the folder cannot be renamed, removed or swapped for a
// junction while it is held; the handle also keeps the levels above it
// open. Entries are named by the folder's path in the extended-length form.
// Names are moved with MoveFileExW, which neither replaces an entry nor
// copies across volumes.

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

// One open folder and the level above it, closed when the last holder goes.
struct HeldFolder
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::shared_ptr<void> above;
    ~HeldFolder()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

// Opens a folder for holding, with listing access: a handle that reads
// attributes only would not keep others from renaming it. `ownPoint`: take a reparse point as itself
// (a level), rather than following it (a path given whole).
HANDLE openHeld(const NativePath& path, bool ownPoint)
{
    return CreateFileW(WinPath(path), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (ownPoint ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                       nullptr);
}

} // namespace

FolderHandle::~FolderHandle() = default;

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : path_(other.path_), fd_(other.fd_), held_(std::move(other.held_))
{
    other.path_ = NativePath();
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept
{
    if (this != &other) {
        path_ = other.path_;
        held_ = std::move(other.held_);
        other.path_ = NativePath();
    }
    return *this;
}

void FolderHandle::close()
{
    path_ = NativePath();
    held_.reset();
}

bool FolderHandle::isOpen() const
{
    return !path_.isEmpty();
}

bool FolderHandle::open(const NativePath& path, FolderHandle* folder, qint64* errorCode)
{
    const HANDLE handle = openHeld(path, false);
    if (handle == INVALID_HANDLE_VALUE)
        return failWith(GetLastError(), errorCode);
    auto held = std::make_shared<HeldFolder>();
    held->handle = handle;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return failWith(GetLastError(), errorCode);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return failWith(ERROR_DIRECTORY, errorCode);
    folder->path_ = path;
    folder->held_ = std::move(held);
    return true;
}

FolderLevel FolderHandle::openLevel(const NativePath& name, bool create, FolderHandle* level, qint64* errorCode) const
{
    const NativePath path = path_.child(name);
    if (create && !CreateDirectoryW(WinPath(path), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        failWith(GetLastError(), errorCode);
        return FolderLevel::Failed;
    }
    // The level is looked at through the handle that then holds it: what
    // was checked is what stays there.
    const HANDLE handle = openHeld(path, true);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        failWith(code, errorCode);
        return isMissing(code) ? FolderLevel::Missing : FolderLevel::Failed;
    }
    auto held = std::make_shared<HeldFolder>();
    held->handle = handle;
    held->above = held_;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        failWith(GetLastError(), errorCode);
        return FolderLevel::Failed;
    }
    if (isLinkHandle(handle, info.dwFileAttributes))
        return FolderLevel::Link;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return FolderLevel::NotAFolder;
    level->path_ = path;
    level->held_ = std::move(held);
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
    const HANDLE handle = CreateFileW(WinPath(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
    else if (isLinkHandle(handle, info.dwFileAttributes))
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
    const HANDLE handle = CreateFileW(WinPath(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failWith(GetLastError(), errorCode);
    if (!adoptHandle(handle, file, QIODevice::WriteOnly, errorCode)) {
        DeleteFileW(WinPath(path));
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
    const WinPath path(path_.child(name));
    return retryTransient([&](qint64* code) { return DeleteFileW(path) || failWith(GetLastError(), code); },
                          errorCode, isTransientError);
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
            CreateFileW(WinPath(path), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
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
    return CreateDirectoryW(WinPath(path_.child(name)), nullptr) || failWith(GetLastError(), errorCode);
}

bool FolderHandle::moveInto(const NativePath& source, const NativePath& name, qint64* errorCode) const
{
    return moveWithoutReplacing(source, path_.child(name), errorCode);
}

bool FolderHandle::moveOut(const NativePath& name, const NativePath& destination, qint64* errorCode) const
{
    return moveWithoutReplacing(path_.child(name), destination, errorCode);
}

bool FolderHandle::moveTo(const NativePath& name, const FolderHandle& destination, const NativePath& destinationName,
                          qint64* errorCode) const
{
    // Both folders and every level above them are held: their paths lead
    // to them.
    return moveWithoutReplacing(path_.child(name), destination.path_.child(destinationName), errorCode);
}

bool FolderHandle::removeEmptyFolder(const NativePath& name, qint64* errorCode) const
{
    const WinPath path(path_.child(name));
    return retryTransient([&](qint64* code) { return RemoveDirectoryW(path) || failWith(GetLastError(), code); },
                          errorCode, isTransientError);
}

bool FolderHandle::sync(qint64* errorCode) const
{
    // The held handle reads attributes only: the flush takes one for writing.
    return syncFolder(path_, errorCode);
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
