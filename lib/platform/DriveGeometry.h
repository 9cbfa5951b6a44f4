#pragma once

#include <QtGlobal>

namespace korvo {

// Cluster geometry of the drive that holds a scanned folder; one per scan,
// filled by platform::driveGeometry(). The cluster size is bytesPerSector x
// sectorsPerCluster, 0 when unknown.
struct DriveGeometry
{
    qint32 drive = -1;
    qint64 sectorsPerCluster = 0;
    qint64 bytesPerSector = 0;

    DriveGeometry() = default;
    // A known geometry, for callers that already have the figures.
    DriveGeometry(qint64 sectorsPerCluster, qint64 bytesPerSector);

    qint64 clusterSize() const { return sectorsPerCluster * bytesPerSector; }
    // The size rounded up to whole clusters; 0 when the geometry is unknown.
    qint64 roundToClusters(qint64 size) const;
};

} // namespace korvo
