#include "MovePrinter.h"

#include "Console.h"
#include "PackageListing.h"

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
    out() << "    " << path << QStringLiteral(" 保存に") << PackageListing::savedWord(written);
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
    out() << PackageListing::movedLine(result.folder) << "\n";
    out().flush();
}

void MovePrinter::listingStarted(const PackageMoveResult& result)
{
    printMoved(result);
}

void MovePrinter::manifestStarted(const PackageMoveResult& result)
{
    printMoved(result);
    if (result.listingTried && !quiet_)
        printSaved(result.folder.listingText, result.listingWritten, result.listingError, "");
    progress_.reset(new ChecksumProgress(QStringLiteral("sha256 ") + result.folder.manifest.fileName().toText()));
}

void MovePrinter::hashed(qint64 bytes, qint64 total)
{
    if (progress_)
        progress_->callback()(bytes, total);
}

void MovePrinter::packageEnded(const PackageMoveResult& result)
{
    progress_.reset();
    const bool listingShown = movedPrinted_ && result.manifestTried;
    movedPrinted_ = movedPrinted_ && !quiet_;
    if (quiet_ || result.folder.number < 1) {
        movedPrinted_ = false;
        return; // a number out of range has no folder: the caller says so
    }
    if (!result.moved) {
        out() << asLines(PackageListing::failedLine(QString::number(result.folder.number), result.folder.text,
                                                    result.error))
              << "\n";
    } else {
        printMoved(result);
        if (result.listingTried && !listingShown)
            printSaved(result.folder.listingText, result.listingWritten, result.listingError, "");
        if (result.manifestTried)
            printSaved(result.folder.manifestText, result.manifestWritten, result.manifestError,
                       " (the package itself has moved)");
    }
    out().flush();
    movedPrinted_ = false;
}

} // namespace korvo::cli
