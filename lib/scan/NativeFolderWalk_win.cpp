#include "NativeFolderWalk.h"

#include "FileNode.h"
#include "Platform.h"
#include "QtFolderWalk.h"
#include "SaturatingSum.h"
#include "WinEntries_win.h"
#include "WinPath_win.h"

#include <algorithm>
#include <vector>

#include <windows.h>

namespace korvo {

namespace {

// A FILETIME as milliseconds since the epoch (UTC); none when it is 0.
qint64 msecsOf(const FILETIME& time)
{
    const quint64 ticks = (quint64(time.dwHighDateTime) << 32) | quint64(time.dwLowDateTime);
    if (ticks == 0)
        return NodeTimes::Invalid;
    // 100 ns ticks since 1601-01-01.
    return qint64(ticks / 10000) - Q_INT64_C(11644473600000);
}

NodeTimes timesOf(const WIN32_FIND_DATAW& data)
{
    NodeTimes times;
    times.lastModified = msecsOf(data.ftLastWriteTime);
    times.lastRead = msecsOf(data.ftLastAccessTime);
    times.created = NodeTimes::createdFrom(msecsOf(data.ftCreationTime), NodeTimes::Invalid, times.lastModified);
    return times;
}

struct Found
{
    QString name;
    QString lowered; // the sort key, as QDir's case-blind name order
    bool isFolder = false;
    bool isLink = false;
    qint64 size = 0;
    NodeTimes times;
};

// Lists one folder with FindFirstFileExW on its extended-length path: every
// name as it is on disk (a device name, a trailing dot, a path past 260
// characters). Links (symbolic links, junctions) are files; devices are
// left out. False with the system's error code when it cannot be listed.
bool findEntries(const NativePath& folder, std::vector<Found>& entries, DWORD* error)
{
    const QString pattern = platform::WinPath(folder).text() + QStringLiteral("\\*");
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileExW(reinterpret_cast<const wchar_t*>(pattern.utf16()), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return *error == ERROR_FILE_NOT_FOUND; // no entries at all
    }
    do {
        Found entry;
        entry.name = QString::fromWCharArray(data.cFileName);
        if (entry.name == QLatin1String(".") || entry.name == QLatin1String("..")
            || (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE))
            continue;
        entry.lowered = entry.name.toLower();
        entry.isLink = platform::isLinkTag(data.dwFileAttributes, data.dwReserved0);
        entry.isFolder = !entry.isLink && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        entry.size = (qint64(data.nFileSizeHigh) << 32) | qint64(data.nFileSizeLow);
        entry.times = timesOf(data);
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search, &data));
    *error = GetLastError();
    FindClose(search);
    return *error == ERROR_NO_MORE_FILES;
}

// The walk through the system's own listing; the order of the walk, its
// threads and the root's identities are those of the QDir walk.
class WindowsFolderWalk : public QtFolderWalk
{
public:
    using QtFolderWalk::QtFolderWalk;

protected:
    FolderSums list(const DirectoryNodePtr& folder, QVector<DirectoryNodePtr>& found) override;
};

FolderSums WindowsFolderWalk::list(const DirectoryNodePtr& folder, QVector<DirectoryNodePtr>& found)
{
    DirectoryNode& node = *folder;
    FolderSums sums;
    std::vector<Found> entries;
    DWORD error = 0;
    if (!findEntries(node.nativeFilePath(), entries, &error)) {
        // Counted as empty, and said.
        sums.error = int(error);
        return sums;
    }
    std::sort(entries.begin(), entries.end(), [](const Found& a, const Found& b) {
        return a.lowered != b.lowered ? a.lowered < b.lowered : a.name < b.name;
    });

    auto* files = new FileNode::Shared;
    files->folder = node.path();
    files->geometry = geometry();
    for (const Found& entry : entries) {
        if (!entry.isFolder)
            files->names += entry.name;
    }
    const FileNode::SharedPtr shared(files);
    int offset = 0;
    for (const Found& entry : entries) {
        if (entry.isFolder) {
            const DirectoryNodePtr sub = DirectoryNodePtr::create(folder, node.path().child(entry.name), entry.times);
            node.appendSubdirectory(sub);
            found.append(sub);
            continue;
        }
        // A link's size is that of what it reaches, as for the QDir walk.
        const qint64 size =
            entry.isLink ? platform::linkTargetSize(node.nativeFilePath().child(entry.name)) : entry.size;
        node.appendFile(FileNodePtr::create(shared, offset, entry.name.size(), size, entry.times));
        offset += entry.name.size();
        sums.size = addSaturating(sums.size, size);
        sums.sizeOnDisk = addSaturating(sums.sizeOnDisk, geometry().roundToClusters(size));
    }
    if (node.depth() == 0)
        recordChildIdentities(node);
    return sums;
}

} // namespace

std::unique_ptr<FolderWalk> createNativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry,
                                                   int threads, const FileSystemProbe& probe)
{
    return std::make_unique<WindowsFolderWalk>(rootPath, geometry, threads, probe);
}

} // namespace korvo
