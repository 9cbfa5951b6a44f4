#include "ChecksumVerifier.h"

#include "FileWalk.h"
#include "ParallelHasher.h"
#include "ListedPaths.h"
#include "NameCase.h"
#include "Platform.h"

#include <vector>

namespace korvo {

bool VerifyReport::allMatch() const
{
    return badLines == 0 && findings[0] == 0 && findings[1] == 0 && findings[2] == 0 && findings[3] == 0;
}

void VerifyTally::find(VerifyFinding::Kind kind, const QByteArray& relativePath, const QString& reason)
{
    ++report_.findings[kind];
    sink_.finding(VerifyFinding{kind, relativePath, reason});
}

void VerifyTally::badLine(const ChecksumManifest::BadLine& bad)
{
    ++report_.badLines;
    sink_.badLine(bad);
}

namespace {

// Lines whose files are hashed at once: enough to keep every processor busy
// on small files, few enough to cost no memory worth counting.
const int BatchSize = 4096;

// Records how one listed file compares.
void record(const ChecksumManifest::Entry& entry, const FileDigest& outcome, VerifyTally& tally)
{
    switch (outcome.result) {
    case platform::OpenResult::Opened:
        if (outcome.digest == entry.digest)
            ++tally.report().matched;
        else
            tally.find(VerifyFinding::Changed, entry.relativePath);
        break;
    case platform::OpenResult::Missing:
        tally.find(VerifyFinding::Missing, entry.relativePath);
        break;
    case platform::OpenResult::Link:
        tally.find(VerifyFinding::Unreadable, entry.relativePath, QStringLiteral("its path holds a link, never followed"));
        break;
    case platform::OpenResult::NotAFile:
        tally.find(VerifyFinding::Unreadable, entry.relativePath, QStringLiteral("not a regular file"));
        break;
    case platform::OpenResult::Failed:
        tally.find(VerifyFinding::Unreadable, entry.relativePath, outcome.errorString);
        break;
    }
}

// Checks a manifest's lines against a walked folder a batch at a time: the
// batch's files are hashed at once, then its lines are told in line order.
// A path listed before is a bad line: a walked file is marked as listed, a
// path not found by the walk is kept as its key.
class FolderCheck : public ChecksumManifest::LineHandler
{
public:
    FolderCheck(const NativePath& folder, const FileList& files, const ChecksumManifest::Progress& progress,
                VerifyTally& tally)
        : folder_(folder), files_(files), progress_(progress), tally_(tally),
          listed_(files, platform::namesIgnoreCase())
    {
    }

    void entry(ChecksumManifest::Entry& entry) override;
    void badLine(const ChecksumManifest::BadLine& bad) override;
    // Hashes and tells the lines taken since the last call.
    void flush();
    bool listed(int index) const { return listed_.isListed(index); }

private:
    // A line of the batch: its entry, or a bad line when `entry` is -1.
    struct Line
    {
        int entry = -1;
        ChecksumManifest::BadLine bad;
    };

    const NativePath& folder_;
    const FileList& files_;
    const ChecksumManifest::Progress& progress_;
    VerifyTally& tally_;
    ListedPaths listed_;
    QVector<ChecksumManifest::Entry> entries_;
    QVector<Line> lines_;
};

void FolderCheck::entry(ChecksumManifest::Entry& entry)
{
    int index = -1;
    if (!listed_.mark(entry.relativePath, &index)) {
        badLine(ChecksumManifest::BadLine{entry.line, ChecksumManifest::listedTwice()});
        return;
    }
    ++tally_.report().listed;
    lines_.append(Line{entries_.size(), {}});
    entries_.append(std::move(entry));
    if (entries_.size() == BatchSize)
        flush();
}

void FolderCheck::badLine(const ChecksumManifest::BadLine& bad)
{
    lines_.append(Line{-1, bad});
    if (lines_.size() >= 4 * BatchSize)
        flush();
}

void FolderCheck::flush()
{
    QVector<QByteArray> paths;
    paths.reserve(entries_.size());
    for (const ChecksumManifest::Entry& entry : qAsConst(entries_))
        paths.append(entry.relativePath);
    int told = 0; // lines of the batch told so far
    auto tellBadLines = [this, &told] {
        for (; told < lines_.size() && lines_.at(told).entry < 0; ++told)
            tally_.badLine(lines_.at(told).bad);
    };
    const qint64 total = files_.totalSize();
    // Each file is opened below the folder without following a link, so a
    // link in the copy can never stand in for a file.
    ParallelHasher::hashFiles(
        folder_, paths,
        [&](qint64 bytes) {
            if (progress_)
                progress_(bytes, total);
        },
        [&](int index, const FileDigest& outcome) {
            tellBadLines();
            ++told; // the entry's line, the next in line order
            record(entries_.at(index), outcome, tally_);
            return true;
        });
    tellBadLines();
    entries_.clear();
    lines_.clear();
}

// Tells the folders that could not be listed, then the files the manifest
// does not list, in walk order.
void tellUnlisted(const NativePath& folder, const NativePath& manifest, const FileList& files,
                  const QVector<WalkProblem>& problems, const FolderCheck& check, VerifyTally& tally)
{
    // A subfolder that cannot be listed may hide unlisted files: say so.
    for (const WalkProblem& problem : problems)
        tally.find(VerifyFinding::Unreadable, problem.relativePath, problem.reason);
    // Links, devices, FIFOs and sockets are never read: an unlisted one is
    // named with why (a listed one was reported when it was opened).
    for (int i = 0; i < files.count(); ++i) {
        if (check.listed(i))
            continue;
        const QByteArray path = files.relativePath(i);
        if (folder.child(NativePath::fromStoredBytes(path)) != manifest)
            tally.find(VerifyFinding::Unlisted, path,
                       files.regular(i) ? QString() : QStringLiteral("not a regular file"));
    }
}

} // namespace

bool verifyFolder(const NativePath& folder, const NativePath& manifest, const ChecksumManifest::Progress& progress,
                  VerifySink& sink, VerifyReport& report, QString* errorString)
{
    report = VerifyReport();
    QFile file;
    QString reason;
    if (!ChecksumManifest::open(manifest, file, &reason)) {
        *errorString = QStringLiteral("cannot read the manifest %1: %2").arg(manifest.toText(), reason);
        return false;
    }
    FileList files;
    QVector<WalkProblem> problems;
    walkFiles(folder, files, problems, true);
    for (const WalkProblem& problem : qAsConst(problems)) {
        if (problem.relativePath.isEmpty()) {
            *errorString = QStringLiteral("cannot read the folder %1: %2").arg(folder.toText(), problem.reason);
            return false;
        }
    }
    VerifyTally tally(sink, report);
    FolderCheck check(folder, files, progress, tally);
    const bool read = ChecksumManifest::forEachLine(file, check, &reason);
    check.flush();
    if (!read) {
        *errorString = QStringLiteral("cannot read the manifest %1 to its end: %2").arg(manifest.toText(), reason);
        return false;
    }
    tellUnlisted(folder, manifest, files, problems, check, tally);
    return true;
}

} // namespace korvo
