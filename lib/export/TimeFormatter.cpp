#include "TimeFormatter.h"

#include "NodeTimes.h"

namespace korvo::exporting {

namespace {

// Offsets are cached per day: daylight-saving changes are months apart, so a
// day whose first and last millisecond share an offset has it throughout; a
// day with a change is formatted through QDateTime, value by value.
constexpr qint64 Bucket = 24 * 60 * 60 * 1000;
constexpr qint64 Day = 24 * 60 * 60;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void appendDigits(QChar*& out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    out += width;
}

// "yyyy-MM-dd hh:mm:ss" from calendar fields; false (and nothing written)
// when the year does not have four digits.
bool fieldText(qint64 year, int month, int day, int hour, int minute, int second, QString& text)
{
    if (year < 1 || year > 9999)
        return false;
    text.resize(19);
    QChar* out = text.data();
    appendDigits(out, int(year), 4);
    *out++ = QLatin1Char('-');
    appendDigits(out, month, 2);
    *out++ = QLatin1Char('-');
    appendDigits(out, day, 2);
    *out++ = QLatin1Char(' ');
    appendDigits(out, hour, 2);
    *out++ = QLatin1Char(':');
    appendDigits(out, minute, 2);
    *out++ = QLatin1Char(':');
    appendDigits(out, second, 2);
    return true;
}

// The same for seconds since 1970-01-01 00:00:00 of the local calendar.
bool civilText(qint64 localSeconds, QString& text)
{
    const qint64 days = floorDiv(localSeconds, Day);
    const qint64 secondOfDay = localSeconds - days * Day;
    // Days to year, month, day in the proleptic Gregorian calendar.
    const qint64 z = days + 719468;
    const qint64 era = floorDiv(z, 146097);
    const qint64 dayOfEra = z - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const qint64 year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return fieldText(year, month, day, int(secondOfDay / 3600), int(secondOfDay / 60 % 60), int(secondOfDay % 60),
                     text);
}

} // namespace

QString formatTime(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    const QDateTime local = time.toLocalTime();
    const QDate date = local.date();
    const QTime clock = local.time();
    QString text;
    if (fieldText(date.year(), date.month(), date.day(), clock.hour(), clock.minute(), clock.second(), text))
        return text;
    return local.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

int TimeFormatter::bucketOffset(qint64 bucket)
{
    if (bucket == lastBucket_)
        return lastOffset_;
    lastBucket_ = bucket;
    const auto found = offsets_.constFind(bucket);
    if (found != offsets_.constEnd())
        return lastOffset_ = found.value();
    const qint64 start = bucket * Bucket;
    const int first = QDateTime::fromMSecsSinceEpoch(start).offsetFromUtc();
    const int last = QDateTime::fromMSecsSinceEpoch(start + Bucket - 1).offsetFromUtc();
    const int offset = first == last ? first : Mixed;
    offsets_.insert(bucket, offset);
    return lastOffset_ = offset;
}

const QString& TimeFormatter::format(qint64 msecs)
{
    if (msecs == NodeTimes::Invalid)
        return empty_;
    const qint64 second = floorDiv(msecs, 1000);
    if (second == lastSecond_)
        return text_;

    // The text is rewritten in place, so formatting costs no allocation.
    const int offset = bucketOffset(floorDiv(msecs, Bucket));
    if (offset == Mixed || !civilText(second + offset, text_))
        text_ = formatTime(QDateTime::fromMSecsSinceEpoch(msecs));
    lastSecond_ = second;
    return text_;
}

} // namespace korvo::exporting
