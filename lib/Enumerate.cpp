#include "Enumerate.h"

#include "ChildIdentities.h"
#include "FolderListing.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>

namespace korvo {

DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock)
{
    return enumerateTree(directory, cancelFlag, progress, progressLock, EnumerateOptions());
}

DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock, const EnumerateOptions& options)
{
    auto update = [&](auto&& change) {
        if (progressLock) {
            QMutexLocker locker(progressLock);
            change();
        } else {
            change();
        }
    };
    auto cancelled = [&] { return cancelFlag.load(std::memory_order_relaxed); };
    update([&] { progress.phase = 1; });

    const QFileInfo rootInfo(directory.absolutePath());
    const DriveGeometry geometry = options.useGeometry ? options.geometry : DriveGeometry(rootInfo);
    const DirectoryNodePtr root = DirectoryNodePtr::create(DirectoryNodePtr(), rootInfo);
    const bool native = options.method == ListingMethod::Native;

    QVector<PendingFolder> pending{PendingFolder{root, native ? nativePathOf(root->absoluteFilePath()) : QByteArray()}};
    // Every folder in the order it was listed: a parent always comes before
    // the folders below it, so walking this backwards totals bottom-up.
    QVector<DirectoryNodePtr> listed;
    QElapsedTimer stopwatch;
    stopwatch.start();

    while (!pending.isEmpty() && !cancelled()) {
        const PendingFolder folder = pending.takeLast();
        FolderSums sums;
        if (!native || !listFolderNative(folder, geometry, pending, sums))
            listFolderWithQDir(folder, geometry, pending, sums);
        DirectoryNode& node = *folder.node;
        if (folder.node == root)
            recordChildIdentities(node);
        node.setOwnSizes(sums.size, sums.sizeOnDisk);
        update([&] {
            progress.totalSize += sums.size;
            progress.totalSizeOnDisk += sums.sizeOnDisk;
            progress.fileCount += node.fileCount();
            progress.directoryCount += node.subdirectoryCount();
        });
        listed.append(folder.node);
    }

    update([&] {
        progress.listingSeconds = stopwatch.elapsed() / 1000.0;
        progress.phase = 2;
    });
    stopwatch.restart();

    // Each folder once, after every folder below it: the same totals as
    // walking up from every leaf, in time linear in the number of folders.
    for (int i = listed.size() - 1; i >= 0 && !cancelled(); --i) {
        DirectoryNode& folder = *listed.at(i);
        qint64 totalSize = folder.size();
        qint64 totalSizeOnDisk = folder.sizeOnDisk();
        qint32 totalFiles = folder.fileCount();
        qint32 totalFolders = folder.subdirectoryCount();
        for (const DirectoryNodePtr& sub : folder.subdirectories()) {
            totalSize += sub->totalSize();
            totalSizeOnDisk += sub->totalSizeOnDisk();
            totalFiles += sub->totalFileCount();
            totalFolders += sub->totalSubdirectoryCount();
        }
        folder.setTotals(totalSize, totalSizeOnDisk, totalFiles, totalFolders);
    }

    update([&] {
        progress.totallingSeconds = stopwatch.elapsed() / 1000.0;
        progress.phase = 3;
    });
    if (cancelFlag.load())
        return DirectoryNodePtr();
    return root;
}

} // namespace korvo
