#include "FolderListing.h"

#include "FileNode.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace korvo {

namespace {

inline ushort foldAscii(ushort unit)
{
    return unit >= 'A' && unit <= 'Z' ? ushort(unit + ('a' - 'A')) : unit;
}

bool isAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

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

} // namespace

SortName SortName::of(const QString& name)
{
    SortName key;
    key.name = name;
    key.asciiOnly = isAscii(name);
    if (!key.asciiOnly)
        key.folded = name.toLower();
    return key;
}

bool nameLess(const SortName& a, const SortName& b)
{
    const QString& textA = a.asciiOnly ? a.name : a.folded;
    const QString& textB = b.asciiOnly ? b.name : b.folded;
    const ushort* unitsA = textA.utf16();
    const ushort* unitsB = textB.utf16();
    const int common = qMin(textA.size(), textB.size());
    for (int i = 0; i < common; ++i) {
        // An ASCII name in lower case is the name with A-Z lowered, whatever
        // the other name is.
        const ushort unitA = a.asciiOnly ? foldAscii(unitsA[i]) : unitsA[i];
        const ushort unitB = b.asciiOnly ? foldAscii(unitsB[i]) : unitsB[i];
        if (unitA != unitB)
            return unitA < unitB;
    }
    if (textA.size() != textB.size())
        return textA.size() < textB.size();
    return a.name < b.name;
}

QByteArray nativePathOf(const QString& path)
{
    return QFile::encodeName(path);
}

void listFolderWithQDir(const PendingFolder& folder, const DriveGeometry& geometry, QVector<PendingFolder>& pending,
                        FolderSums& sums)
{
    DirectoryNode& node = *folder.node;
    const QDir dir(node.absoluteFilePath());
    QFileInfoList entries = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System
                                                  | QDir::NoDotAndDotDot,
                                              QDir::Name | QDir::IgnoreCase);
    breakCaseTies(entries);

    // Every link, a link to a folder too, is a file and never entered.
    auto isFileEntry = [](const QFileInfo& entry) { return entry.isFile() || entry.isSymLink(); };
    const QString& folderPath = node.absoluteFilePath();
    FileNode::SharedPtr shared;
    {
        auto* files = new FileNode::Shared;
        files->absolutePath = folderPath;
        files->geometry = geometry;
        for (const QFileInfo& entry : qAsConst(entries)) {
            if (isFileEntry(entry))
                files->names += entry.fileName();
        }
        shared = FileNode::SharedPtr(files);
    }
    int offset = 0;
    for (const QFileInfo& entry : qAsConst(entries)) {
        if (isFileEntry(entry)) {
            const QString name = entry.fileName();
            const qint64 size = FileNode::sizeOf(entry);
            node.appendFile(FileNodePtr::create(shared, offset, name.size(), size, NodeTimes::fromFileInfo(entry)));
            offset += name.size();
            sums.size += size;
            sums.sizeOnDisk += geometry.roundToClusters(size);
        } else if (entry.isDir()) {
            const DirectoryNodePtr sub = DirectoryNodePtr::create(folder.node, entry);
            node.appendSubdirectory(sub);
            pending.append(PendingFolder{sub, QByteArray()});
        }
    }
}

} // namespace korvo
