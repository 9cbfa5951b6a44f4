#include "Platform.h"

#include "AdoptHandle_win.h"
#include "ExtendedPath.h"
#include "TransientRetry.h"
#include "WinEntries_win.h"
#include "WinPath_win.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdio.h>
#include <windows.h>

#include <vector>

namespace korvo::platform {

namespace {

void storeError(qint64* errorCode, DWORD code)
{
    if (errorCode)
        *errorCode = qint64(code);
}

bool failWith(DWORD code, qint64* errorCode)
{
    storeError(errorCode, code);
    return false;
}

bool failWithLastError(qint64* errorCode)
{
    return failWith(GetLastError(), errorCode);
}

} // namespace

// Hands an open handle to the QFile, which closes it from then on; on
// failure the handle is closed here and the error is ERROR_OPEN_FAILED.
bool adoptHandle(HANDLE handle, QFile& file, QIODevice::OpenMode mode, qint64* errorCode)
{
    const int flags = (mode & QIODevice::WriteOnly ? _O_WRONLY : _O_RDONLY) | _O_BINARY;
    const int fd = _open_osfhandle(intptr_t(handle), flags);
    if (fd >= 0 && file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    if (fd >= 0)
        _close(fd);
    else
        CloseHandle(handle);
    return failWith(ERROR_OPEN_FAILED, errorCode);
}

QString volumePathOf(const NativePath& path)
{
    std::vector<wchar_t> volume(32768);
    if (!GetVolumePathNameW(WinPath(path), volume.data(), DWORD(volume.size())))
        return QString();
    return fromExtendedLengthPath(QString::fromWCharArray(volume.data()));
}

DriveGeometry driveGeometry(const NativePath& absoluteFolderPath)
{
    DriveGeometry geometry;
    const QString path = QDir::toNativeSeparators(QFileInfo(absoluteFolderPath.toText()).absoluteFilePath());
    // The drive index of a path with a drive letter: 0 for A ... 25 for Z.
    const bool lettered = path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).toUpper() >= QLatin1Char('A')
                          && path.at(0).toUpper() <= QLatin1Char('Z');
    geometry.drive = lettered ? path.at(0).toUpper().unicode() - 'A' : -1;

    // The clusters are those of the volume that holds the folder: its drive
    // root, a volume mounted in a folder of another drive, or the root of a
    // network share. Unknown when the system cannot say.
    const QString volume = QDir::toNativeSeparators(volumePathOf(absoluteFolderPath));
    if (volume.isEmpty())
        return geometry;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(reinterpret_cast<const wchar_t*>(volume.utf16()), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &clusters))
        return geometry;
    geometry.sectorsPerCluster = qint64(sectorsPerCluster);
    geometry.bytesPerSector = qint64(bytesPerSector);
    return geometry;
}

qint64 linkTargetSize(const NativePath& absoluteFilePath)
{
    // Opened through the entry's own path, shared with every other reader and
    // writer; its end position is its length.
    FILE* stream = _wfsopen(WinPath(absoluteFilePath), L"rb", _SH_DENYNO);
    if (!stream)
        return 0;
    qint64 size = 0;
    if (_fseeki64(stream, 0, SEEK_END) == 0)
        size = _ftelli64(stream);
    fclose(stream);
    return size < 0 ? 0 : size;
}

bool moveWithoutReplacing(const NativePath& source, const NativePath& destination, qint64* errorCode)
{
    // No MOVEFILE_REPLACE_EXISTING, so an existing destination makes it
    // fail, and no MOVEFILE_COPY_ALLOWED, so it never turns into a copy
    // across volumes. A folder moves with its contents. Write-through: the
    // call returns once the rename is on the disk. An entry held open for a
    // moment by someone else is tried again a few times.
    const WinPath from(source);
    const WinPath to(destination);
    return retryTransient(
        [&](qint64* code) {
            return MoveFileExW(from, to, MOVEFILE_WRITE_THROUGH) || failWithLastError(code);
        },
        errorCode, isTransientError);
}

bool isLinkTag(DWORD attributes, DWORD reparseTag)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
           && (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool isLinkHandle(HANDLE handle, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    FILE_ATTRIBUTE_TAG_INFO tag;
    // A reparse point whose tag cannot be read is taken for a link: never
    // followed is the safe side.
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return true;
    return isLinkTag(tag.FileAttributes, tag.ReparseTag);
}

bool identityOf(const NativePath& path, FileIdentity* identity, EntryKind* kind, qint64* size, qint64* errorCode)
{
    // Opened for its attributes only, shared with everyone, and on the entry
    // itself: FILE_FLAG_OPEN_REPARSE_POINT does not follow a link or junction,
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened.
    const HANDLE handle = CreateFileW(WinPath(path), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failWithLastError(errorCode);
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(handle, &info);
    if (!read) {
        failWithLastError(errorCode);
        CloseHandle(handle);
        return false;
    }
    const bool link = isLinkHandle(handle, info.dwFileAttributes);
    CloseHandle(handle);
    if (identity) {
        identity->volume = quint64(info.dwVolumeSerialNumber);
        identity->index = (quint64(info.nFileIndexHigh) << 32) | quint64(info.nFileIndexLow);
    }
    if (kind) {
        const DWORD attributes = info.dwFileAttributes;
        *kind = link ? EntryKind::Link : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
    }
    if (size)
        *size = qint64((quint64(info.nFileSizeHigh) << 32) | quint64(info.nFileSizeLow));
    return true;
}

bool createFolder(const NativePath& path, qint64* errorCode)
{
    // Fails with ERROR_ALREADY_EXISTS on any entry of that name.
    return CreateDirectoryW(WinPath(path), nullptr) || failWithLastError(errorCode);
}

bool removeEmptyFolder(const NativePath& path, qint64* errorCode)
{
    // RemoveDirectoryW refuses a folder that holds anything.
    return RemoveDirectoryW(WinPath(path)) || failWithLastError(errorCode);
}

bool isNotFound(qint64 errorCode)
{
    return errorCode == ERROR_FILE_NOT_FOUND || errorCode == ERROR_PATH_NOT_FOUND;
}

bool isAlreadyExists(qint64 errorCode)
{
    return errorCode == ERROR_ALREADY_EXISTS || errorCode == ERROR_FILE_EXISTS;
}

QString errorText(qint64 errorCode)
{
    // Qt's text for a Windows error code comes from FormatMessageW.
    return qt_error_string(int(errorCode));
}

bool createNewFile(const NativePath& path, QFile& file, qint64* errorCode)
{
    // CREATE_NEW fails on any existing entry and creates nothing then.
    const HANDLE handle = CreateFileW(WinPath(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failWithLastError(errorCode);
    if (!adoptHandle(handle, file, QIODevice::WriteOnly, errorCode)) {
        DeleteFileW(WinPath(path));
        return false;
    }
    return true;
}

bool removeCreatedFile(const NativePath& path, QFile& file, qint64* errorCode)
{
    // createNewFile shares the file with readers only, so while it was open
    // nothing could rename or delete it: the name still leads to it.
    file.close();
    return DeleteFileW(WinPath(path)) || failWithLastError(errorCode);
}

namespace {

// A name the system reads as a device wherever it stands (CON, NUL, COM1,
// LPT1, ... with or without a suffix), or a path in the device namespace
// (\\.\PIPE\..., \\.\COM10).
bool isDevicePath(const QString& path)
{
    const QString clean = QDir::toNativeSeparators(path);
    if (clean.startsWith(QLatin1String("\\\\.\\")))
        return true;
    QString base = clean.mid(clean.lastIndexOf(QLatin1Char('\\')) + 1);
    base = base.left(base.indexOf(QLatin1Char('.'))).trimmed().toUpper();
    static const QStringList plain = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    if (plain.contains(base))
        return true;
    return base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base.at(3) >= QLatin1Char('1') && base.at(3) <= QLatin1Char('9');
}

} // namespace

SpecialFile openSpecialFile(const NativePath& path, QFile& file, qint64* errorCode)
{
    if (!isDevicePath(path.toText()))
        return SpecialFile::None;
    const HANDLE handle = CreateFileW(path.wide(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        storeError(errorCode, GetLastError());
        return SpecialFile::Failed;
    }
    if (GetFileType(handle) == FILE_TYPE_DISK) {
        CloseHandle(handle); // a plain file after all
        return SpecialFile::None;
    }
    return adoptHandle(handle, file, QIODevice::WriteOnly, errorCode) ? SpecialFile::Opened : SpecialFile::Failed;
}

bool listFolder(const NativePath& folder, QVector<FolderEntry>& entries, qint64* errorCode)
{
    const QString pattern = WinPath(folder).text() + QStringLiteral("\\*");
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileExW(reinterpret_cast<const wchar_t*>(pattern.utf16()), FindExInfoBasic,
                                           &data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true; // a folder with no entries at all (not even "." on a drive root)
        return failWith(code, errorCode);
    }
    do {
        const QString name = QString::fromWCharArray(data.cFileName);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        FolderEntry found;
        found.name = NativePath::fromText(name);
        if (isLinkTag(data.dwFileAttributes, data.dwReserved0))
            found.kind = FolderEntry::Other;
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found.kind = FolderEntry::Folder;
        else if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
            found.kind = FolderEntry::Other;
        else {
            found.kind = FolderEntry::File;
            found.size = (qint64(data.nFileSizeHigh) << 32) | qint64(data.nFileSizeLow);
        }
        entries.append(found);
    } while (FindNextFileW(search, &data));
    const DWORD code = GetLastError();
    FindClose(search);
    return code == ERROR_NO_MORE_FILES || failWith(code, errorCode);
}

OpenResult openForReading(const NativePath& path, QFile& file, qint64* errorCode)
{
    const DWORD attributes = GetFileAttributesW(WinPath(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return OpenResult::Missing;
        storeError(errorCode, code);
        return OpenResult::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return OpenResult::NotAFile;
    // Shared with every other reader and writer, as a copy check should be.
    const HANDLE handle = CreateFileW(WinPath(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        storeError(errorCode, GetLastError());
        return OpenResult::Failed;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return OpenResult::NotAFile;
    }
    return adoptHandle(handle, file, QIODevice::ReadOnly | QIODevice::Unbuffered, errorCode) ? OpenResult::Opened
                                                                                             : OpenResult::Failed;
}

namespace {

DWORD attributesOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(handle, &information) ? information.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

// What an entry that could not be opened with `code` is: a reparse point
// (never followed), missing, a folder, or a failure.
OpenResult notOpened(const NativePath& path, DWORD code, qint64* errorCode)
{
    const DWORD attributes = GetFileAttributesW(WinPath(path)); // the entry's own, not its target's
    EntryKind kind = EntryKind::Other;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && identityOf(path, nullptr, &kind, nullptr, nullptr) && kind == EntryKind::Link)
        return OpenResult::Link;
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY)
        return OpenResult::Missing;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return OpenResult::NotAFile;
    storeError(errorCode, code);
    return OpenResult::Failed;
}

// A stored name that stays one level: no separator, stream or "." name.
bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('\\') && !name.contains(':');
}

// Opens one folder on the way without following a reparse point; it stays
// open, not shared for deletion, so it cannot be renamed or replaced by a
// link until the file below it is open.
OpenResult openLevel(const NativePath& path, std::vector<HANDLE>& levels, qint64* errorCode)
{
    // Listing access as well: a handle that reads attributes only does not
    // keep others from renaming the folder.
    const HANDLE handle = CreateFileW(WinPath(path), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return notOpened(path, GetLastError(), errorCode);
    levels.push_back(handle);
    const DWORD attributes = attributesOf(handle);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        storeError(errorCode, GetLastError());
        return OpenResult::Failed;
    }
    if (isLinkHandle(handle, attributes))
        return OpenResult::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? OpenResult::Opened : OpenResult::Missing;
}

HANDLE openFileForReading(const NativePath& path, DWORD flags)
{
    return CreateFileW(WinPath(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | flags, nullptr);
}

// Opens the file itself, refusing a link, a folder or a device. Another
// reparse point (a cloud placeholder) is opened again as the file it is.
OpenResult openLastLevel(const NativePath& path, QFile& file, qint64* errorCode)
{
    HANDLE handle = openFileForReading(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE)
        return notOpened(path, GetLastError(), errorCode);
    DWORD attributes = attributesOf(handle);
    OpenResult result = OpenResult::Opened;
    if (attributes != INVALID_FILE_ATTRIBUTES && isLinkHandle(handle, attributes))
        result = OpenResult::Link;
    else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        handle = openFileForReading(path, 0);
        if (handle == INVALID_HANDLE_VALUE)
            return notOpened(path, GetLastError(), errorCode);
    }
    if (result == OpenResult::Opened
        && (GetFileType(handle) != FILE_TYPE_DISK
            || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))))
        result = OpenResult::NotAFile;
    if (result != OpenResult::Opened) {
        CloseHandle(handle);
        return result;
    }
    return adoptHandle(handle, file, QIODevice::ReadOnly | QIODevice::Unbuffered, errorCode) ? OpenResult::Opened
                                                                                             : OpenResult::Failed;
}

} // namespace

OpenResult openBelow(const NativePath& folder, const QByteArray& relativePath, QFile& file, qint64* errorCode)
{
    const QByteArrayList names = relativePath.split('/');
    for (const QByteArray& name : names) {
        if (!isPlainName(name)) {
            storeError(errorCode, ERROR_INVALID_NAME);
            return OpenResult::Failed;
        }
    }
    std::vector<HANDLE> levels;
    NativePath path = folder;
    OpenResult result = OpenResult::Opened;
    for (int i = 0; i + 1 < names.size() && result == OpenResult::Opened; ++i) {
        path.append(NativePath::fromStoredBytes(names.at(i)));
        result = openLevel(path, levels, errorCode);
    }
    if (result == OpenResult::Opened) {
        path.append(NativePath::fromStoredBytes(names.last()));
        result = openLastLevel(path, file, errorCode);
    }
    for (const HANDLE level : levels)
        CloseHandle(level);
    return result;
}

bool removeFile(const NativePath& path)
{
    return DeleteFileW(WinPath(path)) != 0;
}

NativePath currentFolder()
{
    return NativePath::fromText(QDir::currentPath());
}

bool entryExists(const NativePath& path, bool* isFolder)
{
    if (path.isEmpty())
        return false;
    const DWORD attributes = GetFileAttributesW(WinPath(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    // A link to a folder counts as one, as a followed link would.
    if (isFolder)
        *isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

QVector<NativePath> foldersUpToVolumeRoot(const NativePath& absoluteFolderPath)
{
    // Up one level at a time to the root of the folder's own volume, as
    // GetVolumePathNameW names it: a drive root, the folder a volume is
    // mounted in, or a share's root. Without it, up to the drive root.
    const QString folder = QDir::cleanPath(QDir(absoluteFolderPath.toText()).absolutePath());
    QString root = QDir::cleanPath(volumePathOf(absoluteFolderPath));
    if (root.size() == 2 && root.at(1) == QLatin1Char(':'))
        root += QLatin1Char('/');
    QVector<NativePath> chain;
    QDir directory(folder);
    chain << NativePath::fromUtf16(directory.absolutePath());
    while (!root.isEmpty() && directory.absolutePath().compare(root, Qt::CaseInsensitive) != 0 && directory.cdUp())
        chain << NativePath::fromUtf16(directory.absolutePath());
    while (root.isEmpty() && directory.cdUp())
        chain << NativePath::fromUtf16(directory.absolutePath());
    return chain;
}

bool mayCreateIn(const NativePath& folder)
{
    Q_UNUSED(folder)
    return true;
}

bool writeAll(QFile& file, const QByteArray& data, qint64* errorCode)
{
    if (!file.flush())
        return failWith(ERROR_WRITE_FAULT, errorCode);
    const HANDLE handle = HANDLE(_get_osfhandle(file.handle()));
    const char* next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(qMin<qint64>(left, 1 << 30));
        if (!WriteFile(handle, next, chunk, &written, nullptr))
            return failWithLastError(errorCode);
        if (written == 0)
            return failWith(ERROR_WRITE_FAULT, errorCode);
        next += written;
        left -= written;
    }
    return true;
}

bool syncFile(QFile& file, qint64* errorCode)
{
    if (!file.flush())
        return failWith(ERROR_WRITE_FAULT, errorCode);
    const HANDLE handle = HANDLE(_get_osfhandle(file.handle()));
    return FlushFileBuffers(handle) || failWithLastError(errorCode);
}

bool syncWritten(const NativePath& file, qint64* errorCode)
{
    const HANDLE handle = CreateFileW(WinPath(file), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failWithLastError(errorCode);
    const bool flushed = FlushFileBuffers(handle) || failWithLastError(errorCode);
    CloseHandle(handle);
    return flushed;
}

bool flushFolderEntries(HANDLE folder, qint64* errorCode)
{
    if (FlushFileBuffers(folder))
        return true;
    const DWORD code = GetLastError();
    // NTFS flushes a folder opened for writing; a file system that has no
    // such flush (FAT32, exFAT, a share) refuses with one of these, and its
    // renames are written through one by one instead.
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION || code == ERROR_INVALID_PARAMETER
        || code == ERROR_NOT_SUPPORTED)
        return true;
    return failWith(code, errorCode);
}

bool syncFolder(const NativePath& folder, qint64* errorCode)
{
    const HANDLE handle = CreateFileW(WinPath(folder), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // A folder this user may not open for writing has no flush to give.
        return code == ERROR_ACCESS_DENIED || failWith(code, errorCode);
    }
    const bool flushed = flushFolderEntries(handle, errorCode);
    CloseHandle(handle);
    return flushed;
}

FolderLevel checkFolderLevel(const NativePath& path, qint64* errorCode)
{
    const DWORD attributes = GetFileAttributesW(WinPath(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        storeError(errorCode, code);
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FolderLevel::Missing
                                                                            : FolderLevel::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        EntryKind kind = EntryKind::Other;
        if (!identityOf(path, nullptr, &kind, nullptr, errorCode))
            return FolderLevel::Failed;
        if (kind == EntryKind::Link)
            return FolderLevel::Link;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FolderLevel::Folder : FolderLevel::NotAFolder;
}

} // namespace korvo::platform
