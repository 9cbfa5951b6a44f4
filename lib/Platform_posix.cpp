#include "Platform.h"

#include "DriveGeometry.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace korvo::platform {

void queryDriveGeometry(const QString& absoluteFolderPath, DriveGeometry& geometry)
{
    // No drive letters here: the cluster is the fragment size (else the block
    // size) of the file system that holds the folder.
    geometry.drive = -1;
    geometry.sectorsPerCluster = 0;
    geometry.bytesPerSector = 0;
    struct statvfs info;
    if (::statvfs(QFile::encodeName(absoluteFolderPath).constData(), &info) != 0)
        return;
    const qint64 cluster = info.f_frsize > 0 ? qint64(info.f_frsize) : qint64(info.f_bsize);
    if (cluster <= 0)
        return;
    geometry.sectorsPerCluster = 1;
    geometry.bytesPerSector = cluster;
}

qint64 linkTargetSize(const QString& absoluteFilePath)
{
    const QByteArray path = QFile::encodeName(absoluteFilePath);
    // Look first, open only a regular file: opening a FIFO could block and a
    // device could have side effects.
    struct stat target;
    if (::stat(path.constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return 0;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return 0;
    qint64 size = 0;
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode))
        size = qint64(opened.st_size);
    ::close(fd);
    return size;
}

} // namespace korvo::platform
