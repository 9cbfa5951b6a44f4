#pragma once

#include "ChecksumManifest.h"
#include "NativePath.h"

#include <QByteArray>
#include <QString>

namespace korvo {

// One file that does not match its manifest.
struct VerifyFinding
{
    enum Kind { Changed, Missing, Unreadable, Unlisted };
    Kind kind = Changed;
    QByteArray relativePath; // as in the manifest: stored names joined by "/"
    QString reason;          // why an unreadable file could not be read
};

// Takes what a check finds as it finds it, so that a manifest of millions
// of lines is never held: changed, missing and unreadable files and bad
// manifest lines in the manifest's line order, then the folders that could
// not be listed and the unlisted files.
class VerifySink
{
public:
    virtual ~VerifySink() = default;
    virtual void finding(const VerifyFinding& finding) = 0;
    virtual void badLine(const ChecksumManifest::BadLine& bad) = 0;
};

// The counts of a check.
struct VerifyReport
{
    int listed = 0;  // files the manifest lists
    int matched = 0; // of those, files read whole with the listed digest
    int findings[4] = {0, 0, 0, 0}; // by VerifyFinding::Kind
    int badLines = 0;

    bool allMatch() const;
    int count(VerifyFinding::Kind kind) const { return findings[kind]; }
};

// Passes what a check finds on to its sink and counts it.
class VerifyTally
{
public:
    VerifyTally(VerifySink& sink, VerifyReport& report) : sink_(sink), report_(report) {}

    void find(VerifyFinding::Kind kind, const QByteArray& relativePath, const QString& reason = QString());
    void badLine(const ChecksumManifest::BadLine& bad);
    VerifyReport& report() { return report_; }

private:
    VerifySink& sink_;
    VerifyReport& report_;
};

// Checks a folder (a package folder or a copy of it anywhere) against a
// manifest: every listed file is read once and its digest compared, and
// every regular file below the folder that the manifest does not list is
// reported (the manifest itself excepted, should it lie inside). A link is
// never followed: a listed file that is one, or lies in a folder that is
// one, is unreadable; an unlisted link, device, FIFO or socket is unlisted
// as not a regular file. The manifest is read in batches of lines, each
// batch's files hashed at once, and nothing of a batch is kept after it:
// memory grows with the files below the folder (their paths, compactly)
// and by 16 bytes for each listed path not found there. False, with
// `errorString`, when the manifest or the folder itself cannot be read
// (before anything is found), or when the manifest cannot be read to its
// end (after its earlier lines were checked); `progress` is told the bytes
// read against the size of the regular files below the folder.
bool verifyFolder(const NativePath& folder, const NativePath& manifest, const ChecksumManifest::Progress& progress,
                  VerifySink& sink, VerifyReport& report, QString* errorString);

} // namespace korvo
