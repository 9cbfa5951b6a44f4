#include "ScanJob.h"

#include <QMutexLocker>

namespace korvo {

void ScanJob::setFolder(const NativePath& folder)
{
    folder_ = folder;
    cancelFlag_.store(false);
}

EnumerateProgress ScanJob::snapshot() const
{
    QMutexLocker locker(&progressLock_);
    return progress_;
}

ScanOutcome ScanJob::run()
{
    {
        QMutexLocker locker(&progressLock_);
        progress_.reset();
    }
    ScanOutcome outcome;
    outcome.root = enumerateTree(folder_, cancelFlag_, progress_, &progressLock_, options_);
    outcome.stats = snapshot();
    outcome.isCanceled = cancelFlag_.load();
    if (outcome.isCanceled)
        outcome.root.reset();
    cancelFlag_.store(false);
    return outcome;
}

} // namespace korvo
