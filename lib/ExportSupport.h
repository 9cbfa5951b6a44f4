#pragma once

// Pieces the two exporters share: the target file that is replaced only by a
// complete export, the time text of the exports, and the cleaning of text for
// an XML document. Not used outside the exporters.

#include "Exporter.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

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

    // Opens the target for writing the tree. Without a tree, fails before
    // touching the file; on any failure stores the reason and returns false.
    bool open(const DirectoryNodePtr& root, QString* errorString);

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

// formatSize with a memory of recent values: sizes on disk are whole
// clusters and many files share a size, so most texts are made only once.
// One instance per export, used by one thread.
class SizeTexts
{
public:
    SizeTexts();
    const QString& text(qint64 value);

private:
    struct Entry
    {
        qint64 value = 0;
        bool filled = false;
        QString text;
    };
    static constexpr int Slots = 1 << 12;
    QVector<Entry> entries_;
};

// The text with every character that XML 1.0 does not allow (control
// characters other than tab, line feed and carriage return, U+FFFE, U+FFFF
// and unpaired surrogates) replaced by U+FFFD. Returns the text itself,
// without copying, when there is nothing to replace.
QString xmlSafe(const QString& text);

// Writes XML into a text buffer exactly as QXmlStreamWriter formats the
// subset the export uses (elements, attributes, text elements, a comment;
// with auto-formatting an indent per level, or none at all), at a fraction
// of its cost: values are cleaned (as xmlSafe does) and escaped straight
// into the buffer, without a temporary string per value. An element without content
// becomes an empty-element tag; a text element keeps its start and end tags
// even when the text is empty.
class XmlTextWriter
{
public:
    // `indent` blanks per level when greater than 0; otherwise no line
    // breaks and no indentation.
    XmlTextWriter(QString& out, int indent);

    void writeStartDocument();
    void writeComment(const QString& text);
    void writeStartElement(const QString& name);
    void writeAttribute(const QString& name, const QString& value);
    void writeTextElement(const QString& name, const QString& text);
    void writeEndElement();
    void writeEndDocument();

private:
    void finishStartTag();
    void newLine(int level);
    void writeEscaped(const QString& text, bool inAttribute);

    QString& out_;
    const bool formatting_;
    const QString indent_;
    QVector<QString> open_;
    bool inStartTag_ = false;
};

} // namespace korvo::exporting
