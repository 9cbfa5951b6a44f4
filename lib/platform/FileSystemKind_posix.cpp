#include "FileSystemKind.h"

#include <sys/statfs.h>

namespace korvo::platform {

namespace {

// statfs f_type numbers of the file systems whose requests go over a
// network or through a program in user space. The kernel headers do not
// define them all; the numbers are the file systems' own.
const quint32 RemoteTypes[] = {
    0x6969,     // NFS
    0x517B,     // SMB (smbfs)
    0xFE534D42, // SMB2/3 (cifs mounted as smb3)
    0xFF534D42, // CIFS
    0x65735546, // FUSE (sshfs, rclone, ntfs-3g, virtiofs, ...)
    0x01021997, // 9p (v9fs)
    0x73757245, // Coda
    0x5346414F, // AFS (kAFS)
    0x6B414653, // AFS (OpenAFS)
    0x00C36400, // Ceph
    0x564C,     // NCP (NetWare)
    0x0BD00BD0, // Lustre
    0x47504653, // GPFS
    0x20030528, // OrangeFS (PVFS2)
    0x786F4256, // VirtualBox shared folders (vboxsf)
};

} // namespace

FileSystemKind fileSystemKindOfType(quint32 type)
{
    for (const quint32 remote : RemoteTypes) {
        if (type == remote)
            return FileSystemKind::Remote;
    }
    return FileSystemKind::Local;
}

FileSystemKind fileSystemKindOfOpen(int fd)
{
    struct statfs info;
    if (::fstatfs(fd, &info) != 0)
        return FileSystemKind::Local;
    return fileSystemKindOfType(quint32(info.f_type));
}

FileSystemKind fileSystemKind(const NativePath& absoluteFolderPath)
{
    struct statfs info;
    if (::statfs(absoluteFolderPath.constData(), &info) != 0)
        return FileSystemKind::Local;
    return fileSystemKindOfType(quint32(info.f_type));
}

} // namespace korvo::platform
