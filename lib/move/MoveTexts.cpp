#include "MoveTexts.h"

#include "PackageFiles.h"
#include "RelativePath.h"
#include "SizeFormat.h"

#include <QDir>

namespace korvo::MoveTexts {

QString shown(const NativePath& path)
{
    return QDir::toNativeSeparators(path.toText());
}

QString shownBase(const QString& baseFolderText)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::fromNativeSeparators(baseFolderText)));
}

QString packageName(int folderNumber, int index)
{
    return folderNumber > 0 ? QString::number(folderNumber) : QStringLiteral("#%1").arg(index + 1);
}

QString failure(const char* step, const NativePath& path, qint64 errorCode)
{
    return QStringLiteral("%1 failed. path:%2 winError:%3 (%4).")
        .arg(QLatin1String(step), shown(path), QString::number(errorCode), platform::errorText(errorCode));
}

QString moveFailed(const QString& oldPath, const QString& newPath, qint64 errorCode)
{
    return QStringLiteral("Move failed. old:%1 new:%2 winError:%3.").arg(oldPath, newPath, QString::number(errorCode));
}

QString moveBackFailed(const QString& oldPath, const QString& newPath, qint64 errorCode)
{
    return QStringLiteral("Move back failed. old:%1 new:%2 winError:%3.")
        .arg(oldPath, newPath, QString::number(errorCode));
}

QString itemReplaced(const QString& path)
{
    return QStringLiteral("Item replaced since the scan. path:%1.").arg(path);
}

QString caseTwins(const QString& firstPath, const QString& secondPath)
{
    return QStringLiteral("Move refused: the names differ only in case, and the package folder takes them for one; "
                          "no item moved. path:%1 path:%2.")
        .arg(firstPath, secondPath);
}

QString itemSizeChanged(const QString& path, qint64 scanned, qint64 now)
{
    return QStringLiteral("Item size changed since the scan. path:%1 scanned:%2 now:%3.")
        .arg(path, QString::number(scanned), QString::number(now));
}

QString levelRefusal(platform::FolderLevel level, const NativePath& path, qint64 errorCode)
{
    // A level that leads elsewhere, or that another user may fill or swap,
    // could steer what korvo writes or acts on into their hands.
    switch (level) {
    case platform::FolderLevel::Folder:
        return QString();
    case platform::FolderLevel::Link:
        return QStringLiteral("The base folder level is a link; it is never followed. path:%1.").arg(shown(path));
    case platform::FolderLevel::OtherOwner:
        return QStringLiteral("The base folder level belongs to another user. path:%1.").arg(shown(path));
    case platform::FolderLevel::Shared:
        return QStringLiteral("The base folder level may be written by other users; korvo acts only in folders "
                              "that are yours alone. path:%1.")
            .arg(shown(path));
    case platform::FolderLevel::NotAFolder:
        return QStringLiteral("The base folder level is not a folder. path:%1.").arg(shown(path));
    case platform::FolderLevel::Missing:
        return failure("Open folder", path, errorCode);
    case platform::FolderLevel::Failed:
        break;
    }
    return failure("Create folder", path, errorCode);
}

QString folderBusy(const NativePath& baseFolder)
{
    return QStringLiteral("%1 は別の korvo が使用中です（パッケージの移動、元に戻す処理、またはイメージの作成）。"
                          "終わってからもう一度実行してください。")
        .arg(shown(baseFolder));
}

QString movingLine(int number, const QString& folderText)
{
    return QStringLiteral("パッケージ%1を%2へ移動中...").arg(QString::number(number), folderText);
}

QString movedLine(int number, const QString& folderText)
{
    return QStringLiteral("パッケージ%1を%2へ移動完了。").arg(QString::number(number), folderText);
}

QString failedLine(const QString& name, const QString& folderText, const QString& reason)
{
    return QStringLiteral("パッケージ%1を%2へ移動失敗。\r\n%3").arg(name, folderText, reason);
}

QString unfinishedLine(int number, const QString& folderText, const QString& reason)
{
    return QStringLiteral("パッケージ%1を%2へ移動しましたが、完了できませんでした。\r\n%3")
        .arg(QString::number(number), folderText, reason);
}

QString imageStartedLine(const QString& imageText)
{
    return QStringLiteral("%1 を作成中...").arg(imageText);
}

QString savedWord(bool written)
{
    return written ? QStringLiteral("成功しました。") : QStringLiteral("失敗しました。");
}

QString savedReport(const QString& path, bool written, const QString& reason)
{
    return QStringLiteral("\r\n%1\r\n保存に%2\r\n%3").arg(path, savedWord(written), reason);
}

QString savedLine(const QString& path, bool written)
{
    return QStringLiteral("%1 保存に%2").arg(path, savedWord(written));
}

QString imageTooLargeNote(qint64 imageSize, qint64 orderSize)
{
    return QStringLiteral("イメージ（%1）はパッケージのサイズ（%2）を超えています。メディアに収まらないかもしれません。")
        .arg(formatSize(imageSize), formatSize(orderSize));
}

QString summary(const Summary& summary)
{
    const QString separator = QStringLiteral("、");
    QStringList lines;
    if (!summary.failed.isEmpty())
        lines << QStringLiteral("パッケージ%1の移動に失敗しました。").arg(summary.failed.join(separator));
    if (summary.leftItemsBehind)
        lines << QStringLiteral("元の場所へ戻せなかった項目がパッケージフォルダに残っています。"
                                "項目名は「Move back failed」の行にあります。");
    if (!summary.unsaved.isEmpty())
        lines << QStringLiteral("パッケージ%1の一覧またはチェックサムの保存に失敗しました。")
                     .arg(summary.unsaved.join(separator));
    if (!summary.imageFailed.isEmpty())
        lines << QStringLiteral("パッケージ%1のイメージの作成に失敗しました。").arg(summary.imageFailed.join(separator));
    if (summary.failed.isEmpty() && summary.unsaved.isEmpty() && summary.imageFailed.isEmpty())
        lines.prepend(QStringLiteral("パッケージの移動に失敗しました。"));
    if (!summary.recoverFolder.isEmpty())
        lines << recoverAdvice(summary.recoverFolder);
    return lines.join(QStringLiteral("\r\n"));
}

QString allDone()
{
    return QStringLiteral("全て完了しました。");
}

QString leftOutLine(int count)
{
    if (count <= 0)
        return QString();
    return QStringLiteral("上限を超えるため、パッケージに入らない項目が%1個あります。").arg(count);
}

QString leftOutItem(const QString& name, qint64 size)
{
    return QStringLiteral("%1　%2").arg(name, formatSize(size));
}

QStringList leftOutLines(const QList<PackagablePtr>& items, const FolderPath& top, int shown)
{
    QStringList lines;
    for (int i = 0; i < items.size() && i < shown; ++i)
        lines << leftOutItem(RelativePath::textOf(top, *items.at(i)), items.at(i)->totalSizeOnDisk());
    if (items.size() > shown)
        lines << QStringLiteral("ほか%1個").arg(items.size() - shown);
    return lines;
}

QString stoppedLine(int left)
{
    return QStringLiteral("移動を中止しました。残りの%1個のパッケージは移動していません。").arg(left);
}

QString recoverAdvice(const QString& baseFolderText)
{
    return QStringLiteral("Run 'korvo-cli recover \"%1\"' to undo it before moving again.").arg(shownBase(baseFolderText));
}

QString interruptedLines(const QString& baseFolderText, const QStringList& journalNames)
{
    const QString base = shownBase(baseFolderText);
    QString lines;
    for (const QString& name : journalNames) {
        int number = 0;
        if (!PackageFiles::isJournalName(name, &number))
            PackageFiles::isUnfinishedJournalName(name, &number);
        lines += QStringLiteral("パッケージ%1の移動が中断されたままです: %2\r\n")
                     .arg(QString::number(number), base + QDir::separator() + name);
    }
    return journalNames.isEmpty() ? QString() : lines + recoverAdvice(baseFolderText) + QStringLiteral("\r\n");
}

QString refusedJournalLine(const NativePath& journal, const QString& rule)
{
    return QStringLiteral("Journal refused, nothing was changed. path:%1 reason:%2. A journal korvo writes is a "
                          "regular file of yours in folders only you may write to; move this one away once you "
                          "know where it came from.")
        .arg(shown(journal), rule);
}

QString itemLost(const QString& oldPath, const QString& newPath)
{
    return QStringLiteral("Item neither in its old place nor in the package folder. old:%1 new:%2.")
        .arg(oldPath, newPath);
}

QString itemOldNameTaken(const QString& oldPath, const QString& newPath)
{
    return QStringLiteral("Item left in the package folder: its old name is taken again. old:%1 new:%2.")
        .arg(oldPath, newPath);
}

QString notKorvosFile(const NativePath& path)
{
    return QStringLiteral("Not a file korvo wrote; left alone. path:%1.").arg(shown(path));
}

QString keptBeside(const QStringList& names)
{
    return QStringLiteral("Kept beside the package while not every item is back: %1.")
        .arg(names.join(QStringLiteral(", ")));
}

QString packageFolderGone(const QString& folderText)
{
    return QStringLiteral("The package folder is gone. path:%1.").arg(folderText);
}

QString levelIsLink(const NativePath& path)
{
    return QStringLiteral("A level of the package folders is a link; it is never followed. path:%1.").arg(shown(path));
}

QString recoveryHead(int number, const QString& folderText, int returned, bool undone)
{
    return (undone ? QStringLiteral("パッケージ%1を%2から元に戻しました（%3個の項目を戻しました）。")
                   : QStringLiteral("パッケージ%1を%2から元に戻せませんでした（%3個の項目を戻しました）。"))
        .arg(QString::number(number), folderText, QString::number(returned));
}

QString imageRecoveryHead(int number, bool undone)
{
    return (undone ? QStringLiteral("パッケージ%1の書きかけのイメージを削除しました。")
                   : QStringLiteral("パッケージ%1の書きかけのイメージを削除できませんでした。"))
        .arg(number);
}

QString unfinishedJournalHead(int number)
{
    return QStringLiteral("パッケージ%1の移動は始まる前に中断されていました。書きかけの記録を削除しました。").arg(number);
}

} // namespace korvo::MoveTexts
