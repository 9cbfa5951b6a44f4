#include "PackageMoveSession.h"

#include "PackageMoveWorker.h"
#include "PackageTarget.h"

#include <memory>

namespace korvo {

namespace {

const QString MoveTitle = QStringLiteral("パッケージの移動");

} // namespace

PackageMoveSession::JobEnd PackageMoveSession::JobEnd::of(PackageMoveJob::Outcome outcome, const PackageMoveJob& job)
{
    JobEnd end;
    end.outcome = outcome;
    end.errorString = job.errorString();
    end.numberBase = outcome == PackageMoveJob::BaseFailed ? -1 : job.numberBase();
    end.interrupted = !job.interruptedPackages().isEmpty();
    end.journalRefused = job.journalRefused();
    end.undoFailed = job.undoFailed();
    return end;
}

PackageMoveSession::PackageMoveSession(const DirectoryNodePtr& root, const QList<PackagePtr>& packages,
                                       const Presenter& presenter, QObject* parent)
    : QObject(parent), root_(root), packages_(packages), presenter_(presenter)
{
}

PackageMoveSession::~PackageMoveSession()
{
    // The worker stops after its current package and is waited for: it
    // reads the tree, which may go with the dialog.
    delete worker_.data();
}

void PackageMoveSession::prepare(const PackageMoveRequest& request)
{
    request_ = request;
    packagesChosen_ = request.packages.size();
    packagesEnded_ = 0;
    itemsChosen_ = 0;
    itemsEnded_ = 0;
    for (const PackageMoveRequest::Chosen& chosen : request.packages)
        itemsChosen_ += chosen.package ? chosen.package->items.size() : 0;
    baseFolderText_ = PackageTarget::baseFolder(request.volumeRoot.toText(), request.orderName, request.label);
}

void PackageMoveSession::start(const PackageMoveRequest& request)
{
    prepare(request);
    auto* worker = new PackageMoveWorker(request, this);
    worker->setPauseAfterEachPackage(true);
    connect(worker, &PackageMoveWorker::packageStarted, this, &PackageMoveSession::packageStarted);
    connect(worker, &PackageMoveWorker::itemsMoved, this, &PackageMoveSession::itemsMoved);
    connect(worker, &PackageMoveWorker::listingStarted, this,
            [this](const PackageMoveResult& result) { emit listingStarted(result.folder.listingText); });
    connect(worker, &PackageMoveWorker::listingProgress, this, &PackageMoveSession::listingProgress);
    connect(worker, &PackageMoveWorker::imageStarted, this, &PackageMoveSession::imageStarted);
    connect(worker, &PackageMoveWorker::packageEnded, this, &PackageMoveSession::packageEnded);
    connect(worker, &PackageMoveWorker::undone, this, &PackageMoveSession::interruptedUndone);
    connect(worker, &QThread::finished, this, [this, worker] { jobEnded(JobEnd::of(worker->outcome(), worker->job())); });
    worker_ = worker;
    showProgress(0, 0);
    worker->start();
}

void PackageMoveSession::requestStop()
{
    if (worker_)
        worker_->requestStop();
}

void PackageMoveSession::holdEnd(bool hold)
{
    held_ = hold;
    if (!hold && endPending_) {
        endPending_ = false;
        jobEnded(pendingEnd_);
    }
}

void PackageMoveSession::setStatus(const QString& line)
{
    // The status shows the last step of a move; the log keeps every step,
    // so that nothing said during a long move is lost.
    log_ << line;
    emit statusChanged(line, log_);
}

void PackageMoveSession::appendToStatus(const QString& report)
{
    // A listing's or image's report belongs to its package's line.
    if (log_.isEmpty())
        log_ << QString();
    log_.last() += report;
    emit statusChanged(log_.last(), log_);
}

void PackageMoveSession::showProgress(int packagesStarted, int itemsDone)
{
    emit progressChanged(packagesStarted, packagesChosen_, itemsEnded_ + itemsDone, itemsChosen_);
}

void PackageMoveSession::packageStarted(const PackageMoveResult& result)
{
    // Shown, not kept: the package's own line follows once it has ended.
    emit statusChanged(MoveTexts::movingLine(result.folder.number, result.folder.text), log_);
    showProgress(packagesEnded_ + 1, 0);
}

void PackageMoveSession::itemsMoved(int index, int done, int total)
{
    Q_UNUSED(index)
    Q_UNUSED(total)
    showProgress(packagesEnded_ + 1, done);
}

void PackageMoveSession::imageStarted(const PackageMoveResult& result)
{
    emit statusChanged(MoveTexts::imageStartedLine(result.imageText), log_);
}

void PackageMoveSession::packageEnded(const PackageMoveResult& result)
{
    emit listingEnded(result.listingWritten);
    ++packagesEnded_;
    if (result.moved) {
        itemsEnded_ += packages_.value(result.index) ? packages_.at(result.index)->items.size() : 0;
        recordMoved(result);
    } else {
        recordFailure(result);
    }
    showProgress(packagesEnded_, 0);
    // The worker waits for this: its reports, and the boxes of those that
    // failed, follow the package's line before the next package moves.
    if (result.moved && result.listingTried)
        onExportFinished(result.listingWritten, result.folder.listingText, result.listingError);
    if (result.moved && result.imageTried)
        reportImage(result);
    letWorkerGoOn();
}

void PackageMoveSession::letWorkerGoOn()
{
    if (worker_)
        worker_->resume();
}

void PackageMoveSession::recordMoved(const PackageMoveResult& result)
{
    // Between packages the job reads nothing: the tree changes here.
    if (root_ && packages_.value(result.index))
        root_->remove(packages_.at(result.index));
    emit packageMoved(result.index);
    if (result.error.isEmpty()) {
        setStatus(MoveTexts::movedLine(result.folder.number, result.folder.text));
        return;
    }
    // Its items are in its folder, but it could not be finished: its
    // journal stays, and it counts among the failures.
    const QString line = MoveTexts::unfinishedLine(result.folder.number, result.folder.text, result.error);
    setStatus(line);
    summary_.failed << QString::number(result.folder.number);
    summary_.recoverFolder = baseFolderText_;
    failureLines_ << line;
}

void PackageMoveSession::recordFailure(const PackageMoveResult& result)
{
    // A number out of range has no folder: the package is named by its row.
    const bool numbered = result.folder.number > 0;
    const QString line = MoveTexts::failedLine(MoveTexts::packageName(result.folder.number, result.index),
                                               numbered ? result.folder.text : baseFolderText_, result.error);
    setStatus(line);
    summary_.failed << MoveTexts::packageName(result.folder.number, result.index);
    summary_.leftItemsBehind = summary_.leftItemsBehind || result.leftItemsBehind;
    if (result.journalLeft)
        summary_.recoverFolder = baseFolderText_;
    failureLines_ << line;
}

void PackageMoveSession::onExportFinished(bool isSucceeded, const QString& path, const QString& errorString)
{
    const QString report = MoveTexts::savedReport(path, isSucceeded, errorString);
    appendToStatus(report);
    if (!isSucceeded && presenter_.inform)
        presenter_.inform(QStringLiteral("エクスポートの報告"), report);
}

// The image's report follows the package's line like a listing's; one that
// failed is also shown in a box and named in the summary, and one larger
// than the package size is noted, as the medium may not take it.
void PackageMoveSession::reportImage(const PackageMoveResult& result)
{
    QString report = MoveTexts::savedReport(result.imageText, result.imageWritten, result.imageError);
    if (result.imageWritten && result.imageLargerThanOrder)
        report += MoveTexts::imageTooLargeNote(result.imageSize, request_.orderSize) + QStringLiteral("\r\n");
    appendToStatus(report);
    if (result.imageWritten)
        return;
    summary_.imageFailed << QString::number(result.folder.number);
    if (presenter_.inform)
        presenter_.inform(QStringLiteral("イメージの報告"), report);
}

void PackageMoveSession::interruptedUndone(bool allUndone, const QString& lines)
{
    setStatus(lines.trimmed());
    if (!allUndone && presenter_.warn)
        presenter_.warn(MoveTitle, QStringLiteral("中断された移動を元に戻せませんでした。\r\n\r\n") + lines);
}

void PackageMoveSession::jobEnded(const JobEnd& end)
{
    // A question of the dialog still open is answered first.
    if (held_) {
        endPending_ = true;
        pendingEnd_ = end;
        return;
    }
    std::unique_ptr<PackageMoveWorker> worker(worker_.data());
    worker_ = nullptr;
    if (end.outcome == PackageMoveJob::Refused) {
        endRefused(end);
        return;
    }
    numberBase_ = end.numberBase;
    if (end.outcome == PackageMoveJob::BaseFailed) {
        // Counting from 0 could reuse numbers: nothing moved.
        failureLines_ << MoveTexts::failedLine(QString(), baseFolderText_, end.errorString);
    } else if (end.outcome == PackageMoveJob::Stopped) {
        setStatus(MoveTexts::stoppedLine(packagesChosen_ - packagesEnded_));
    }
    finish();
}

// Nothing moved: an interrupted move is in the way. Undone when the user
// wishes, and the move starts again; a journal korvo did not write for
// this user is never acted on.
void PackageMoveSession::endRefused(const JobEnd& end)
{
    if (end.journalRefused) {
        setStatus(QStringLiteral("移動の記録が使えないため、移動しませんでした。\r\n") + end.errorString.trimmed());
        if (presenter_.warn)
            presenter_.warn(MoveTitle, end.errorString.trimmed());
    } else if (!end.undoFailed && end.interrupted) {
        const bool undo = presenter_.ask
                          && presenter_.ask(MoveTitle, QStringLiteral("前回のパッケージの移動が中断されたままです。\r\n%1\r\n\r\n"
                                                                      "中断された移動を元に戻してから移動しますか？")
                                                           .arg(end.errorString.trimmed()));
        if (undo && !closing_) {
            PackageMoveRequest again = request_;
            again.undoInterrupted = true;
            start(again);
            return;
        }
        setStatus(QStringLiteral("中断された移動が残っているため、移動しませんでした。"));
    } else if (end.undoFailed) {
        emit statusChanged(log_.join(QStringLiteral("\r\n")), log_);
    }
    emit ended(true);
}

void PackageMoveSession::finish()
{
    // The status label shows one package at a time, so a failure followed by
    // a success would vanish from it: the move ends on a summary, and a box
    // holds every failure line. Items left out of the packing are named
    // there again.
    const QString leftOut = MoveTexts::leftOutLine(request_.leftOut.size());
    const auto withLeftOut = [&leftOut](const QString& text) {
        return leftOut.isEmpty() ? text : text + QStringLiteral("\r\n") + leftOut;
    };
    if (!failureLines_.isEmpty()) {
        MoveTexts::Summary summary = summary_;
        summary.unsaved.clear(); // a listing's failure has its own box
        const QString text = withLeftOut(MoveTexts::summary(summary));
        setStatus(text);
        if (presenter_.warn)
            presenter_.warn(MoveTitle, text + QStringLiteral("\r\n\r\n") + failureLines_.join(QStringLiteral("\r\n")));
    } else if (!summary_.imageFailed.isEmpty()) {
        // Every package moved, but not every image: the last line says so.
        MoveTexts::Summary images;
        images.imageFailed = summary_.imageFailed;
        setStatus(withLeftOut(MoveTexts::summary(images)));
    } else if (!leftOut.isEmpty()) {
        appendToStatus(QStringLiteral("\r\n") + leftOut);
    }
    emit ended(false);
}

} // namespace korvo
