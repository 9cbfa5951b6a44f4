#include "PackageRecovery.h"
#include "PackageFiles.h"

#include "MoveTexts.h"
#include "PackageListing.h"
#include "PieceRoutes.h"
#include "Platform.h"
#include "RelativePath.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace korvo::PackageRecovery {

namespace {

using MoveTexts::shown;

// The package folder of a journal, opened without following a link.
enum class PackageFolderState { Open, Gone, Refused };

PackageFolderState openPackageFolder(const BaseFolder& base, int number, platform::FolderHandle* folder,
                                     QString* line)
{
    const NativePath name = NativePath::fromText(QString::number(number));
    qint64 code = 0;
    const platform::FolderLevel level = base.handle().openLevel(name, false, folder, &code);
    if (level == platform::FolderLevel::Folder || level == platform::FolderLevel::Shared)
        return PackageFolderState::Open;
    if (level == platform::FolderLevel::Missing)
        return PackageFolderState::Gone;
    *line = MoveTexts::levelRefusal(level, base.path().child(name), code);
    return PackageFolderState::Refused;
}

bool hasIdentity(const platform::FolderHandle* folder, const NativePath& name, const FileIdentity& recorded,
                 bool* exists)
{
    FileIdentity identity;
    *exists = folder && folder->entryOf(name, &identity, nullptr, nullptr);
    return *exists && identity == recorded;
}

// What became of one item.
enum class ItemState { Back, Home, LeftInFolder, Lost };

// Puts one item back from the package folder (`inFolder` false when that is
// gone) to the same path below the source folder, both reached without
// links; the folders of its path that the move emptied and removed are made
// again.
ItemState putBack(PieceRoutes& routes, bool inFolder, const NativePath& folderPath, const MoveJournal& journal,
                  const MoveJournal::Item& item, QString* line)
{
    using Side = PieceRoutes::Side;
    const NativePath destination = RelativePath::below(folderPath, item.levels);
    const NativePath source = RelativePath::below(journal.sourceFolder, item.levels);
    bool missing = false;
    const platform::FolderHandle* from = inFolder ? routes.holder(Side::Target, item.levels, false, line, &missing) : nullptr;
    if (inFolder && !from && !missing)
        return ItemState::LeftInFolder; // a level of its path is refused
    line->clear();
    bool destinationExists = false;
    bool sourceExists = false;
    QString sourceLine;
    const platform::FolderHandle* home = routes.holder(Side::Source, item.levels, false, &sourceLine);
    const bool atHome = hasIdentity(home, item.name(), item.identity, &sourceExists);
    if (!hasIdentity(from, item.name(), item.identity, &destinationExists)) {
        if (atHome)
            return ItemState::Home; // it never moved
        *line = MoveTexts::itemLost(shown(source), shown(destination));
        return ItemState::Lost;
    }
    if (sourceExists) {
        *line = MoveTexts::itemOldNameTaken(shown(source), shown(destination));
        return ItemState::LeftInFolder;
    }
    if (!home && !(home = routes.holder(Side::Source, item.levels, true, line)))
        return ItemState::LeftInFolder;
    qint64 code = 0;
    if (!from->moveTo(item.name(), *home, item.name(), &code)) {
        *line = MoveTexts::moveBackFailed(shown(source), shown(destination), code);
        return ItemState::LeftInFolder;
    }
    return ItemState::Back;
}

// Puts every item back, the last moved first, and removes the folders made
// in the package folder for pieces once they are empty; true when no item
// is left in the package folder.
bool putItemsBack(const platform::FolderHandle& folder, const NativePath& folderPath, const MoveJournal& journal,
                  Report& report)
{
    PieceRoutes routes(journal.sourceFolder, folderPath, &folder);
    bool noneLeft = true;
    QList<QList<NativePath>> pieces;
    for (int i = journal.items.size() - 1; i >= 0; --i) {
        const MoveJournal::Item& item = journal.items.at(i);
        if (item.levels.size() > 1)
            pieces << item.levels;
        QString line;
        const ItemState state = putBack(routes, folder.isOpen(), folderPath, journal, item, &line);
        if (!line.isEmpty())
            report.leftLines << line;
        report.returned += state == ItemState::Back ? 1 : 0;
        noneLeft = noneLeft && state != ItemState::LeftInFolder;
    }
    if (folder.isOpen())
        routes.removeEmptyFolders(PieceRoutes::Side::Target, pieces);
    return noneLeft;
}

// Removes the outputs the journal names: all of them once no item is left
// in the package folder, else only the partial ones, so that a package left
// split keeps its listing, manifest and image.
void removeOutputs(const BaseFolder& base, const MoveJournal& journal, bool all, Report& report)
{
    QStringList kept;
    for (const NativePath& output : journal.outputs) {
        const bool partial = PackageFiles::isTemporaryName(output.toText());
        EntryKind kind = EntryKind::Other;
        qint64 code = 0;
        if (!base.handle().entryOf(output, nullptr, &kind, &code)) {
            if (!platform::isNotFound(code))
                report.leftLines << MoveTexts::failure("Look up", base.path().child(output), code);
            continue;
        }
        if (!all && !partial) {
            kept << output.toText();
        } else if (kind != EntryKind::File) {
            report.leftLines << MoveTexts::notKorvosFile(base.path().child(output));
        } else if (!base.handle().removeFile(output, &code)) {
            report.leftLines << MoveTexts::failure("Remove file", base.path().child(output), code);
        }
    }
    if (!kept.isEmpty())
        report.leftLines << MoveTexts::keptBeside(kept);
}

// Makes the undo lasting: the source folder first, so that the items are
// back for good before anything of the package goes, and each folder below
// it that pieces went back to.
bool syncSource(const MoveJournal& journal, Report& report)
{
    qint64 code = 0;
    if (journal.items.isEmpty())
        return true;
    if (!platform::syncFolder(journal.sourceFolder, &code) && !platform::isNotFound(code)) {
        report.leftLines << MoveTexts::failure("Sync folder", journal.sourceFolder, code);
        return false;
    }
    PieceRoutes routes(journal.sourceFolder, NativePath());
    QSet<QByteArray> synced;
    for (const MoveJournal::Item& item : journal.items) {
        const QByteArray folder = RelativePath::stored(item.levels.mid(0, item.levels.size() - 1));
        if (item.levels.size() < 2 || synced.contains(folder))
            continue;
        synced.insert(folder);
        QString line;
        bool missing = false;
        const platform::FolderHandle* holder = routes.holder(PieceRoutes::Side::Source, item.levels, false, &line, &missing);
        if (!holder && missing)
            continue; // nothing went back there
        if (!holder || !holder->sync(&code)) {
            report.leftLines << (holder ? MoveTexts::failure("Sync folder", holder->path(), code) : line);
            return false;
        }
    }
    return true;
}

void finish(const BaseFolder& base, const MoveJournal& journal, Report& report)
{
    qint64 code = 0;
    if (journal.hasFolder && report.leftLines.isEmpty()) {
        const NativePath name = NativePath::fromText(QString::number(journal.number));
        if (!base.handle().removeEmptyFolder(name, &code) && !platform::isNotFound(code))
            report.leftLines << MoveTexts::failure("Remove folder", base.path().child(name), code);
    }
    if (!base.handle().sync(&code))
        report.leftLines << MoveTexts::failure("Sync folder", base.path(), code);
    QString reason;
    if (report.leftLines.isEmpty() && !journal.remove(base.handle(), &reason))
        report.leftLines << reason.trimmed();
}

Report refusedReport(const NativePath& journal, const QString& rule)
{
    Report report;
    report.journal = journal;
    report.refused = true;
    report.leftLines << MoveTexts::refusedJournalLine(journal, rule);
    return report;
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

namespace {

// One level of the search: the journals in `folder` and the folders below.
bool searchLevel(const JournalFolder& place, const platform::FolderHandle& folder, int depth,
                 QList<JournalFolder>* found, QString* errorString);

bool searchBelow(const JournalFolder& place, const platform::FolderHandle& folder, const NativePath& name,
                 int depth, QList<JournalFolder>* found, QString* errorString)
{
    platform::FolderHandle level;
    qint64 code = 0;
    switch (folder.openLevel(name, false, &level, &code)) {
    case platform::FolderLevel::Folder:
    case platform::FolderLevel::Shared: {
        // A level others may write to is searched: its journals are named
        // and refused, never acted on.
        JournalFolder below = place;
        below.levels << name;
        below.path = level.path();
        return searchLevel(below, level, depth, found, errorString);
    }
    case platform::FolderLevel::Link:
        *errorString = MoveTexts::levelIsLink(folder.path().child(name));
        return false;
    case platform::FolderLevel::Failed:
        *errorString = MoveTexts::failure("Open folder", folder.path().child(name), code);
        return false;
    case platform::FolderLevel::Missing:
    case platform::FolderLevel::NotAFolder:
    case platform::FolderLevel::OtherOwner: // another user's: not entered
        return true;
    }
    return true;
}

bool searchLevel(const JournalFolder& place, const platform::FolderHandle& folder, int depth,
                 QList<JournalFolder>* found, QString* errorString)
{
    JournalFolder here = place;
    if (depth > 0 && !MoveJournal::findIn(folder, &here.journals, &here.unfinished, errorString))
        return false;
    if (!here.journals.isEmpty() || !here.unfinished.isEmpty())
        *found << here;
    if (depth == 2)
        return true;
    QVector<platform::FolderEntry> entries;
    qint64 code = 0;
    if (!folder.list(entries, &code)) {
        *errorString = MoveTexts::failure("List folder", folder.path(), code);
        return false;
    }
    for (const platform::FolderEntry& entry : qAsConst(entries)) {
        if (entry.kind == platform::FolderEntry::Folder
            && !searchBelow(place, folder, entry.name, depth + 1, found, errorString))
            return false;
    }
    return true;
}

} // namespace

bool findJournals(const NativePath& packFolder, QList<JournalFolder>* folders, QString* errorString)
{
    // korvo_pack / order / label: journals sit one or two levels below.
    folders->clear();
    JournalFolder top;
    top.top = packFolder.parent();
    platform::FolderHandle above;
    qint64 code = 0;
    if (!platform::FolderHandle::open(top.top, &above, &code)) {
        if (platform::isNotFound(code))
            return true;
        *errorString = MoveTexts::failure("Open folder", top.top, code);
        return false;
    }
    if (!searchBelow(top, above, packFolder.fileName(), 0, folders, errorString))
        return false;
    std::sort(folders->begin(), folders->end(),
              [](const JournalFolder& a, const JournalFolder& b) { return a.path < b.path; });
    return true;
}

QList<Report> recoverFolder(const JournalFolder& folder)
{
    QList<Report> reports;
    BaseFolder base;
    QString reason;
    const bool opened = base.open(folder.top, folder.levels, false, &reason);
    if (!opened || !base.lock(&reason)) {
        // Nothing is touched: each journal is named with the reason, refused
        // when its folder breaks a rule, left for later when it is busy.
        for (const QString& name : folder.journals + folder.unfinished) {
            const NativePath journal = folder.path.child(name);
            if (!opened) {
                reports << refusedReport(journal, reason.trimmed());
                continue;
            }
            Report busy;
            busy.journal = journal;
            busy.leftLines << reason.trimmed();
            reports << busy;
        }
        return reports;
    }
    for (const QString& name : folder.unfinished)
        reports << removeUnfinished(base, name);
    for (const QString& name : folder.journals)
        reports << undo(base, name);
    return reports;
}

Report undo(const BaseFolder& base, const QString& journalName)
{
    const NativePath name = NativePath::fromText(journalName);
    MoveJournal journal;
    QString rule;
    const MoveJournal::ReadResult read = MoveJournal::read(base.handle(), name, &journal, &rule);
    if (read == MoveJournal::ReadResult::Refused)
        return refusedReport(base.path().child(name), rule);
    Report report;
    report.journal = base.path().child(name);
    if (read == MoveJournal::ReadResult::Failed) {
        report.leftLines << rule;
        return report;
    }
    report.number = journal.number;
    report.imageOnly = !journal.hasFolder;
    report.total = journal.items.size();
    const NativePath folderPath = base.path().child(QString::number(journal.number));
    report.folderText = shown(folderPath);
    platform::FolderHandle folder;
    bool noneLeft = true;
    if (journal.hasFolder) {
        QString line;
        const PackageFolderState state = openPackageFolder(base, journal.number, &folder, &line);
        if (state == PackageFolderState::Refused)
            return refusedReport(report.journal, line);
        noneLeft = putItemsBack(folder, folderPath, journal, report);
        // Released before the folder is removed: Windows keeps a held folder.
        folder = platform::FolderHandle();
        if (state == PackageFolderState::Gone && !report.leftLines.isEmpty())
            report.leftLines.prepend(MoveTexts::packageFolderGone(report.folderText));
    }
    if (!syncSource(journal, report))
        return report; // nothing of the package goes before its items are back for good
    removeOutputs(base, journal, noneLeft && report.leftLines.isEmpty(), report);
    finish(base, journal, report);
    return report;
}

Report removeUnfinished(const BaseFolder& base, const QString& name)
{
    // Written whole before it takes its name, a journal under its
    // temporary name has moved nothing: it and its empty folder go.
    Report report;
    const NativePath file = NativePath::fromText(name);
    report.journal = base.path().child(file);
    report.unfinished = true;
    PackageFiles::isUnfinishedJournalName(name, &report.number);
    QFile opened;
    bool owned = false;
    qint64 code = 0;
    if (base.handle().openFile(file, opened, &owned, &code) != platform::OpenResult::Opened || !owned)
        return refusedReport(report.journal, QStringLiteral("it is not a regular file of yours"));
    opened.close();
    if (!base.handle().removeFile(file, &code))
        report.leftLines << MoveTexts::failure("Remove file", report.journal, code);
    base.handle().removeEmptyFolder(NativePath::fromText(QString::number(report.number)), nullptr);
    return report;
}

QString reportLines(const Report& report)
{
    QString head;
    if (report.number < 1 || report.refused)
        head = shown(report.journal) + QLatin1Char(':');
    else if (report.unfinished)
        head = MoveTexts::unfinishedJournalHead(report.number);
    else if (report.imageOnly)
        head = MoveTexts::imageRecoveryHead(report.number, report.undone());
    else
        head = MoveTexts::recoveryHead(report.number, report.folderText, report.returned, report.undone());
    QString text;
    for (const QString& line : QStringList{head} + report.leftLines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace korvo::PackageRecovery
