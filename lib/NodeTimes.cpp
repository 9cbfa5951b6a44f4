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
    times.created = toMSecs(info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime());
    times.lastModified = toMSecs(info.lastModified());
    times.lastRead = toMSecs(info.lastRead());
    return times;
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace korvo
