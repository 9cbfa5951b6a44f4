#pragma once

#include <QString>

namespace korvo::platform {

// The extended-length form of an absolute Windows path, the one form in
// which Win32 file functions take a path exactly as it is written: no limit
// of 260 characters, and names Windows otherwise reads as devices ("CON",
// "nul.txt") or trims (a trailing dot or blank) reach the entry of that very
// name. "C:/a/b" gives "\\?\C:\a\b", "//server/share/a" gives
// "\\?\UNC\server\share\a". Separators become "\", doubled ones one; "."
// levels go and ".." takes away the level before it (never the drive or the
// share), by the text alone, since the system no longer does it. A path
// already in that form, or in the device namespace ("\\.\"), keeps its
// names. Anything else (a relative path, "C:a" relative to a drive's current
// folder, "\a" relative to the current drive, a share without its name)
// gives an empty text: the caller decides what such a path means.
// Pure text work, the same on every system, so that it is tested anywhere.
QString extendedLengthPath(const QString& path);

// The usual form of an extended-length path (or of any path): "\\?\C:\a"
// gives "C:/a", "\\?\UNC\server\share" gives "//server/share"; separators
// become "/". For a volume's root as the system reports it.
QString fromExtendedLengthPath(const QString& path);

} // namespace korvo::platform
