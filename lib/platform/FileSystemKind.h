#pragma once

#include "NativePath.h"

#include <QtGlobal>

namespace korvo::platform {

// How a file system answers requests for entries, which decides how many a
// walk keeps in flight.
enum class FileSystemKind {
    // A disk of this machine, or memory: a request is answered in
    // microseconds, and the processors are what limits a walk.
    Local,
    // A network share (NFS, SMB, 9p and the like) or a file system served by
    // a program (FUSE): every request waits for a round trip, so a walk is
    // as fast as the number of requests it keeps in flight.
    Remote
};

// The kind of the file system that holds a folder, by its absolute path.
// Linux: statfs's f_type. Windows: GetDriveTypeW on the folder's volume
// path; a UNC path (\\server\share) is remote. Local when it cannot be told.
FileSystemKind fileSystemKind(const NativePath& absoluteFolderPath);

#ifdef _WIN32
// The kind a GetDriveTypeW answer stands for; `unc` when the folder is
// reached through a UNC path, which is remote whatever the type.
FileSystemKind fileSystemKindOfDrive(unsigned driveType, bool unc);
// True for a UNC path (\\server\share, //server/share, \\?\UNC\...), not
// for a drive path in the long form (\\?\C:\...) or a device (\\.\...).
bool isUncPath(const QString& path);
#else
// The kind of the file system that holds an open folder (fstatfs).
FileSystemKind fileSystemKindOfOpen(int fd);
// The kind a statfs f_type number stands for.
FileSystemKind fileSystemKindOfType(quint32 type);
#endif

} // namespace korvo::platform
