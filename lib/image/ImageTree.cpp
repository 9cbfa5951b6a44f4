#include "ImageTree.h"

#include "Platform.h"

#include <algorithm>

namespace korvo {

namespace {

// The entries of one folder; false with the reason.
bool listLevel(const NativePath& path, QVector<platform::FolderEntry>& entries, QString* errorString)
{
    qint64 code = 0;
    if (platform::listFolder(path, entries, &code))
        return true;
    *errorString = QStringLiteral("cannot list %1: %2").arg(path.toText(), platform::errorText(code));
    return false;
}

// Sorted walk order: name by name, so that a folder comes right before
// what it holds ("a/b" before "a b").
bool walkOrder(const ImageTreeEntry& a, const ImageTreeEntry& b)
{
    const QByteArray& x = a.relativePath;
    const QByteArray& y = b.relativePath;
    const int length = qMin(x.size(), y.size());
    for (int i = 0; i < length; ++i) {
        if (x.at(i) == y.at(i))
            continue;
        if (x.at(i) == '/' || y.at(i) == '/')
            return x.at(i) == '/';
        return uchar(x.at(i)) < uchar(y.at(i));
    }
    return x.size() < y.size();
}

} // namespace

bool listImageTree(const NativePath& folder, QVector<ImageTreeEntry>& entries, QString* errorString)
{
    entries.clear();
    QVector<QByteArray> pending{QByteArray()};
    while (!pending.isEmpty()) {
        const QByteArray level = pending.takeLast();
        const NativePath path = level.isEmpty() ? folder : folder.child(NativePath::fromStoredBytes(level));
        QVector<platform::FolderEntry> listed;
        if (!listLevel(path, listed, errorString))
            return false;
        for (const platform::FolderEntry& entry : qAsConst(listed)) {
            const QByteArray name = entry.name.storedBytes();
            const QByteArray relative = level.isEmpty() ? name : level + '/' + name;
            if (entry.kind == platform::FolderEntry::Other) {
                *errorString = QStringLiteral("%1 is a link or a special file, which an image does not keep")
                                   .arg(path.child(entry.name).toText());
                return false;
            }
            const bool isFolder = entry.kind == platform::FolderEntry::Folder;
            entries.append(ImageTreeEntry{relative, isFolder, isFolder ? 0 : entry.size});
            if (isFolder)
                pending.append(relative);
        }
    }
    std::sort(entries.begin(), entries.end(), walkOrder);
    return true;
}

} // namespace korvo
