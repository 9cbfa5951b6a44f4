#pragma once

#include "NativePath.h"

#include <QString>

#include <windows.h>

namespace korvo::platform {

// Whether an entry with these attributes and reparse tag is a link: a
// symbolic link or a junction (mount point). Other reparse points (cloud
// placeholders, deduplicated files) are the files or folders they stand for.
bool isLinkTag(DWORD attributes, DWORD reparseTag);
// The same for an open handle, reading its tag when it is a reparse point.
bool isLinkHandle(HANDLE handle, DWORD attributes);

// The root of the volume that holds the path, in the usual form ("C:/",
// "C:/mnt/data/", "//server/share/"), as GetVolumePathNameW gives it; empty
// when the system cannot say.
QString volumePathOf(const NativePath& path);

// Writes the entries of an open folder through to the disk; a file system
// that has no such flush is no failure.
bool flushFolderEntries(HANDLE folder, qint64* errorCode);

} // namespace korvo::platform
