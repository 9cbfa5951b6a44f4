#include "PackageMoveJob.h"

#include "ImageBeside.h"
#include "MoveJournal.h"
#include "MoveTexts.h"
#include "PackageListing.h"
#include "PackageRecovery.h"
#include "PackageTarget.h"

namespace korvo {

PackageMoveJob::PackageMoveJob(const PackageMoveRequest& request)
    : request_(request), mover_(request.root, request.volumeRoot, request.orderName, request.label)
{
}

// Checks the base folder, under its lock, for journals of interrupted moves
// (each read as input from a stranger) and undoes them when asked. False
// with the reason when the job must not start.
bool PackageMoveJob::checkNoInterruptedMove()
{
    const platform::FolderHandle& base = mover_.base().handle();
    QStringList journals;
    QStringList unfinished;
    if (!MoveJournal::findIn(base, &journals, &unfinished, &errorString_))
        return false;
    QString refused;
    for (const QString& name : qAsConst(journals)) {
        MoveJournal journal;
        QString rule;
        if (MoveJournal::read(base, NativePath::fromText(name), &journal, &rule) == MoveJournal::ReadResult::Read) {
            interrupted_ << name;
            continue;
        }
        journalRefused_ = true;
        refused += MoveTexts::refusedJournalLine(mover_.base().path().child(name), rule) + QStringLiteral("\r\n");
    }
    if (interrupted_.isEmpty() && unfinished.isEmpty() && !journalRefused_)
        return true;
    if (!journalRefused_ && request_.undoInterrupted)
        return undoInterrupted(unfinished);
    interrupted_ += unfinished;
    errorString_ = refused + MoveTexts::interruptedLines(mover_.baseFolderText(), interrupted_);
    return false;
}

bool PackageMoveJob::undoInterrupted(const QStringList& unfinished)
{
    QString lines;
    bool allUndone = true;
    QList<PackageRecovery::Report> reports;
    for (const QString& name : unfinished)
        reports << PackageRecovery::removeUnfinished(mover_.base(), name);
    for (const QString& name : qAsConst(interrupted_))
        reports << PackageRecovery::undo(mover_.base(), name);
    for (const PackageRecovery::Report& report : qAsConst(reports)) {
        allUndone = allUndone && report.undone();
        lines += PackageRecovery::reportLines(report);
    }
    observer_->interruptedUndone(allUndone, lines);
    undoFailed_ = !allUndone;
    if (allUndone)
        interrupted_.clear();
    else
        errorString_ = lines;
    return allUndone;
}

PackageMoveJob::Outcome PackageMoveJob::run()
{
    if (!observer_)
        observer_ = &noObserver_;
    results_.clear();
    errorString_.clear();
    interrupted_.clear();
    journalRefused_ = false;
    undoFailed_ = false;
    // The base folder is opened and locked before any journal is looked at:
    // a folder of another user is refused before its journals are read. The
    // lock is held until the job ends.
    if (!mover_.openBaseFolder() || !mover_.lockBaseFolder()) {
        errorString_ = mover_.errorString();
        return BaseFailed;
    }
    struct Unlock
    {
        PackageMover& mover;
        ~Unlock() { mover.unlockBaseFolder(); }
    } unlock{mover_};
    if (!checkNoInterruptedMove())
        return interrupted_.isEmpty() && !journalRefused_ && !undoFailed_ ? BaseFailed : Refused;
    base_ = request_.numberBase;
    if (base_ < 0 && !mover_.findNumberBase(&base_)) {
        base_ = -1;
        errorString_ = mover_.errorString();
        return BaseFailed;
    }
    for (const PackageMoveRequest::Chosen& chosen : qAsConst(request_.packages)) {
        if (stop_.load()) {
            stoppedBefore_ = chosen.index;
            return Stopped;
        }
        const PackageMoveResult result = runPackage(chosen);
        results_ << result;
        observer_->packageEnded(result);
    }
    return Finished;
}

// One package's steps: its folder, its items under a journal, its listing,
// manifest and image, and its end.
PackageMoveResult PackageMoveJob::runPackage(const PackageMoveRequest::Chosen& chosen)
{
    PackageMoveResult result;
    result.index = chosen.index;
    const int wanted = PackageTarget::folderNumber(base_, chosen.index);
    const int total = chosen.package ? chosen.package->items.size() : 0;
    if (!mover_.createPackageFolder(wanted, &result.folder)) {
        result.error = mover_.errorString();
        return result;
    }
    observer_->packageStarted(result);
    const auto progress = [this, &chosen](int done, int all) { observer_->itemsMoved(chosen.index, done, all); };
    result.moved = mover_.moveItems(result.folder, chosen.package, progress);
    if (!result.moved) {
        result.error = mover_.errorString();
        result.leftItemsBehind = mover_.leftItemsBehind();
        result.journalLeft = result.leftItemsBehind;
        return result;
    }
    observer_->itemsMoved(chosen.index, total, total);
    if (request_.listing)
        writeListing(chosen, result);
    if (request_.checksums)
        writeManifest(result);
    if (request_.image != ImageFormat::None)
        writeImage(result);
    finishPackage(result);
    return result;
}

// Makes the moved package lasting and removes its journal; when that
// fails the journal stays, and the package is reported as not finished.
void PackageMoveJob::finishPackage(PackageMoveResult& result)
{
    if (mover_.finishPackage(result.folder))
        return;
    result.error = mover_.errorString();
    result.journalLeft = true;
}

void PackageMoveJob::writeListing(const PackageMoveRequest::Chosen& chosen, PackageMoveResult& result)
{
    observer_->listingStarted(result);
    result.listingTried = true;
    const auto progress = [this](qreal percent) { observer_->listingProgress(percent); };
    result.listingWritten = PackageListing::writeListing(result.folder, chosen.package, request_.xmlSettings,
                                                         &result.listingError, progress);
}

void PackageMoveJob::writeManifest(PackageMoveResult& result)
{
    observer_->manifestStarted(result);
    result.manifestTried = true;
    const auto progress = [this](qint64 bytes, qint64 total) { observer_->hashed(bytes, total); };
    result.manifestWritten = PackageListing::writeManifest(result.folder, progress, &result.manifestError);
}

void PackageMoveJob::writeImage(PackageMoveResult& result)
{
    result.image = ImageFormats::pathBeside(result.folder.path, request_.image);
    result.imageText = MoveTexts::shown(result.image);
    observer_->imageStarted(result);
    result.imageTried = true;
    ImageBeside::Request image;
    image.folder = result.folder;
    image.format = request_.image;
    image.label = request_.label.isEmpty() ? request_.orderName : request_.label;
    image.withManifest = result.manifestWritten;
    const auto progress = [this](qint64 bytes, qint64 total) { observer_->imaged(bytes, total); };
    result.imageWritten = ImageBeside::write(image, progress, &result.imageSize, &result.imageError);
    result.imageLargerThanOrder = result.imageWritten && request_.orderSize > 0 && result.imageSize > request_.orderSize;
}

} // namespace korvo
