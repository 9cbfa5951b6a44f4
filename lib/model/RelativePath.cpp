#include "RelativePath.h"

#include "DirectoryNode.h"
#include "FileNode.h"

#include <algorithm>

namespace korvo::RelativePath {

FolderPath holderOf(const iPackagable& item)
{
    if (const auto* file = dynamic_cast<const FileNode*>(&item))
        return file->folder();
    if (const auto* folder = dynamic_cast<const DirectoryNode*>(&item))
        return folder->path().parent();
    return FolderPath();
}

namespace {

// The folder levels from below `top` down to `holder`; false when `holder`
// does not lie below (or at) `top`.
bool foldersBetween(const FolderPath& top, FolderPath holder, QList<FolderPath>* levels)
{
    while (!holder.isNull() && !holder.isSameLevel(top)) {
        levels->append(holder);
        holder = holder.parent();
    }
    std::reverse(levels->begin(), levels->end());
    return !holder.isNull();
}

} // namespace

QList<NativePath> levelsOf(const FolderPath& top, const iPackagable& item)
{
    QList<FolderPath> folders;
    QList<NativePath> levels;
    if (!top.isNull() && foldersBetween(top, holderOf(item), &folders)) {
        for (const FolderPath& folder : qAsConst(folders))
            levels << folder.nativeName();
    }
    levels << item.nativeFileName();
    return levels;
}

QString textOf(const FolderPath& top, const iPackagable& item)
{
    QList<FolderPath> folders;
    QString text;
    if (!top.isNull() && foldersBetween(top, holderOf(item), &folders)) {
        for (const FolderPath& folder : qAsConst(folders))
            text += folder.name() + QLatin1Char('/');
    }
    return text + item.fileName();
}

QByteArray stored(const QList<NativePath>& levels)
{
    QByteArray bytes;
    for (const NativePath& level : levels) {
        if (!bytes.isEmpty())
            bytes += '/';
        bytes += level.storedBytes();
    }
    return bytes;
}

bool fromStored(const QByteArray& bytes, QList<NativePath>* levels)
{
    levels->clear();
    for (const QByteArray& name : bytes.split('/')) {
        if (name.isEmpty() || name == "." || name == ".." || name.contains('\0'))
            return false;
#ifdef _WIN32
        if (name.contains('\\') || name.contains(':'))
            return false;
#endif
        levels->append(NativePath::fromStoredBytes(name));
    }
    return true;
}

NativePath below(const NativePath& folder, const QList<NativePath>& levels)
{
    NativePath path = folder;
    for (const NativePath& level : levels)
        path = path.child(level);
    return path;
}

} // namespace korvo::RelativePath
