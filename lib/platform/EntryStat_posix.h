#pragma once

#include "FileIdentity.h"

#include <sys/stat.h>

namespace korvo::platform {

// What an entry's stat record says of its identity and kind.
inline FileIdentity identityOfStat(const struct stat& info)
{
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

inline EntryKind kindOfStat(const struct stat& info)
{
    return S_ISREG(info.st_mode)   ? EntryKind::File
           : S_ISDIR(info.st_mode) ? EntryKind::Folder
           : S_ISLNK(info.st_mode) ? EntryKind::Link
                                   : EntryKind::Other;
}

} // namespace korvo::platform
