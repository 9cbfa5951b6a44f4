#pragma once

#include <QMetaType>
#include <QtGlobal>

namespace korvo {

// Where a scan stands: its phase, the figures listed so far and how long
// each phase took. Copied by value, also across threads in queued signals.
struct EnumerateProgress
{
    qint32 phase = 0; // 0 reset, 1 listing, 2 totalling, 3 over
    qint64 totalSize = 0;
    qint64 totalSizeOnDisk = 0;
    qint32 fileCount = 0;
    qint32 directoryCount = 0; // the root not counted
    double listingSeconds = 0.0;
    double totallingSeconds = 0.0;

    void reset() { *this = EnumerateProgress(); }
};

} // namespace korvo

Q_DECLARE_METATYPE(korvo::EnumerateProgress)
