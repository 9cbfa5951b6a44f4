#include "MovePrinter.h"

#include "Console.h"
#include "MoveTexts.h"
#include "SizeFormat.h"

namespace korvo::cli {

QString asLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

namespace {

void printSaved(const QString& path, bool written, const QString& reason, const char* note)
{
    out() << "    " << MoveTexts::savedLine(path, written);
    if (!written)
        out() << " " << asLines(reason) << note;
    out() << "\n";
    out().flush();
}

} // namespace

void MovePrinter::printMoved(const PackageMoveResult& result)
{
    if (movedPrinted_ || quiet_)
        return;
    movedPrinted_ = true;
    out() << MoveTexts::movedLine(result.folder.number, result.folder.text) << "\n";
    out().flush();
}

void MovePrinter::printListing(const PackageMoveResult& result)
{
    printMoved(result);
    if (listingPrinted_ || quiet_ || !result.listingTried)
        return;
    listingPrinted_ = true;
    printSaved(result.folder.listingText, result.listingWritten, result.listingError, "");
}

void MovePrinter::printManifest(const PackageMoveResult& result)
{
    printListing(result);
    if (manifestPrinted_ || quiet_ || !result.manifestTried)
        return;
    manifestPrinted_ = true;
    printSaved(result.folder.manifestText, result.manifestWritten, result.manifestError,
               " (the package itself has moved)");
}

void MovePrinter::listingStarted(const PackageMoveResult& result)
{
    printMoved(result);
}

void MovePrinter::manifestStarted(const PackageMoveResult& result)
{
    printListing(result);
    progress_.reset(new ChecksumProgress(QStringLiteral("sha256 ") + result.folder.manifest.fileName().toText()));
}

void MovePrinter::hashed(qint64 bytes, qint64 total)
{
    if (progress_)
        progress_->callback()(bytes, total);
}

void MovePrinter::imageStarted(const PackageMoveResult& result)
{
    progress_.reset();
    printManifest(result);
    progress_.reset(new ChecksumProgress(QStringLiteral("image ") + result.image.fileName().toText()));
}

void MovePrinter::imaged(qint64 bytes, qint64 total)
{
    hashed(bytes, total);
}

namespace {

void printImage(const PackageMoveResult& result, qint64 orderSize)
{
    if (!result.imageWritten) {
        printSaved(result.imageText, false, result.imageError, " (the package itself has moved)");
        return;
    }
    out() << "    " << MoveTexts::savedLine(result.imageText, true) << " ("
          << formatSize(result.imageSize) << ")";
    if (result.imageLargerThanOrder)
        out() << " " << MoveTexts::imageTooLargeNote(result.imageSize, orderSize);
    out() << "\n";
}

} // namespace

void MovePrinter::packageEnded(const PackageMoveResult& result)
{
    progress_.reset();
    if (!quiet_ && result.folder.number >= 1) {
        // A number out of range has no folder: the caller says so.
        if (!result.moved) {
            out() << asLines(MoveTexts::failedLine(QString::number(result.folder.number), result.folder.text,
                                                   result.error))
                  << "\n";
        } else {
            printManifest(result);
            if (result.imageTried)
                printImage(result, orderSize_);
            if (!result.error.isEmpty())
                out() << asLines(MoveTexts::unfinishedLine(result.folder.number, result.folder.text, result.error))
                      << "\n";
        }
        out().flush();
    }
    movedPrinted_ = false;
    listingPrinted_ = false;
    manifestPrinted_ = false;
}

} // namespace korvo::cli
