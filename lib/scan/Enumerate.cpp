#include "Enumerate.h"

#include "FolderWalkFactory.h"
#include "Platform.h"
#include "SaturatingSum.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>

namespace korvo {

namespace {

// Sets every folder's totals from its own figures and its subfolders'
// totals: each folder once, after every folder below it, in time linear in
// the number of folders. Stops early when `cancelled` says so.
template<typename Cancelled>
void totalTree(const DirectoryNodePtr& root, Cancelled cancelled)
{
    // Every folder, parents before the folders below them.
    QVector<DirectoryNode*> folders{root.data()};
    for (int i = 0; i < folders.size() && !cancelled(); ++i) {
        for (const DirectoryNodePtr& sub : folders.at(i)->subdirectories())
            folders.append(sub.data());
    }
    for (int i = folders.size() - 1; i >= 0 && !cancelled(); --i) {
        DirectoryNode& folder = *folders.at(i);
        qint64 totalSize = folder.size();
        qint64 totalSizeOnDisk = folder.sizeOnDisk();
        qint32 totalFiles = folder.fileCount();
        qint32 totalFolders = folder.subdirectoryCount();
        for (const DirectoryNodePtr& sub : folder.subdirectories()) {
            totalSize = addSaturating(totalSize, sub->totalSize());
            totalSizeOnDisk = addSaturating(totalSizeOnDisk, sub->totalSizeOnDisk());
            totalFiles += sub->totalFileCount();
            totalFolders += sub->totalSubdirectoryCount();
        }
        folder.setTotals(totalSize, totalSizeOnDisk, totalFiles, totalFolders);
    }
}

} // namespace

DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock)
{
    return enumerateTree(directory, cancelFlag, progress, progressLock, EnumerateOptions());
}

DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock, const EnumerateOptions& options)
{
    return enumerateTree(NativePath::fromText(directory.absolutePath()), cancelFlag, progress, progressLock,
                         options);
}

DirectoryNodePtr enumerateTree(const NativePath& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock, const EnumerateOptions& options)
{
    // Folders may be listed on several threads at once: every update is
    // made under a lock, the caller's when there is one.
    QMutex ownLock;
    QMutex* const lock = progressLock ? progressLock : &ownLock;
    auto update = [lock](auto&& change) {
        QMutexLocker locker(lock);
        change();
    };
    auto cancelled = [&] { return cancelFlag.load(std::memory_order_relaxed); };
    update([&] { progress.phase = 1; });

    const DriveGeometry geometry = options.useGeometry ? options.geometry : platform::driveGeometry(directory);
    const std::unique_ptr<FolderWalk> walk = createFolderWalk(options.method, directory, geometry, options.threads, options.fileSystemProbe);
    const DirectoryNodePtr root = walk->root();
    QElapsedTimer stopwatch;
    stopwatch.start();

    walk->run(cancelFlag, [&](DirectoryNode& folder, const FolderSums& sums) {
        folder.setOwnSizes(sums.size, sums.sizeOnDisk);
        if (sums.error != 0 && options.unreadable)
            options.unreadable(folder, sums.error);
        // The sums and counts of one folder change together.
        update([&] {
            progress.totalSize = addSaturating(progress.totalSize, sums.size);
            progress.totalSizeOnDisk = addSaturating(progress.totalSizeOnDisk, sums.sizeOnDisk);
            progress.fileCount += folder.fileCount();
            progress.directoryCount += folder.subdirectoryCount();
        });
    });

    update([&] {
        progress.listingSeconds = stopwatch.elapsed() / 1000.0;
        progress.phase = 2;
    });
    stopwatch.restart();
    totalTree(root, cancelled);
    update([&] {
        progress.totallingSeconds = stopwatch.elapsed() / 1000.0;
        progress.phase = 3;
    });
    if (cancelFlag.load())
        return DirectoryNodePtr();
    return root;
}

} // namespace korvo
