#include "QtFolderWalk.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "Platform.h"
#include "SaturatingSum.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

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

// Records the identity of each of the root's own files and subfolders as
// the listing finds them: QFileInfo reads none, so each entry is asked once,
// right after its node is made. An entry that cannot be read gets none (and
// is then moved unchecked).
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

} // namespace

QtFolderWalk::QtFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry)
    : root_(DirectoryNodePtr::create(DirectoryNodePtr(), QFileInfo(rootPath.toText()))), geometry_(geometry)
{
}

void QtFolderWalk::run(const std::atomic<bool>& cancel, const Listed& listed)
{
    pending_ = {root_};
    while (!pending_.isEmpty() && !cancel.load(std::memory_order_relaxed)) {
        const DirectoryNodePtr folder = pending_.takeLast();
        listed(*folder, list(folder));
    }
    pending_.clear();
}

FolderSums QtFolderWalk::list(const DirectoryNodePtr& folder)
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
            pending_.append(sub);
        }
    }
    if (node.depth() == 0)
        recordChildIdentities(node);
    return sums;
}

} // namespace korvo
