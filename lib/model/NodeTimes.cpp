#include "NodeTimes.h"

#include <QFileInfo>

namespace korvo {

qint64 NodeTimes::toMSecs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : Invalid;
}

QDateTime NodeTimes::toDateTime(qint64 msecs)
{
    return msecs == Invalid ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs);
}

NodeTimes NodeTimes::fromFileInfo(const QFileInfo& info)
{
    NodeTimes times;
    times.lastModified = toMSecs(info.lastModified());
    times.lastRead = toMSecs(info.lastRead());
    times.created = createdFrom(toMSecs(info.birthTime()), toMSecs(info.metadataChangeTime()), times.lastModified);
    return times;
}

qint64 NodeTimes::createdFrom(qint64 birth, qint64 metadataChange, qint64 lastModified)
{
    // The creation time where the file system keeps one, else the time the
    // metadata last changed, else the last modification.
    if (birth != Invalid)
        return birth;
    if (metadataChange != Invalid)
        return metadataChange;
    return lastModified;
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace korvo
