#include "ChecksumVerifier.h"

#include "FileWalk.h"
#include "ParallelHasher.h"
#include "Platform.h"

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
    case platform::OpenResult::Link:
        report.findings.append(VerifyFinding{VerifyFinding::Unreadable, entry.relativePath,
                                             QStringLiteral("its path holds a link, never followed")});
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
    QVector<ChecksumManifest::Entry> entries;
    QString reason;
    if (!ChecksumManifest::read(manifest, entries, report.badLines, &reason)) {
        *errorString = QStringLiteral("cannot read the manifest %1: %2").arg(manifest.toText(), reason);
        report.badLines.clear();
        return false;
    }
    report.listed = entries.size();

    QVector<WalkedFile> files;
    QVector<WalkProblem> problems;
    walkFiles(folder, files, problems, true);
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
    // Each is opened below the folder without following a link, so a link
    // in the copy can never stand in for a file.
    QVector<QByteArray> paths;
    paths.reserve(entries.size());
    for (const ChecksumManifest::Entry& entry : entries)
        paths.append(entry.relativePath);
    ParallelHasher::hashFiles(
        folder, paths,
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
    // Links, devices, FIFOs and sockets are never read: an unlisted one is
    // named with why (a listed one was reported when it was opened).
    for (const WalkedFile& file : files) {
        if (!listed.contains(file.relativePath) && file.path != manifest)
            report.findings.append(VerifyFinding{VerifyFinding::Unlisted, file.relativePath,
                                                 file.regular ? QString() : QStringLiteral("not a regular file")});
    }
    return true;
}

} // namespace korvo
