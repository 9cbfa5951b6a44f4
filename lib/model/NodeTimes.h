#pragma once

#include <QDateTime>
#include <limits>

class QFileInfo;

namespace korvo {

// The three times of a node, kept as milliseconds since the epoch (UTC) so
// that a scan does not build three local QDateTimes per file; the accessors
// turn them into the same local QDateTime values that QFileInfo gives.
struct NodeTimes
{
    static constexpr qint64 Invalid = std::numeric_limits<qint64>::min();

    qint64 created = Invalid;
    qint64 lastModified = Invalid;
    qint64 lastRead = Invalid;

    // As QFileInfo gives them; `created` as QFileInfo::created() does.
    static NodeTimes fromFileInfo(const QFileInfo& info);
    // The creation time QFileInfo::created() reports from the three it knows.
    static qint64 createdFrom(qint64 birth, qint64 metadataChange, qint64 lastModified);
    static qint64 toMSecs(const QDateTime& time);
    static QDateTime toDateTime(qint64 msecs);
};

// Joins a folder path and a name the way QFileInfo does ("/" + "a" is "/a").
QString joinPath(const QString& folder, const QString& name);

} // namespace korvo
