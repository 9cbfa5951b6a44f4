#include "DriveGeometry.h"

#include "Platform.h"

#include <QFileInfo>

namespace korvo {

DriveGeometry::DriveGeometry(const QFileInfo& root)
{
    platform::queryDriveGeometry(root.absoluteFilePath(), *this);
}

DriveGeometry::DriveGeometry(qint64 sectors, qint64 bytes)
    : sectorsPerCluster(sectors), bytesPerSector(bytes)
{
}

qint64 DriveGeometry::roundToClusters(qint64 size) const
{
    const qint64 cluster = clusterSize();
    if (cluster <= 0)
        return 0;
    qint64 clusters = size / cluster;
    if (size % cluster != 0)
        ++clusters;
    return clusters * cluster;
}

} // namespace korvo
