#include "PackageListing.h"

#include "MoveJournal.h"
#include "MoveTexts.h"
#include "Packager.h"
#include "Platform.h"
#include "SizeFormat.h"

#include <QDir>

namespace korvo::PackageListing {

// A file written under its temporary name goes to disk, then takes its real
// name, which must still be free: a killed process never leaves a partial
// file under the real name. The temporary file is removed on failure. The
// new name is made lasting by the sync of the base folder that ends the
// package (PackageMover::finishPackage), once for the listing and manifest.
bool putInPlace(const NativePath& temporary, const NativePath& path, QString* errorString)
{
    qint64 code = 0;
    const char* step = "Sync file";
    if (platform::syncWritten(temporary, &code)) {
        step = "Move file";
        if (platform::moveWithoutReplacing(temporary, path, &code))
            return true;
    }
    platform::removeFile(temporary);
    if (errorString)
        *errorString = MoveTexts::failure(step, path, code);
    return false;
}

bool writeListing(const PackageFolder& folder, const PackagePtr& package, const XmlExporterSettings& settings,
                  QString* errorString, const std::function<void(qreal)>& progress)
{
    const DirectoryNodePtr node = makePackageNode(folder.path, package);
    const NativePath temporary = MoveJournal::temporaryFor(folder.listing);
    QString reason;
    const ExporterPtr exporter = createXmlExporter(settings);
    if (progress)
        observeProgress(exporter, progress);
    const bool written = exporter->exportTo(temporary, TargetMode::CreateNew, node, &reason);
    if (!written) {
        if (reason.isEmpty())
            reason = QStringLiteral("the listing was not written");
        if (errorString)
            *errorString = reason;
        return false;
    }
    return putInPlace(temporary, folder.listing, errorString);
}

bool writeManifest(const PackageFolder& folder, const ChecksumManifest::Progress& progress, QString* errorString)
{
    const NativePath temporary = MoveJournal::temporaryFor(folder.manifest);
    return ChecksumManifest::write(folder.path, temporary, progress, errorString)
           && putInPlace(temporary, folder.manifest, errorString);
}

QString movingLine(const PackageFolder& folder)
{
    return QStringLiteral("パッケージ%1を%2へ移動中...").arg(QString::number(folder.number), folder.text);
}

QString movedLine(const PackageFolder& folder)
{
    return QStringLiteral("パッケージ%1を%2へ移動完了。").arg(QString::number(folder.number), folder.text);
}

QString failedLine(const QString& number, const QString& folderText, const QString& reason)
{
    return QStringLiteral("パッケージ%1を%2へ移動失敗。\r\n%3").arg(number, folderText, reason);
}

QString unfinishedLine(const PackageFolder& folder, const QString& reason)
{
    return QStringLiteral("パッケージ%1を%2へ移動しましたが、完了できませんでした。\r\n%3")
        .arg(QString::number(folder.number), folder.text, reason);
}

QString recoverAdvice(const QString& baseFolderText)
{
    // The base folder text doubles its separator where there is no label;
    // the path is shown clean.
    const QString base = QDir::toNativeSeparators(QDir::cleanPath(QDir::fromNativeSeparators(baseFolderText)));
    return QStringLiteral("Run 'korvo-cli recover \"%1\"' to undo it before moving again.").arg(base);
}

QString interruptedLines(const QString& baseFolderText, const QStringList& journalNames)
{
    const QString base = QDir::cleanPath(QDir::fromNativeSeparators(baseFolderText));
    QString lines;
    for (const QString& name : journalNames) {
        int number = 0;
        if (!MoveJournal::isJournalName(name, &number))
            MoveJournal::isUnfinishedJournalName(name, &number);
        lines += QStringLiteral("パッケージ%1の移動が中断されたままです: %2\r\n")
                     .arg(QString::number(number), QDir::toNativeSeparators(base + QLatin1Char('/') + name));
    }
    return journalNames.isEmpty() ? QString() : lines + recoverAdvice(baseFolderText) + QStringLiteral("\r\n");
}

QString refusedJournalLine(const NativePath& journal, const QString& rule)
{
    return QStringLiteral("Journal refused, nothing was changed. path:%1 reason:%2. A journal korvo writes is a "
                          "regular file of yours in folders only you may write to; move this one away once you "
                          "know where it came from.\r\n")
        .arg(MoveTexts::shown(journal), rule);
}

QString failureSummary(const QStringList& failedNumbers, const QStringList& unsavedNumbers,
                       const QStringList& imageFailedNumbers, const QString& recoverFolder)
{
    const QString separator = QStringLiteral("、");
    QStringList lines;
    if (!failedNumbers.isEmpty())
        lines << QStringLiteral("パッケージ%1の移動に失敗しました。").arg(failedNumbers.join(separator));
    if (!unsavedNumbers.isEmpty())
        lines << QStringLiteral("パッケージ%1の一覧またはチェックサムの保存に失敗しました。")
                     .arg(unsavedNumbers.join(separator));
    if (!imageFailedNumbers.isEmpty())
        lines << QStringLiteral("パッケージ%1のイメージの作成に失敗しました。").arg(imageFailedNumbers.join(separator));
    if (lines.isEmpty())
        lines << QStringLiteral("パッケージの移動に失敗しました。");
    if (!recoverFolder.isEmpty())
        lines << recoverAdvice(recoverFolder);
    return lines.join(QStringLiteral("\r\n"));
}

QString imageTooLargeNote(qint64 imageSize, qint64 orderSize)
{
    return QStringLiteral("イメージ（%1）はパッケージのサイズ（%2）を超えています。メディアに収まらないかもしれません。")
        .arg(formatSize(imageSize), formatSize(orderSize));
}

QString savedWord(bool written)
{
    return written ? QStringLiteral("成功しました。") : QStringLiteral("失敗しました。");
}

QString savedReport(const QString& path, bool written, const QString& reason)
{
    return QStringLiteral("\r\n%1\r\n保存に%2\r\n%3").arg(path, savedWord(written), reason);
}

} // namespace korvo::PackageListing
