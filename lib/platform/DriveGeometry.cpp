#include "DriveGeometry.h"

#include <limits>

namespace korvo {

DriveGeometry::DriveGeometry(qint64 sectors, qint64 bytes)
    : sectorsPerCluster(sectors), bytesPerSector(bytes)
{
}

qint64 DriveGeometry::roundToClusters(qint64 size) const
{
    const qint64 cluster = clusterSize();
    if (cluster <= 0 || size <= 0)
        return 0;
    qint64 clusters = size / cluster;
    if (size % cluster != 0)
        ++clusters;
    // A size within one cluster of the largest count cannot be rounded up;
    // it stays at the largest count rather than wrapping around.
    if (clusters > std::numeric_limits<qint64>::max() / cluster)
        return std::numeric_limits<qint64>::max();
    return clusters * cluster;
}

} // namespace korvo
