#pragma once

#include "NativePath.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

#include <functional>

namespace korvo {

// The checksum room: SHA-256 digests of files (Sha256, FileHasher), the
// manifests that list them (ChecksumManifest) and their check against a
// folder (ChecksumVerifier), over a sorted walk of regular files (FileWalk).
// Every call is synchronous on the caller's thread (several files are hashed
// at once on threads of its own: ParallelHasher), reads files through exact
// paths and returns values the caller owns; progress callbacks run on the
// caller's thread too.
//
// A SHA-256 manifest of a folder, in the line format that `sha256sum`
// writes and `sha256sum -c` reads: 64 lower-case hex digits, two blanks and
// the file's path relative to the folder, "/" between names, the names'
// bytes as they are. A path holding a backslash, line feed or carriage
// return is written escaped (\\, \n, \r) on a line that starts with a
// backslash, as sha256sum does.
namespace ChecksumManifest {

// Called with the bytes read since the last call and the total to read.
using Progress = std::function<void(qint64 bytes, qint64 total)>;

// One listed file.
struct Entry
{
    QByteArray digest;       // 32 bytes
    QByteArray relativePath; // normalised: no "." or empty names
    int line = 0;
};

// A line that lists no file.
struct BadLine
{
    int line = 0;
    QString reason;
};

// The manifest beside a folder: the folder's path (trailing separators
// dropped) followed by ".sha256", so folder N gets N.sha256.
NativePath pathBeside(const NativePath& folder);

// One manifest line, ending with a line feed.
QByteArray formatLine(const QByteArray& digest, const QByteArray& relativePath);

// A path as sha256sum shows it in its messages: escaped, after a leading
// backslash, when it holds a backslash or line break; else as it is.
QByteArray shownPath(const QByteArray& relativePath);

// Takes a manifest's lines one at a time, in line order: each line that
// lists a file, and each bad line with why.
class LineHandler
{
public:
    virtual ~LineHandler() = default;
    virtual void entry(Entry& entry) = 0;
    virtual void badLine(const BadLine& bad) = 0;
};

// The largest manifest read: 1 GiB, some 16 million lines, far more than a
// package folder holds.
const qint64 MaxSize = qint64(1) << 30;
// A longer line (some 8 KiB is the most a path takes) is a bad line, or a
// comment, of which no more is kept.
const int MaxLineLength = 64 * 1024;

// Besides its own lines a manifest may hold what sha256sum writes and reads:
// the binary marker "*", a leading "./", CR LF line ends, blank lines and
// # comments. A path that is absolute, climbs out with "..", or holds a
// byte no line can hold as it is (a NUL, which no file name has, or a
// carriage return that is not escaped) is a bad line: a manifest names only
// files inside its folder, each exactly. forEachLine() keeps nothing from
// one line to the next, so a path listed a second time is the caller's to
// find; read() and parse() make it a bad line.
void forEachLine(const QByteArray& text, LineHandler& handler);

// Opens the manifest at `path` for forEachLine(). False, with the reason in
// `errorString`, when it cannot be opened, is not a regular file, or is
// larger than MaxSize.
bool open(const NativePath& path, QFile& file, QString* errorString);

// Reads an opened manifest line by line, in memory for one line at a time.
// False, with the reason, when it cannot be read to its end or grows past
// MaxSize meanwhile; the lines before were handled.
bool forEachLine(QFile& file, LineHandler& handler, QString* errorString);

// The reason of a line that lists a path listed before.
QString listedTwice();

// Every line of a manifest's text, as forEachLine() gives them, a path
// listed a second time a bad line.
void parse(const QByteArray& text, QVector<Entry>& entries, QVector<BadLine>& badLines);

// The manifest at `path` as parse() reads it, in memory for the entries
// only. False as open() and forEachLine() say.
bool read(const NativePath& path, QVector<Entry>& entries, QVector<BadLine>& badLines, QString* errorString);

// Hashes every regular file below `folder` (a sorted walk, each file read
// once) and writes the manifest to `manifest`, which this call creates:
// an existing file of that name is never replaced. False when anything
// could not be listed, read or written; the manifest is then not left
// behind, and `errorString` says why.
bool write(const NativePath& folder, const NativePath& manifest, const Progress& progress, QString* errorString);

} // namespace ChecksumManifest
} // namespace korvo
