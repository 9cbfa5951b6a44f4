#pragma once

// Pieces the two exporters share: the target file that is replaced only by a
// complete export, the time text of the exports, and the cleaning of text for
// an XML document. Not used outside the exporters.

#include "Exporter.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <atomic>
#include <limits>

class QSaveFile;

namespace korvo::exporting {

// What both exporters carry ahead of their settings: the item counts of the
// text walk and the percentage the GUI thread polls while the export thread
// raises it. The percentage is atomic, so a poll never sees a torn value.
class ExporterBase : public iExporter
{
public:
    qreal progress() const override { return progressValue.load(std::memory_order_relaxed); }

protected:
    void setProgress(qreal value) { progressValue.store(value, std::memory_order_relaxed); }

    qint32 done = 0;
    qint32 total = 0;

private:
    std::atomic<qreal> progressValue{0.0};
};

// The version the documents name, and the generator line both formats begin
// with.
QString versionText();
QString generatorText();

// The file an export writes. The text is gathered in a buffer and goes to a
// temporary file beside the target in large UTF-8 pieces; the target is
// replaced only when the whole document has been written, so an existing
// file of that name stays untouched by a failed export.
class TargetFile
{
public:
    explicit TargetFile(const QString& path);
    ~TargetFile();

    // On failure stores the file's error text and returns false.
    bool open(QString* errorString);

    // Text appended here is written by the flushes.
    QString& buffer() { return buffer_; }
    void flushIfFull()
    {
        if (buffer_.size() >= FlushSize)
            flush();
    }
    // Writes out the buffer; false once any write has failed.
    bool flush();
    bool failed() const { return failed_; }
    // Marks the export as failed for a reason of its own.
    void fail(const QString& reason);

    // Writes the rest and puts the file in place of the target. After any
    // failure discards the temporary file instead and stores the reason.
    bool commit(QString* errorString);

private:
    void recordFailure();

    static constexpr int FlushSize = 1 << 20;

    QSaveFile* file_;
    QString buffer_;
    bool failed_ = false;
    QString reason_;
};

// The text used when a write fails and the file gives no reason of its own.
QString genericWriteError();
// The reason given when an export is asked for without a tree.
QString noTreeError();

// "yyyy-MM-dd hh:mm:ss" in local time; empty for an invalid time.
QString formatTime(const QDateTime& time);

// Formats node times (milliseconds since the epoch, UTC) as local
// "yyyy-MM-dd hh:mm:ss". The local offset is looked up once per quarter hour
// and kept, since asking the system for it costs far more than the
// formatting; the result is the same as formatting the local QDateTime.
// One instance per export, used by one thread.
class TimeFormatter
{
public:
    // `msecs` may be NodeTimes::Invalid, which gives an empty text.
    QString format(qint64 msecs);

private:
    static constexpr int Mixed = std::numeric_limits<int>::min();
    int bucketOffset(qint64 bucket);

    QHash<qint64, int> offsets_; // quarter hour since the epoch -> offset in seconds, or Mixed
    qint64 lastSecond_ = std::numeric_limits<qint64>::min();
    QString lastText_;
};

// The text with every character that XML 1.0 does not allow (control
// characters other than tab, line feed and carriage return, U+FFFE, U+FFFF
// and unpaired surrogates) replaced by U+FFFD. Returns the text itself,
// without copying, when there is nothing to replace.
QString xmlSafe(const QString& text);

} // namespace korvo::exporting
