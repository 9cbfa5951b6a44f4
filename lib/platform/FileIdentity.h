#pragma once

#include <QtGlobal>

namespace korvo {

// What tells one entry on disk from every other while it exists: the device
// and inode number on Linux, the volume serial number and file index on
// Windows. An entry renamed into another's place has another identity.
struct FileIdentity
{
    quint64 volume = 0;
    quint64 index = 0;

    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// What an entry is, seen without following a link.
enum class EntryKind { File, Folder, Link, Other };

} // namespace korvo
