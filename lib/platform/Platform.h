#pragma once

#include "DriveGeometry.h"
#include "FileIdentity.h"
#include "NativePath.h"

#include <QString>
#include <QVector>

class QFile;

namespace korvo {

// The platform room: the operating-system services the engine needs that Qt
// does not give, exact paths (NativePath) and entry identities. It depends
// on Qt alone and knows nothing of the rooms above it. Every call is safe
// from any thread, blocks only for the system call it makes, and returns
// values the caller owns; failures come back as false plus the system's
// error code. On Windows every path goes to the system in the
// extended-length form (ExtendedPath.h), so that long paths and names such
// as "CON" or "a." reach the entry of that very name.
//
// The few operating-system services the engine needs that Qt does not give.
// Platform_posix.cpp and Platform_win.cpp each implement all of them.
namespace platform {

// The cluster geometry of the drive (Windows: the volume that holds the
// folder, through GetDiskFreeSpaceW; the drive index from its letter) or file
// system (Linux: statvfs) that holds the folder. The figures stay 0 when they
// cannot be found.
DriveGeometry driveGeometry(const NativePath& absoluteFolderPath);

// The byte length of what a link entry reaches, read through the entry's own
// path: only a regular file that opens for reading has one; anything else
// (a folder, a dangling link, a device or FIFO) gives 0.
qint64 linkTargetSize(const NativePath& absoluteFilePath);

// Moves a file or a whole folder to a new path on the same volume without
// ever replacing an existing destination. On failure returns false and stores
// the system's error code (GetLastError on Windows, errno elsewhere).
bool moveWithoutReplacing(const NativePath& source, const NativePath& destination, qint64* errorCode);

#ifndef _WIN32
// The no-replace move for file systems that refuse RENAME_NOREPLACE: a file
// (or link) is linked under the new name, then unlinked under the old one;
// a folder is refused with EINVAL. Exposed so that it can be tested on file
// systems that do know the flag.
bool moveByLinking(const NativePath& source, const NativePath& destination, qint64* errorCode);
#endif

// The identity, kind and size of an entry, read from the entry itself: a
// link is not followed (its own identity, size 0 or the link's length).
// On failure returns false and stores the system's error code.
bool identityOf(const NativePath& path, FileIdentity* identity, EntryKind* kind, qint64* size, qint64* errorCode);

// Creates one folder; fails, and touches nothing, when an entry of that name
// exists already (isAlreadyExists() then holds for the error code).
bool createFolder(const NativePath& path, qint64* errorCode);

// Removes a folder only when it is empty.
bool removeEmptyFolder(const NativePath& path, qint64* errorCode);

// Error codes of the calls above that mean "no such entry" (also a missing
// folder on the way) and "that name is taken".
bool isNotFound(qint64 errorCode);
bool isAlreadyExists(qint64 errorCode);

// The system's own description of an error code.
QString errorText(qint64 errorCode);

// Opens `file` for writing on a new file that this call creates: fails, and
// touches nothing, when an entry of that name exists already (a link or a
// dangling link included, which is never followed). On failure returns false
// and stores the system's error code.
bool createNewFile(const NativePath& path, QFile& file, qint64* errorCode);

// Removes the file that createNewFile made for `file`, closing it first.
// While `file` is open, whatever its name leads to is left alone unless it
// is still the file `file` opened; a file already closed is removed by name.
// On failure returns false and stores the system's error code.
bool removeCreatedFile(const NativePath& path, QFile& file, qint64* errorCode);

// What openSpecialFile found at a path.
enum class SpecialFile {
    None,   // no such entry, a regular file or a folder; nothing was opened
    Opened, // `file` is open for writing on it
    Failed  // it is special, but could not be opened; the error code is set
};

// Opens `file` for writing on an existing FIFO, device or socket (or a link
// to one; Windows: a device name or a \\.\ path), which a new file must not
// replace. Nothing is created or truncated. Opening a FIFO waits for a
// reader; a reader that goes away makes the writes fail instead of ending
// the program.
SpecialFile openSpecialFile(const NativePath& path, QFile& file, qint64* errorCode);

// One entry of a folder, by its exact name.
struct FolderEntry
{
    // Other: a link (never followed), a device, FIFO or socket.
    enum Kind { File, Folder, Other };
    NativePath name;
    Kind kind = Other;
    qint64 size = 0; // of a regular file
};

// Appends the entries of one folder ("." and ".." left out) in the order the
// system gives them. An entry whose kind cannot be read counts as a file of
// size 0, so that reading it reports why. False, with the system's error
// code, when the folder cannot be listed.
bool listFolder(const NativePath& folder, QVector<FolderEntry>& entries, qint64* errorCode);

// Link: the entry, or a folder on the way to it, is a link (Windows: a
// symbolic link or junction), which openBelow never follows.
enum class OpenResult { Opened, Missing, NotAFile, Link, Failed };

// Opens a regular file for one sequential read, unbuffered, following links
// as any reader does. Missing: nothing is there (or a folder on the way is
// none); NotAFile: a folder, device, FIFO or socket, which is never read;
// Failed: the system's error code is stored.
OpenResult openForReading(const NativePath& path, QFile& file, qint64* errorCode);

// Opens the regular file at `relativePath` (stored names joined by "/",
// none of them empty, "." or "..") below `folder` as openForReading does,
// but never through a link: `folder` is taken as given, while a link as the
// file itself or as any folder on the way gives Link and is never opened,
// so that nothing outside the folder can be read through its names.
OpenResult openBelow(const NativePath& folder, const QByteArray& relativePath, QFile& file, qint64* errorCode);

// Removes a file (one this program created and could not finish).
bool removeFile(const NativePath& path);

// The folder the process works in, exactly.
NativePath currentFolder();

// Whether an entry exists at the path (following links), and whether it is
// a folder.
bool entryExists(const NativePath& path, bool* isFolder);

// Writes the whole of `data` to the open `file` straight to the system, so
// that a failure keeps the system's own error code (a full disk says so).
bool writeAll(QFile& file, const QByteArray& data, qint64* errorCode);

// Writes what `file` holds through to the disk (fsync; Windows:
// FlushFileBuffers). On failure returns false and stores the error code.
bool syncFile(QFile& file, qint64* errorCode);

// Writes a file's contents, given by its path, through to the disk.
bool syncWritten(const NativePath& file, qint64* errorCode);

// Writes a folder's entries (names made, moved or removed) through to the
// disk: fsync on the folder's descriptor; Windows: FlushFileBuffers on the
// folder opened for writing, which NTFS does and FAT32 and exFAT refuse (no
// failure: there each rename is written through on its own).
bool syncFolder(const NativePath& folder, qint64* errorCode);

// What checkFolderLevel or FolderHandle::openLevel found at a level of a
// folder path.
enum class FolderLevel {
    Folder,       // a folder of this user that no one else may write to
                  // (Windows: a folder)
    Shared,       // a folder of this user that others may write to
    Missing,      // no entry of that name
    Link,         // a link (Windows: a symbolic link or junction), never followed
    NotAFolder,   // a file or anything else
    OtherOwner,   // a folder that belongs to another user (root included,
                  // for any other user)
    Failed        // could not be looked at; the error code is set
};

// Looks at one level without following it.
FolderLevel checkFolderLevel(const NativePath& path, qint64* errorCode);

// The folder (links on the way resolved) and every folder above it on the
// same volume, the volume's root last: POSIX up to the mount point of its
// file system, Windows up to the root GetVolumePathNameW names (a drive root
// "C:/", the folder a volume is mounted in, or a share's root).
QVector<NativePath> foldersUpToVolumeRoot(const NativePath& absoluteFolderPath);

// True when this user may make entries in the folder (Windows: true; the
// attempt says otherwise).
bool mayCreateIn(const NativePath& folder);

} // namespace platform
} // namespace korvo
