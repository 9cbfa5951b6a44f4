#include "FolderHandle.h"

#include "Platform.h"

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

} // namespace korvo::platform
