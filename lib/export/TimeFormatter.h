#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <limits>

namespace korvo::exporting {

// "yyyy-MM-dd hh:mm:ss" in local time; empty for an invalid time.
QString formatTime(const QDateTime& time);

// Formats node times (milliseconds since the epoch, UTC) as local
// "yyyy-MM-dd hh:mm:ss". The local offset is looked up once per day and
// kept, since asking the system for it costs far more than the formatting;
// the result is the same as formatting the local QDateTime.
// One instance per export, used by one thread.
class TimeFormatter
{
public:
    // `msecs` may be NodeTimes::Invalid, which gives an empty text. The
    // result stays valid until the next call.
    const QString& format(qint64 msecs);

private:
    static constexpr int Mixed = std::numeric_limits<int>::min();
    int bucketOffset(qint64 bucket);

    QHash<qint64, int> offsets_; // day since the epoch -> offset in seconds, or Mixed
    qint64 lastBucket_ = std::numeric_limits<qint64>::min();
    int lastOffset_ = 0;
    qint64 lastSecond_ = std::numeric_limits<qint64>::min();
    QString text_;
    const QString empty_;
};

} // namespace korvo::exporting
