#pragma once

#include "ChecksumManifest.h"
#include "NativePath.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace korvo {

// One file that does not match its manifest.
struct VerifyFinding
{
    enum Kind { Changed, Missing, Unreadable, Unlisted };
    Kind kind = Changed;
    QByteArray relativePath; // as in the manifest: stored names joined by "/"
    QString reason;          // why an unreadable file could not be read
};

// The outcome of checking a folder against its manifest.
struct VerifyReport
{
    int listed = 0;  // files the manifest lists
    int matched = 0; // of those, files read whole with the listed digest
    // Changed, missing and unreadable files in manifest order, then the
    // unlisted ones in the order of a sorted walk.
    QVector<VerifyFinding> findings;
    QVector<ChecksumManifest::BadLine> badLines;

    bool allMatch() const { return findings.isEmpty() && badLines.isEmpty(); }
    int count(VerifyFinding::Kind kind) const;
};

// Checks a folder (a package folder or a copy of it anywhere) against a
// manifest: every listed file is read once and its digest compared, and
// every regular file below the folder that the manifest does not list is
// reported (the manifest itself excepted, should it lie inside). A link is
// never followed: a listed file that is one, or lies in a folder that is
// one, is unreadable; an unlisted link, device, FIFO or socket is unlisted
// as not a regular file. A manifest too large to read is refused. False, with
// `errorString`, when the manifest or the folder itself cannot be read;
// `progress` is told the bytes read against the total of the listed files.
bool verifyFolder(const NativePath& folder, const NativePath& manifest, const ChecksumManifest::Progress& progress,
                  VerifyReport& report, QString* errorString);

} // namespace korvo
