#include "ScanJob.h"

#include "Platform.h"

#include <QMutexLocker>

#include <algorithm>

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
    QMutex unreadableLock;
    EnumerateOptions options = options_;
    options.unreadable = [&](const DirectoryNode& folder, int error) {
        const UnreadableFolder entry{folder.nativeFilePath(), platform::errorText(error)};
        QMutexLocker locker(&unreadableLock);
        outcome.unreadable.append(entry);
    };
    outcome.root = enumerateTree(folder_, cancelFlag_, progress_, &progressLock_, options);
    // The walking threads meet them in any order.
    std::sort(outcome.unreadable.begin(), outcome.unreadable.end(),
              [](const UnreadableFolder& a, const UnreadableFolder& b) { return a.path < b.path; });
    outcome.stats = snapshot();
    outcome.isCanceled = cancelFlag_.load();
    if (outcome.isCanceled)
        outcome.root.reset();
    cancelFlag_.store(false);
    return outcome;
}

} // namespace korvo
