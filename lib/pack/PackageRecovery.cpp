#include "PackageRecovery.h"

#include "Platform.h"

#include <QDir>
#include <QSet>

namespace korvo::PackageRecovery {

namespace {

QString shown(const NativePath& path)
{
    return QDir::toNativeSeparators(path.toText());
}

QString failure(const char* step, const NativePath& path, qint64 code)
{
    return QStringLiteral("%1 failed. path:%2 winError:%3 (%4).")
        .arg(QLatin1String(step), shown(path), QString::number(code), platform::errorText(code));
}

bool hasIdentity(const NativePath& path, const FileIdentity& recorded, bool* exists)
{
    FileIdentity identity;
    *exists = platform::identityOf(path, &identity, nullptr, nullptr, nullptr);
    return *exists && identity == recorded;
}

// Puts one item back; false with a line when it stays where it is.
bool putBack(const MoveJournal::Item& item, bool* returned, QString* line)
{
    *returned = false;
    bool destinationExists = false;
    bool sourceExists = false;
    if (!hasIdentity(item.destination, item.identity, &destinationExists)) {
        if (hasIdentity(item.source, item.identity, &sourceExists))
            return true; // it never moved
        *line = QStringLiteral("Item neither in its old place nor in the package folder. old:%1 new:%2.")
                    .arg(shown(item.source), shown(item.destination));
        return false;
    }
    hasIdentity(item.source, item.identity, &sourceExists);
    if (sourceExists) {
        *line = QStringLiteral("Item left in the package folder: its old name is taken again. old:%1 new:%2.")
                    .arg(shown(item.source), shown(item.destination));
        return false;
    }
    qint64 code = 0;
    if (!platform::moveWithoutReplacing(item.destination, item.source, &code)) {
        *line = QStringLiteral("Move back failed. old:%1 new:%2 winError:%3 (%4).")
                    .arg(shown(item.source), shown(item.destination), QString::number(code),
                         platform::errorText(code));
        return false;
    }
    *returned = true;
    return true;
}

// Syncs the folders the undo changed, so that the journal goes only once
// the items are back for good.
void syncFolders(const MoveJournal& journal, Report& report)
{
    QSet<QByteArray> seen;
    QList<NativePath> folders{journal.baseFolder};
    for (const MoveJournal::Item& item : journal.items) {
        const NativePath parent = item.source.parent();
        if (!seen.contains(parent.storedBytes())) {
            seen.insert(parent.storedBytes());
            folders << parent;
        }
    }
    for (const NativePath& folder : qAsConst(folders)) {
        qint64 code = 0;
        if (!platform::syncFolder(folder, &code) && !platform::isNotFound(code))
            report.leftLines << failure("Sync folder", folder, code);
    }
}

void removeOutputs(const MoveJournal& journal, Report& report)
{
    for (const NativePath& output : journal.outputs) {
        qint64 code = 0;
        if (!platform::identityOf(output, nullptr, nullptr, nullptr, &code)) {
            if (!platform::isNotFound(code))
                report.leftLines << failure("Look up", output, code);
            continue;
        }
        if (!platform::removeFile(output))
            report.leftLines << QStringLiteral("Remove file failed. path:%1.").arg(shown(output));
    }
}

void removeFolder(const MoveJournal& journal, Report& report)
{
    if (journal.folder.isEmpty())
        return; // an image's journal: the package stays as it is
    qint64 code = 0;
    if (platform::removeEmptyFolder(journal.folder, &code) || platform::isNotFound(code))
        return;
    report.leftLines << failure("Remove folder", journal.folder, code);
}

} // namespace

NativePath packFolderFor(const NativePath& folder)
{
    const NativePath cleaned = folder.cleaned();
    for (NativePath level = cleaned; !level.isEmpty(); level = level.parent()) {
        if (level.fileName().toText() == QStringLiteral("korvo_pack"))
            return level;
        if (level.parent() == level)
            break;
    }
    return cleaned.child(QStringLiteral("korvo_pack"));
}

bool findJournals(const NativePath& packFolder, QList<NativePath>* journals, QString* errorString)
{
    journals->clear();
    QList<NativePath> bases;
    QList<NativePath> levels{packFolder};
    // korvo_pack / order / label: journals sit one or two levels below.
    for (int depth = 0; depth < 3 && !levels.isEmpty(); ++depth) {
        QList<NativePath> next;
        for (const NativePath& level : qAsConst(levels)) {
            qint64 code = 0;
            const platform::FolderLevel kind = platform::checkFolderLevel(level, &code);
            if (kind == platform::FolderLevel::Missing && depth == 0)
                return true;
            if (kind == platform::FolderLevel::Link) {
                *errorString = QStringLiteral("A level of the package folders is a link; it is never followed. "
                                              "path:%1.").arg(shown(level));
                return false;
            }
            if (kind != platform::FolderLevel::Folder && kind != platform::FolderLevel::OtherOwner)
                continue;
            QVector<platform::FolderEntry> entries;
            if (!platform::listFolder(level, entries, &code)) {
                *errorString = failure("List folder", level, code);
                return false;
            }
            for (const platform::FolderEntry& entry : qAsConst(entries)) {
                const NativePath path = level.child(entry.name);
                if (depth > 0 && entry.kind == platform::FolderEntry::File
                    && MoveJournal::isJournalName(entry.name.toText(), nullptr))
                    *journals << path;
                else if (entry.kind == platform::FolderEntry::Folder && depth < 2)
                    next << path;
            }
        }
        levels = next;
    }
    std::sort(journals->begin(), journals->end());
    return true;
}

Report undo(const NativePath& journalPath)
{
    Report report;
    report.journal = journalPath;
    MoveJournal journal;
    QString reason;
    if (!MoveJournal::read(journalPath, &journal, &reason)) {
        report.leftLines << reason.trimmed();
        return report;
    }
    report.number = journal.number;
    report.folderText = shown(journal.folder);
    report.imageOnly = journal.folder.isEmpty();
    // An incomplete journal was cut short before the first item moved.
    if (journal.complete) {
        report.total = journal.items.size();
        for (int i = journal.items.size() - 1; i >= 0; --i) {
            bool returned = false;
            QString line;
            if (!putBack(journal.items.at(i), &returned, &line))
                report.leftLines << line;
            report.returned += returned ? 1 : 0;
        }
    }
    removeOutputs(journal, report);
    if (report.leftLines.isEmpty())
        removeFolder(journal, report);
    syncFolders(journal, report);
    if (report.leftLines.isEmpty() && !journal.remove(&reason))
        report.leftLines << reason.trimmed();
    return report;
}

QString reportLines(const Report& report)
{
    QString text;
    if (report.number < 1)
        text = QStringLiteral("%1:\r\n").arg(shown(report.journal));
    else if (report.imageOnly)
        text = report.undone() ? QStringLiteral("パッケージ%1の書きかけのイメージを削除しました。\r\n").arg(report.number)
                               : QStringLiteral("パッケージ%1の書きかけのイメージを削除できませんでした。\r\n").arg(report.number);
    else if (report.undone())
        text = QStringLiteral("パッケージ%1を%2から元に戻しました（%3個の項目を戻しました）。\r\n")
                   .arg(report.number)
                   .arg(report.folderText)
                   .arg(report.returned);
    else
        text = QStringLiteral("パッケージ%1を%2から元に戻せませんでした（%3個の項目を戻しました）。\r\n")
                   .arg(report.number)
                   .arg(report.folderText)
                   .arg(report.returned);
    for (const QString& line : report.leftLines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace korvo::PackageRecovery
