#pragma once

#include "ChecksumProgress.h"
#include "PackageMoveJob.h"

#include <memory>

namespace korvo::cli {

// The lines korvo-cli move prints as a package move goes: each package's
// line, its listing's, manifest's and image's, and the hashing progress on a
// terminal. Every line is flushed as it is printed, so that a killed
// process has said all it did. Nothing is printed for JSON output.
class MovePrinter : public PackageMoveObserver
{
public:
    // `orderSize`: the package size, named when an image is larger.
    MovePrinter(bool quiet, qint64 orderSize) : quiet_(quiet), orderSize_(orderSize) {}

    void listingStarted(const PackageMoveResult& result) override;
    void manifestStarted(const PackageMoveResult& result) override;
    void hashed(qint64 bytes, qint64 total) override;
    void imageStarted(const PackageMoveResult& result) override;
    void imaged(qint64 bytes, qint64 total) override;
    void packageEnded(const PackageMoveResult& result) override;

private:
    void printMoved(const PackageMoveResult& result);
    void printListing(const PackageMoveResult& result);
    void printManifest(const PackageMoveResult& result);

    bool quiet_;
    qint64 orderSize_;
    bool movedPrinted_ = false;
    bool listingPrinted_ = false;
    bool manifestPrinted_ = false;
    std::unique_ptr<ChecksumProgress> progress_;
};

// The dialog's texts end with CR LF; a terminal wants plain lines.
QString asLines(QString text);

} // namespace korvo::cli
