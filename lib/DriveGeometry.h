#pragma once

#include <QtGlobal>

class QFileInfo;

namespace korvo {
class NativePath;
}

namespace korvo {

// Cluster geometry of the drive that holds a scanned folder; one per scan.
// The cluster size is bytesPerSector x sectorsPerCluster, 0 when unknown.
struct DriveGeometry
{
    qint32 drive = -1;
    qint64 sectorsPerCluster = 0;
    qint64 bytesPerSector = 0;

    DriveGeometry() = default;
    // Asks the platform for the geometry of the drive (on Linux: the file
    // system) that holds the given folder.
    explicit DriveGeometry(const QFileInfo& root);
    explicit DriveGeometry(const NativePath& root);
    // A known geometry, for callers that already have the figures.
    DriveGeometry(qint64 sectorsPerCluster, qint64 bytesPerSector);

    qint64 clusterSize() const { return sectorsPerCluster * bytesPerSector; }
    // The size rounded up to whole clusters; 0 when the geometry is unknown.
    qint64 roundToClusters(qint64 size) const;
};

} // namespace korvo
