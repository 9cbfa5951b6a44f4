#include "BaseFolder.h"

#include "MoveTexts.h"

namespace korvo {

namespace {

const char* const LockName = ".korvo-lock";

} // namespace

QList<NativePath> BaseFolder::levelsFor(const QString& orderName, const QString& label)
{
    QList<NativePath> levels{NativePath::fromText(QStringLiteral("korvo_pack")), NativePath::fromText(orderName)};
    if (!label.isEmpty())
        levels << NativePath::fromText(label);
    return levels;
}

QString BaseFolder::levelRefusal(platform::FolderLevel level, const NativePath& path, qint64 errorCode)
{
    // A level that leads elsewhere, or that another user may fill or swap,
    // could steer what korvo writes or acts on into their hands.
    const QString shown = MoveTexts::shown(path);
    switch (level) {
    case platform::FolderLevel::Folder:
        return QString();
    case platform::FolderLevel::Link:
        return QStringLiteral("The base folder level is a link; it is never followed. path:%1.\r\n").arg(shown);
    case platform::FolderLevel::OtherOwner:
        return QStringLiteral("The base folder level belongs to another user. path:%1.\r\n").arg(shown);
    case platform::FolderLevel::Shared:
        return QStringLiteral("The base folder level may be written by other users; korvo acts only in folders "
                              "that are yours alone. path:%1.\r\n")
            .arg(shown);
    case platform::FolderLevel::NotAFolder:
        return QStringLiteral("The base folder level is not a folder. path:%1.\r\n").arg(shown);
    case platform::FolderLevel::Missing:
    case platform::FolderLevel::Failed:
        break;
    }
    return MoveTexts::failure(level == platform::FolderLevel::Missing ? "Open folder" : "Create folder", path,
                                 errorCode)
           + QStringLiteral("\r\n");
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
        const QString refusal = levelRefusal(found, folder.path().child(name), errorCode);
        if (!refusal.isEmpty()) {
            *errorString = refusal;
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
    const NativePath name = NativePath::fromText(QLatin1String(LockName));
    switch (handle_.lock(name, LockWaitMilliseconds, &lock_, &errorCode)) {
    case platform::FolderHandle::LockResult::Taken:
        return true;
    case platform::FolderHandle::LockResult::Busy:
        *errorString = QStringLiteral("%1 は別の korvo が使用中です（パッケージの移動、元に戻す処理、またはイメージの作成）。"
                                      "終わってからもう一度実行してください。\r\n")
                           .arg(MoveTexts::shown(path()));
        return false;
    case platform::FolderHandle::LockResult::Failed:
        break;
    }
    *errorString = MoveTexts::failure("Lock folder", path().child(name), errorCode) + QStringLiteral("\r\n");
    return false;
}

} // namespace korvo
