#include "QtFolderWalk.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "Platform.h"
#include "SaturatingSum.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace korvo {

namespace {

// QDir sorts names case-insensitively and leaves names that differ only in
// case in any order; put each such run in the order of the exact names.
void breakCaseTies(QFileInfoList& entries)
{
    int begin = 0;
    while (begin < entries.size()) {
        const QString folded = entries.at(begin).fileName().toLower();
        int end = begin + 1;
        while (end < entries.size() && entries.at(end).fileName().toLower() == folded)
            ++end;
        if (end - begin > 1) {
            std::sort(entries.begin() + begin, entries.begin() + end,
                      [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
        }
        begin = end;
    }
}

// Every link, a link to a folder too, is a file and never entered.
bool isFileEntry(const QFileInfo& entry)
{
    return entry.isFile() || entry.isSymLink();
}

} // namespace

void recordChildIdentities(DirectoryNode& folder)
{
    std::vector<std::pair<const iPackagable*, FileIdentity>> identities;
    identities.reserve(size_t(folder.fileCount()) + size_t(folder.subdirectoryCount()));
    auto record = [&identities](const iPackagable& entry) {
        FileIdentity identity;
        if (platform::identityOf(entry.nativeFilePath(), &identity, nullptr, nullptr, nullptr))
            identities.emplace_back(&entry, identity);
    };
    for (const FileNodePtr& file : folder.files())
        record(*file);
    for (const DirectoryNodePtr& subfolder : folder.subdirectories())
        record(*subfolder);
    folder.setChildIdentities(std::make_unique<const ChildIdentities>(std::move(identities)));
}

QtFolderWalk::QtFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry, int threads,
                           const FileSystemProbe& probe)
    : rootPath_(rootPath), root_(DirectoryNodePtr::create(DirectoryNodePtr(), QFileInfo(rootPath.toText()))),
      geometry_(geometry), threads_(threads), probe_(probe ? probe : systemFileSystemProbe())
{
}

void QtFolderWalk::run(const std::atomic<bool>& cancel, const Listed& listed)
{
    pending_ = {root_};
    const WalkConcurrency concurrency = walkConcurrency(probe_(rootPath_, -1), threads_);
    if (concurrency.shareStats && concurrency.walkers > 1) {
        runShared(concurrency.walkers, cancel, listed);
    } else {
        while (!pending_.isEmpty() && !cancel.load(std::memory_order_relaxed)) {
            const DirectoryNodePtr folder = pending_.takeLast();
            listed(*folder, list(folder, pending_));
        }
    }
    pending_.clear();
}

// Each thread takes the next pending folder, lists it, and puts its
// subfolders back; the walk is over when nothing is pending and no thread
// is listing.
void QtFolderWalk::runShared(int walkers, const std::atomic<bool>& cancel, const Listed& listed)
{
    std::mutex mutex;
    std::condition_variable ready;
    int busy = 0;
    auto work = [&] {
        QVector<DirectoryNodePtr> found;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            // A cancel sets only a flag: look at it now and then.
            while (pending_.isEmpty() && busy > 0 && !cancel.load(std::memory_order_relaxed))
                ready.wait_for(lock, std::chrono::milliseconds(20));
            if (pending_.isEmpty() || cancel.load(std::memory_order_relaxed)) {
                ready.notify_all();
                return;
            }
            const DirectoryNodePtr folder = pending_.takeLast();
            ++busy;
            lock.unlock();
            found.clear();
            listed(*folder, list(folder, found));
            lock.lock();
            --busy;
            pending_ += found;
            ready.notify_all();
        }
    };
    std::vector<std::thread> others;
    for (int i = 1; i < walkers; ++i)
        others.emplace_back(work);
    work();
    for (std::thread& other : others)
        other.join();
}

FolderSums QtFolderWalk::list(const DirectoryNodePtr& folder, QVector<DirectoryNodePtr>& found)
{
    DirectoryNode& node = *folder;
    const QDir dir(node.absoluteFilePath());
    QFileInfoList entries = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System
                                                  | QDir::NoDotAndDotDot,
                                              QDir::Name | QDir::IgnoreCase);
    breakCaseTies(entries);

    auto* files = new FileNode::Shared;
    files->folder = node.path();
    files->geometry = geometry_;
    for (const QFileInfo& entry : qAsConst(entries)) {
        if (isFileEntry(entry))
            files->names += entry.fileName();
    }
    const FileNode::SharedPtr shared(files);

    FolderSums sums;
    int offset = 0;
    for (const QFileInfo& entry : qAsConst(entries)) {
        if (isFileEntry(entry)) {
            const QString name = entry.fileName();
            const qint64 size = FileNode::sizeOf(entry);
            node.appendFile(FileNodePtr::create(shared, offset, name.size(), size, NodeTimes::fromFileInfo(entry)));
            offset += name.size();
            sums.size = addSaturating(sums.size, size);
            sums.sizeOnDisk = addSaturating(sums.sizeOnDisk, geometry_.roundToClusters(size));
        } else if (entry.isDir()) {
            const DirectoryNodePtr sub = DirectoryNodePtr::create(folder, node.path().child(entry.fileName()),
                                                                  NodeTimes::fromFileInfo(entry));
            node.appendSubdirectory(sub);
            found.append(sub);
        }
    }
    if (node.depth() == 0)
        recordChildIdentities(node);
    return sums;
}

} // namespace korvo
