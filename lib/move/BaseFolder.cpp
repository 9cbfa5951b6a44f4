#include "BaseFolder.h"
#include "PackageFiles.h"

#include "MoveTexts.h"

namespace korvo {

QList<NativePath> BaseFolder::levelsFor(const QString& orderName, const QString& label)
{
    QList<NativePath> levels{NativePath::fromText(QStringLiteral("korvo_pack")), NativePath::fromText(orderName)};
    if (!label.isEmpty())
        levels << NativePath::fromText(label);
    return levels;
}

bool BaseFolder::open(const NativePath& top, const QList<NativePath>& levels, bool create, QString* errorString)
{
    lock_.release();
    qint64 errorCode = 0;
    platform::FolderHandle folder;
    if (!platform::FolderHandle::open(top, &folder, &errorCode)) {
        *errorString = MoveTexts::failure("Open folder", top, errorCode) + QStringLiteral("\r\n");
        return false;
    }
    for (const NativePath& name : levels) {
        platform::FolderHandle next;
        const platform::FolderLevel found = folder.openLevel(name, create, &next, &errorCode);
        const QString refusal = MoveTexts::levelRefusal(found, folder.path().child(name), errorCode);
        if (!refusal.isEmpty()) {
            *errorString = refusal + QStringLiteral("\r\n");
            return false;
        }
        folder = std::move(next);
    }
    handle_ = std::move(folder);
    return true;
}

bool BaseFolder::lock(QString* errorString)
{
    qint64 errorCode = 0;
    const NativePath name = PackageFiles::lockName();
    switch (handle_.lock(name, LockWaitMilliseconds, &lock_, &errorCode)) {
    case platform::FolderHandle::LockResult::Taken:
        return true;
    case platform::FolderHandle::LockResult::Busy:
        *errorString = MoveTexts::folderBusy(path()) + QStringLiteral("\r\n");
        return false;
    case platform::FolderHandle::LockResult::Failed:
        break;
    }
    *errorString = MoveTexts::failure("Lock folder", path().child(name), errorCode) + QStringLiteral("\r\n");
    return false;
}

} // namespace korvo
