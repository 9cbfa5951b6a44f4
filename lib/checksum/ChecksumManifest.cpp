#include "ChecksumManifest.h"

#include "FileWalk.h"
#include "ParallelHasher.h"
#include "Platform.h"

#include <QFile>
#include <QSet>

#include <cstring>

namespace korvo::ChecksumManifest {

namespace {

const int DigestLength = 32;

bool needsEscape(const QByteArray& path)
{
    return path.contains('\\') || path.contains('\n') || path.contains('\r');
}

QByteArray escaped(const QByteArray& path)
{
    QByteArray text;
    text.reserve(path.size() + 8);
    for (const char c : path) {
        if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else
            text += c;
    }
    return text;
}

// The reverse of escaped(); false on any other escape.
bool unescaped(const QByteArray& text, QByteArray& path)
{
    path.clear();
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != '\\') {
            path += text.at(i);
            continue;
        }
        const char next = ++i < text.size() ? text.at(i) : '\0';
        if (next == '\\')
            path += '\\';
        else if (next == 'n')
            path += '\n';
        else if (next == 'r')
            path += '\r';
        else
            return false;
    }
    return true;
}

// Drops "." and empty names; empty result when the path is absolute, climbs
// with "..", or names nothing.
QByteArray normalised(const QByteArray& path)
{
    if (path.startsWith('/'))
        return QByteArray();
    QByteArrayList kept;
    for (const QByteArray& name : path.split('/')) {
        if (name == "..")
            return QByteArray();
        if (!name.isEmpty() && name != ".")
            kept << name;
    }
    return kept.join('/');
}

bool isHex(const QByteArray& text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// One line without its line end: the entry, or the reason it is bad.
QString parseLine(QByteArray line, Entry& entry)
{
    const bool escapedLine = line.startsWith('\\');
    if (escapedLine)
        line.remove(0, 1);
    const int hexLength = 2 * DigestLength;
    if (line.size() < hexLength + 3 || !isHex(line.left(hexLength)) || line.at(hexLength) != ' ' ||
        (line.at(hexLength + 1) != ' ' && line.at(hexLength + 1) != '*'))
        return QStringLiteral("not a SHA-256 checksum line");
    QByteArray path = line.mid(hexLength + 2);
    // Taken as it is, "a\0b" would name the file "a": no name holds a NUL.
    if (path.contains('\0'))
        return QStringLiteral("the path holds a NUL byte, which no file name can");
    if (path.contains('\r'))
        return QStringLiteral("the path holds a carriage return that is not escaped");
    if (escapedLine && !unescaped(QByteArray(path), path))
        return QStringLiteral("an unknown escape in the file name");
    entry.relativePath = normalised(path);
    if (entry.relativePath.isEmpty())
        return QStringLiteral("the path leads outside the folder");
    entry.digest = QByteArray::fromHex(line.left(hexLength));
    return QString();
}

} // namespace

NativePath pathBeside(const NativePath& folder)
{
    QByteArray bytes = folder.storedBytes();
    while (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    return NativePath::fromStoredBytes(bytes + ".sha256");
}

QByteArray formatLine(const QByteArray& digest, const QByteArray& relativePath)
{
    if (needsEscape(relativePath))
        return '\\' + digest.toHex() + "  " + escaped(relativePath) + '\n';
    return digest.toHex() + "  " + relativePath + '\n';
}

QByteArray shownPath(const QByteArray& relativePath)
{
    return needsEscape(relativePath) ? '\\' + escaped(relativePath) : relativePath;
}

namespace {

// Numbers a manifest's lines and hands each on, comments and blank lines
// left out.
class LineSplitter
{
public:
    explicit LineSplitter(LineHandler& handler) : handler_(handler) {}

    // `overlong`: the line was longer than MaxLineLength; `line` is its start.
    void take(QByteArray line, bool overlong)
    {
        ++number_;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('#') || (!overlong && line.isEmpty()))
            return;
        Entry entry;
        entry.line = number_;
        const QString reason = overlong ? QStringLiteral("the line is too long") : parseLine(line, entry);
        if (reason.isEmpty())
            handler_.entry(entry);
        else
            handler_.badLine(BadLine{number_, reason});
    }

private:
    LineHandler& handler_;
    int number_ = 0;
};

// Keeps every entry, a path listed a second time a bad line.
class Collector : public LineHandler
{
public:
    Collector(QVector<Entry>& entries, QVector<BadLine>& badLines) : entries_(entries), badLines_(badLines) {}

    void entry(Entry& entry) override
    {
        if (seen_.contains(entry.relativePath)) {
            badLines_.append(BadLine{entry.line, listedTwice()});
            return;
        }
        seen_.insert(entry.relativePath);
        entries_.append(entry);
    }
    void badLine(const BadLine& bad) override { badLines_.append(bad); }

private:
    QVector<Entry>& entries_;
    QVector<BadLine>& badLines_;
    QSet<QByteArray> seen_;
};

const int BlockSize = 1 << 20;

QString tooLarge()
{
    return QStringLiteral("it is larger than 1 GiB, more than any package folder lists");
}

} // namespace

QString listedTwice()
{
    return QStringLiteral("the file is listed twice");
}

void forEachLine(const QByteArray& text, LineHandler& handler)
{
    LineSplitter splitter(handler);
    int start = 0;
    while (start <= text.size()) {
        int feed = text.indexOf('\n', start);
        if (feed < 0)
            feed = text.size();
        const int length = feed - start;
        splitter.take(text.mid(start, qMin(length, MaxLineLength)), length > MaxLineLength);
        start = feed + 1;
    }
}

bool forEachLine(QFile& file, LineHandler& handler, QString* errorString)
{
    LineSplitter splitter(handler);
    QByteArray block(BlockSize, Qt::Uninitialized);
    QByteArray line;
    bool overlong = false;
    qint64 total = 0;
    for (;;) {
        const qint64 length = file.read(block.data(), BlockSize);
        if (length < 0) {
            *errorString = file.errorString();
            return false;
        }
        if (length == 0)
            break;
        total += length;
        if (total > MaxSize) { // grown since its size was read
            *errorString = tooLarge();
            return false;
        }
        const char* at = block.constData();
        const char* const end = at + length;
        while (at < end) {
            const char* const feed = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
            const char* const stop = feed ? feed : end;
            // An overlong line keeps only its start, which tells a comment.
            if (!overlong) {
                const qint64 room = MaxLineLength - line.size();
                overlong = stop - at > room;
                line.append(at, int(overlong ? room : stop - at));
            }
            if (!feed)
                break;
            splitter.take(line, overlong);
            line.clear();
            overlong = false;
            at = feed + 1;
        }
    }
    if (!line.isEmpty() || overlong)
        splitter.take(line, overlong);
    return true;
}

void parse(const QByteArray& text, QVector<Entry>& entries, QVector<BadLine>& badLines)
{
    Collector collector(entries, badLines);
    forEachLine(text, collector);
}

bool open(const NativePath& path, QFile& file, QString* errorString)
{
    qint64 code = 0;
    const platform::OpenResult opened = platform::openForReading(path, file, &code);
    QString reason;
    if (opened == platform::OpenResult::Missing)
        reason = QStringLiteral("no such file");
    else if (opened == platform::OpenResult::NotAFile || opened == platform::OpenResult::Link)
        reason = QStringLiteral("not a regular file");
    else if (opened == platform::OpenResult::Failed)
        reason = platform::errorText(code);
    else if (file.size() > MaxSize)
        reason = tooLarge();
    if (!reason.isEmpty() && errorString)
        *errorString = reason;
    return reason.isEmpty();
}

bool read(const NativePath& path, QVector<Entry>& entries, QVector<BadLine>& badLines, QString* errorString)
{
    QFile file;
    QString reason;
    if (open(path, file, &reason)) {
        Collector collector(entries, badLines);
        forEachLine(file, collector, &reason);
    }
    if (!reason.isEmpty() && errorString)
        *errorString = reason;
    return reason.isEmpty();
}

namespace {

// The manifest's text for every file below the folder; false with the
// reason at the first thing that cannot be listed or read.
bool manifestText(const NativePath& folder, const Progress& progress, QByteArray& text, QString* errorString)
{
    FileList files;
    QVector<WalkProblem> problems;
    walkFiles(folder, files, problems);
    if (!problems.isEmpty()) {
        const WalkProblem& first = problems.first();
        *errorString = QStringLiteral("cannot list %1: %2")
                           .arg(folder.child(NativePath::fromStoredBytes(first.relativePath)).toText(), first.reason);
        return false;
    }
    const qint64 total = files.totalSize();
    // Several files are hashed at once; their lines come in walk order, and
    // the first that cannot be read stops the rest.
    QVector<QByteArray> paths;
    paths.reserve(files.count());
    for (int i = 0; i < files.count(); ++i)
        paths.append(files.relativePath(i));
    bool complete = true;
    ParallelHasher::hashFiles(
        folder, paths,
        [&](qint64 bytes) {
            if (progress)
                progress(bytes, total);
        },
        [&](int index, const FileDigest& outcome) {
            if (outcome.result == platform::OpenResult::Opened) {
                text += formatLine(outcome.digest, paths.at(index));
                return true;
            }
            QString reason = outcome.errorString;
            if (outcome.result == platform::OpenResult::Missing)
                reason = QStringLiteral("it is gone");
            else if (outcome.result == platform::OpenResult::NotAFile ||
                     outcome.result == platform::OpenResult::Link)
                reason = QStringLiteral("it is no longer a regular file");
            *errorString = QStringLiteral("cannot read %1: %2")
                               .arg(folder.child(NativePath::fromStoredBytes(paths.at(index))).toText(), reason);
            complete = false;
            return false;
        });
    return complete;
}

} // namespace

bool write(const NativePath& folder, const NativePath& manifest, const Progress& progress, QString* errorString)
{
    QString reason;
    QFile file;
    qint64 code = 0;
    // Created first, so that the name is ours before any hashing; an
    // existing manifest stops everything here, untouched.
    if (!platform::createNewFile(manifest, file, &code)) {
        reason = QStringLiteral("cannot create %1: %2").arg(manifest.toText(), platform::errorText(code));
    } else {
        // Hashed completely before a byte is written, so that an interrupted
        // run leaves an empty file, never one that lists only part.
        QByteArray text;
        if (manifestText(folder, progress, text, &reason)) {
            if (file.write(text) != text.size() || !file.flush())
                reason = QStringLiteral("cannot write %1: %2").arg(manifest.toText(), file.errorString());
        }
        file.close();
        if (reason.isEmpty() && file.error() != QFileDevice::NoError)
            reason = QStringLiteral("cannot write %1: %2").arg(manifest.toText(), file.errorString());
        if (!reason.isEmpty())
            platform::removeFile(manifest);
    }
    if (errorString)
        *errorString = reason;
    return reason.isEmpty();
}

} // namespace korvo::ChecksumManifest
