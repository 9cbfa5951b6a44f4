#include "PackageMoveJob.h"

#include "ImageBeside.h"
#include "MoveJournal.h"
#include "PackageListing.h"
#include "PackageTarget.h"

namespace korvo {

PackageMoveJob::PackageMoveJob(const PackageMoveRequest& request)
    : request_(request), mover_(request.root, request.volumeRoot, request.orderName, request.label)
{
}

bool PackageMoveJob::checkNoInterruptedMove()
{
    QString reason;
    if (!MoveJournal::findIn(mover_.baseFolder(), &interrupted_, &reason)) {
        errorString_ = reason;
        return false;
    }
    if (interrupted_.isEmpty())
        return true;
    errorString_ = MoveJournal::refusalLines(mover_.baseFolderText(), interrupted_);
    return false;
}

PackageMoveJob::Outcome PackageMoveJob::run()
{
    if (!observer_)
        observer_ = &noObserver_;
    results_.clear();
    errorString_.clear();
    interrupted_.clear();
    if (!checkNoInterruptedMove())
        return interrupted_.isEmpty() ? BaseFailed : Refused;
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
        const PackageMoveResult result = movePackage(chosen);
        results_ << result;
        observer_->packageEnded(result);
    }
    return Finished;
}

PackageMoveResult PackageMoveJob::movePackage(const PackageMoveRequest::Chosen& chosen)
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
    result.moved = mover_.movePackage(result.folder, chosen.package, progress);
    if (!result.moved) {
        result.error = mover_.errorString();
        result.leftItemsBehind = mover_.leftItemsBehind();
        return result;
    }
    observer_->itemsMoved(chosen.index, total, total);
    if (request_.listing)
        writeListing(chosen, result);
    if (request_.checksums)
        writeManifest(result);
    if (request_.image != ImageFormat::None)
        writeImage(result);
    if (!mover_.finishPackage(result.folder))
        result.error = mover_.errorString();
    return result;
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
    result.imageText = ImageBeside::shown(result.image);
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
