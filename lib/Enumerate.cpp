#include "Enumerate.h"

#include "DriveGeometry.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>

namespace korvo {

namespace {

// Names in the order the folder view lists them: case-insensitively, and
// names that differ only in case by their exact text, so every run and every
// platform gives the same order.
QFileInfoList sortedEntries(const QString& path)
{
    QDir dir(path);
    QFileInfoList entries = dir.entryInfoList(
        QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    QVector<QPair<QString, int>> keys;
    keys.reserve(entries.size());
    for (int i = 0; i < entries.size(); ++i)
        keys.append(qMakePair(entries.at(i).fileName().toLower(), i));
    std::sort(keys.begin(), keys.end(), [&](const QPair<QString, int>& a, const QPair<QString, int>& b) {
        const int c = a.first.compare(b.first);
        if (c != 0)
            return c < 0;
        return entries.at(a.second).fileName() < entries.at(b.second).fileName();
    });
    QFileInfoList sorted;
    sorted.reserve(entries.size());
    for (const auto& key : keys)
        sorted.append(entries.at(key.second));
    return sorted;
}

} // namespace

DirectoryNodePtr enumerateTree(const QDir& directory, const std::atomic<bool>& cancelFlag,
                               EnumerateProgress& progress, QMutex* progressLock)
{
    auto update = [&](auto&& change) {
        if (progressLock) {
            QMutexLocker locker(progressLock);
            change();
        } else {
            change();
        }
    };
    update([&] { progress.phase = 1; });

    const QFileInfo rootInfo(directory.absolutePath());
    const DriveGeometry geometry(rootInfo);
    const DirectoryNodePtr root = DirectoryNodePtr::create(DirectoryNodePtr(), rootInfo);

    QVector<DirectoryNodePtr> pending{root};
    // Every folder in the order it was listed: a parent always before the
    // folders below it, so walking this backwards totals bottom-up.
    QVector<DirectoryNodePtr> listed;
    QElapsedTimer stopwatch;
    stopwatch.start();

    while (!pending.isEmpty() && !cancelFlag.load(std::memory_order_relaxed)) {
        DirectoryNodePtr folder = pending.takeLast();
        qint64 size = 0;
        qint64 sizeOnDisk = 0;
        for (const QFileInfo& entry : sortedEntries(folder->absoluteFilePath())) {
            if (entry.isFile() || entry.isSymLink()) {
                const FileNodePtr file = FileNodePtr::create(entry, geometry);
                size += file->size();
                sizeOnDisk += file->sizeOnDisk();
                folder->appendFile(file);
            } else if (entry.isDir()) {
                const DirectoryNodePtr sub = DirectoryNodePtr::create(folder, entry);
                folder->appendSubdirectory(sub);
                pending.append(sub);
            }
        }
        folder->setOwnSizes(size, sizeOnDisk);
        update([&] {
            progress.totalSize += size;
            progress.totalSizeOnDisk += sizeOnDisk;
            progress.fileCount += folder->fileCount();
            progress.directoryCount += folder->subdirectoryCount();
        });
        listed.append(folder);
    }

    update([&] {
        progress.listingSeconds = stopwatch.elapsed() / 1000.0;
        progress.phase = 2;
    });
    stopwatch.restart();

    // Each folder once, after every folder below it: the same totals as
    // walking up from every leaf, in time linear in the number of folders.
    for (int i = listed.size() - 1; i >= 0 && !cancelFlag.load(std::memory_order_relaxed); --i) {
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
    listed.clear();

    update([&] {
        progress.totallingSeconds = stopwatch.elapsed() / 1000.0;
        progress.phase = 3;
    });
    if (cancelFlag.load())
        return DirectoryNodePtr();
    return root;
}

} // namespace korvo
