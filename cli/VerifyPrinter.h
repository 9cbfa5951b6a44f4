#pragma once

#include "ChecksumVerifier.h"
#include "NativePath.h"
#include "Spool.h"

#include <QByteArray>
#include <QString>

namespace korvo::cli {

// The manifest a check used, as the lines name it.
struct UsedManifest
{
    QByteArray bytes; // exact, for the lines of bad manifest lines
    QString shown;
};

// Prints what korvo-cli verify finds as it finds it, one line each: the
// files that differ and the bad manifest lines in line order, then the
// folders that could not be listed and the unlisted files, then a summary.
class TextVerifyPrinter : public VerifySink
{
public:
    explicit TextVerifyPrinter(const UsedManifest& manifest) : manifest_(manifest) {}

    void finding(const VerifyFinding& finding) override;
    void badLine(const ChecksumManifest::BadLine& bad) override;
    void printSummary(const VerifyReport& report);

private:
    UsedManifest manifest_;
};

// Writes korvo-cli verify's JSON object as the check goes: the items of each
// list go to that list's spool as they are found (its order is the order
// found), and the object is printed whole at the end with the counts that
// lead it, its keys in the order they always had.
class JsonVerifyPrinter : public VerifySink
{
public:
    JsonVerifyPrinter(const QString& key, const NativePath& target, const UsedManifest& manifest)
        : key_(key), target_(target), manifest_(manifest)
    {
    }

    void finding(const VerifyFinding& finding) override;
    void badLine(const ChecksumManifest::BadLine& bad) override;
    // False, with the reason, when a spool failed: nothing was printed.
    bool print(const VerifyReport& report, QString* errorString);
    // The object of a check that could not be made.
    void printError(const QString& error);

private:
    void add(Spool& spool, const QString& item);

    QString key_;
    NativePath target_;
    UsedManifest manifest_;
    Spool lists_[5]; // by VerifyFinding::Kind, then the bad lines
};

} // namespace korvo::cli
