#include "ChecksumVerifier.h"

#include "FileWalk.h"
#include "ParallelHasher.h"
#include "Platform.h"

#include <QFile>
#include <QHash>
#include <QSet>

namespace korvo {

int VerifyReport::count(VerifyFinding::Kind kind) const
{
    int n = 0;
    for (const VerifyFinding& finding : findings)
        n += finding.kind == kind ? 1 : 0;
    return n;
}

namespace {

// The manifest's content; false with the reason when it cannot be read.
bool readManifest(const NativePath& manifest, QByteArray& text, QString* errorString)
{
    QFile file;
    qint64 code = 0;
    const platform::OpenResult opened = platform::openForReading(manifest, file, &code);
    QString reason;
    if (opened == platform::OpenResult::Missing)
        reason = QStringLiteral("no such file");
    else if (opened == platform::OpenResult::NotAFile)
        reason = QStringLiteral("not a regular file");
    else if (opened == platform::OpenResult::Failed)
        reason = platform::errorText(code);
    else {
        text = file.readAll();
        if (file.error() != QFileDevice::NoError)
            reason = file.errorString();
    }
    if (!reason.isEmpty())
        *errorString = QStringLiteral("cannot read the manifest %1: %2").arg(manifest.toText(), reason);
    return reason.isEmpty();
}

// Records how one listed file compares.
void record(const ChecksumManifest::Entry& entry, const FileDigest& outcome, VerifyReport& report)
{
    switch (outcome.result) {
    case platform::OpenResult::Opened:
        if (outcome.digest == entry.digest)
            ++report.matched;
        else
            report.findings.append(VerifyFinding{VerifyFinding::Changed, entry.relativePath, QString()});
        break;
    case platform::OpenResult::Missing:
        report.findings.append(VerifyFinding{VerifyFinding::Missing, entry.relativePath, QString()});
        break;
    case platform::OpenResult::NotAFile:
        report.findings.append(
            VerifyFinding{VerifyFinding::Unreadable, entry.relativePath, QStringLiteral("not a regular file")});
        break;
    case platform::OpenResult::Failed:
        report.findings.append(VerifyFinding{VerifyFinding::Unreadable, entry.relativePath, outcome.errorString});
        break;
    }
}

} // namespace

bool verifyFolder(const NativePath& folder, const NativePath& manifest, const ChecksumManifest::Progress& progress,
                  VerifyReport& report, QString* errorString)
{
    report = VerifyReport();
    QByteArray text;
    if (!readManifest(manifest, text, errorString))
        return false;
    QVector<ChecksumManifest::Entry> entries;
    ChecksumManifest::parse(text, entries, report.badLines);
    report.listed = entries.size();

    QVector<WalkedFile> files;
    QVector<WalkProblem> problems;
    walkFiles(folder, files, problems);
    for (const WalkProblem& problem : problems) {
        if (problem.relativePath.isEmpty()) {
            *errorString = QStringLiteral("cannot read the folder %1: %2").arg(folder.toText(), problem.reason);
            return false;
        }
    }

    QHash<QByteArray, qint64> present;
    for (const WalkedFile& file : files)
        present.insert(file.relativePath, file.size);
    qint64 total = 0;
    QSet<QByteArray> listed;
    for (const ChecksumManifest::Entry& entry : entries) {
        total += present.value(entry.relativePath, 0);
        listed.insert(entry.relativePath);
    }
    // Several files are hashed at once; their findings come in manifest order.
    QVector<NativePath> paths;
    paths.reserve(entries.size());
    for (const ChecksumManifest::Entry& entry : entries)
        paths.append(folder.child(NativePath::fromStoredBytes(entry.relativePath)));
    ParallelHasher::hashFiles(
        paths,
        [&](qint64 bytes) {
            if (progress)
                progress(bytes, total);
        },
        [&](int index, const FileDigest& outcome) {
            record(entries.at(index), outcome, report);
            return true;
        });

    // A subfolder that cannot be listed may hide unlisted files: say so.
    for (const WalkProblem& problem : problems)
        report.findings.append(VerifyFinding{VerifyFinding::Unreadable, problem.relativePath, problem.reason});
    for (const WalkedFile& file : files) {
        if (!listed.contains(file.relativePath) && file.path != manifest)
            report.findings.append(VerifyFinding{VerifyFinding::Unlisted, file.relativePath, QString()});
    }
    return true;
}

} // namespace korvo
