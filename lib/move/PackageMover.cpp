#include "PackageMover.h"
#include "PackageFiles.h"

#include "ChildIdentities.h"
#include "MoveTexts.h"
#include "PackageTarget.h"
#include "PieceRoutes.h"
#include "RelativePath.h"
#include "Platform.h"

#include <QDir>
#include <QSet>

#include <limits>

namespace korvo {

PackageMover::PackageMover(const DirectoryNodePtr& root, const NativePath& volumeRoot, const QString& orderName,
                           const QString& label)
    : root_(root),
      volumeRoot_(volumeRoot),
      base_(PackageTarget::baseFolderPath(volumeRoot, orderName, label)),
      levels_(BaseFolder::levelsFor(orderName, label)),
      baseText_(PackageTarget::baseFolder(volumeRoot.toText(), orderName, label))
{
}

bool PackageMover::fail(const char* step, const NativePath& path, qint64 errorCode)
{
    errorString_ = MoveTexts::failure(step, path, errorCode) + QStringLiteral("\r\n");
    return false;
}

bool PackageMover::outOfRange()
{
    errorString_ = QStringLiteral("The folder number is out of range.\r\n");
    return false;
}

bool PackageMover::noNumberLeft(int wanted)
{
    errorString_ = QStringLiteral("No folder number is free from %1 on in %2.\r\n").arg(QString::number(wanted), baseText_);
    return false;
}

bool PackageMover::findNumberBase(int* base)
{
    errorString_.clear();
    *base = 0;
    QVector<platform::FolderEntry> entries;
    qint64 errorCode = 0;
    const bool listed = baseFolder_.isOpen() ? baseFolder_.handle().list(entries, &errorCode)
                                             : platform::listFolder(base_, entries, &errorCode);
    if (!listed)
        return platform::isNotFound(errorCode) || fail("List folder", base_, errorCode);
    for (const platform::FolderEntry& entry : qAsConst(entries))
        *base = qMax(*base, PackageTarget::entryNumber(entry.name.toText()));
    return true;
}

PackageFolder PackageMover::folderFor(int number) const
{
    PackageFolder folder;
    folder.number = number;
    folder.path = base_.child(QString::number(number));
    folder.text = PackageTarget::packageFolder(baseText_, number);
    folder.listing = PackageFiles::beside(folder.path, PackageFiles::Kind::Listing);
    folder.listingText = PackageTarget::listingPath(baseText_, number);
    folder.manifest = PackageFiles::beside(folder.path, PackageFiles::Kind::Manifest);
    folder.manifestText = QDir::toNativeSeparators(folder.manifest.toText());
    return folder;
}

bool PackageMover::isFree(int number, bool* free)
{
    *free = false;
    QStringList names = PackageFiles::besideNames(number);
    names.prepend(QString::number(number));
    for (const QString& name : qAsConst(names)) {
        const NativePath path = base_.child(name);
        qint64 errorCode = 0;
        if (platform::identityOf(path, nullptr, nullptr, nullptr, &errorCode))
            return true; // taken
        if (!platform::isNotFound(errorCode))
            return fail("Look up", path, errorCode);
    }
    *free = true;
    return true;
}

bool PackageMover::findFreeNumber(int wanted, const std::function<bool(int)>& taken, int* number)
{
    errorString_.clear();
    *number = wanted;
    if (wanted < 1)
        return outOfRange();
    for (;;) {
        bool free = false;
        if (!isFree(*number, &free))
            return false;
        if (free && !(taken && taken(*number)))
            return true;
        if (*number == std::numeric_limits<int>::max())
            return noNumberLeft(wanted);
        ++*number;
    }
}

bool PackageMover::openBaseFolder()
{
    errorString_.clear();
    if (baseFolder_.open(volumeRoot_, levels_, true, &errorString_))
        return true;
    baseFolder_ = BaseFolder();
    return false;
}

bool PackageMover::lockBaseFolder()
{
    errorString_.clear();
    return baseFolder_.lock(&errorString_);
}

bool PackageMover::createPackageFolder(int wanted, PackageFolder* folder)
{
    errorString_.clear();
    *folder = folderFor(wanted);
    if (wanted < 1)
        return outOfRange();
    if (!baseFolder_.isOpen() && !openBaseFolder())
        return false;
    const platform::FolderHandle& base = baseFolder_.handle();
    for (int number = wanted;; ++number) {
        const bool found = findFreeNumber(number, {}, &number);
        *folder = folderFor(number);
        if (!found)
            return false;
        const NativePath name = NativePath::fromText(QString::number(number));
        qint64 errorCode = 0;
        if (base.createFolder(name, &errorCode)) {
            // Opened again as made; a link swapped in between is refused. The
            // folder's own mode is the user's choice: others writing in it
            // cannot steer an item, as every item is checked by identity.
            const platform::FolderLevel found = base.openLevel(name, false, &packageHandle_, &errorCode);
            if (found == platform::FolderLevel::Folder || found == platform::FolderLevel::Shared)
                return true;
            errorString_ = MoveTexts::levelRefusal(found, folder->path, errorCode) + QStringLiteral("\r\n");
            return false;
        }
        // Taken between the look-up and now (by another move): the next one.
        if (!platform::isAlreadyExists(errorCode))
            return fail("Create folder", folder->path, errorCode);
        if (number == std::numeric_limits<int>::max())
            return noNumberLeft(wanted);
    }
}

bool PackageMover::writeJournal(const PackageFolder& folder, const PackagePtr& package, MoveJournal* journal)
{
    journal->number = folder.number;
    journal->hasFolder = true;
    for (const QString& name : PackageFiles::besideNames(folder.number)) {
        const NativePath output = NativePath::fromText(name);
        journal->outputs << output << PackageFiles::temporaryFor(output);
    }
    if (!package)
        return journal->write(baseFolder_.handle(), &errorString_);
    // Every item lies below the scanned folder: a top-level entry, or a
    // piece of a split folder at its path below it.
    const bool known = !package->scannedFolder.isNull();
    PieceRoutes routes(package->scannedFolder.native(), folder.path, &packageHandle_);
    for (const PackagablePtr& item : package->items) {
        if (!item)
            continue;
        MoveJournal::Item entry{RelativePath::levelsOf(package->scannedFolder, *item), {}};
        const NativePath source = item->nativeFilePath();
        if (journal->items.isEmpty())
            journal->sourceFolder = known ? package->scannedFolder.native() : source.parent();
        if (RelativePath::below(journal->sourceFolder, entry.levels) != source) {
            errorString_ = QStringLiteral("The package's items do not all lie in one folder. path:%1.\r\n")
                               .arg(MoveTexts::shown(source));
            return false;
        }
        if (!readIdentity(*item, routes, &entry))
            return false;
        journal->items << entry;
    }
    return journal->write(baseFolder_.handle(), &errorString_);
}

bool PackageMover::readIdentity(const iPackagable& item, PieceRoutes& routes, MoveJournal::Item* entry)
{
    // The identity the move checks against: the scan's, else read now, for
    // a piece from the folder that holds it, reached without links.
    const ChildIdentities* scanned = root_ ? root_->childIdentities() : nullptr;
    if (entry->levels.size() == 1 && scanned && scanned->find(&item, &entry->identity))
        return true;
    qint64 errorCode = 0;
    if (entry->levels.size() == 1) {
        return platform::identityOf(item.nativeFilePath(), &entry->identity, nullptr, nullptr, &errorCode)
               || fail("Look up", item.nativeFilePath(), errorCode);
    }
    QString line;
    const platform::FolderHandle* holder = routes.holder(PieceRoutes::Side::Source, entry->levels, false, &line);
    if (!holder) {
        errorString_ = line + QStringLiteral("\r\n");
        return false;
    }
    return holder->entryOf(entry->name(), &entry->identity, nullptr, &errorCode)
           || fail("Look up", item.nativeFilePath(), errorCode);
}

bool PackageMover::syncMoved(const PackageFolder& folder, const PackagePtr& package)
{
    // The new names and the old folders' lost ones, so that a power cut
    // after the move brings nothing back to its old place.
    qint64 errorCode = 0;
    // The base folder's own entry for the package folder was made lasting
    // with the journal's sync, before the first item moved.
    if (!packageHandle_.sync(&errorCode))
        return fail("Sync folder", folder.path, errorCode);
    if (!syncPieceFolders(folder, package))
        return false;
    QList<NativePath> folders;
    QSet<QByteArray> seen;
    for (const PackagablePtr& item : package->items) {
        const NativePath parent = item->nativeFilePath().parent();
        if (!seen.contains(parent.storedBytes())) {
            seen.insert(parent.storedBytes());
            folders << parent;
        }
    }
    for (const NativePath& path : qAsConst(folders)) {
        if (!platform::syncFolder(path, &errorCode))
            return fail("Sync folder", path, errorCode);
    }
    return true;
}

bool PackageMover::syncPieceFolders(const PackageFolder& folder, const PackagePtr& package)
{
    // The folders made for pieces inside the package folder hold the
    // pieces' new names.
    PieceRoutes routes(package->scannedFolder.native(), folder.path, &packageHandle_);
    QSet<QByteArray> seen;
    for (const PackagablePtr& item : package->items) {
        QList<NativePath> levels = RelativePath::levelsOf(package->scannedFolder, *item);
        if (levels.size() < 2)
            continue;
        levels.removeLast();
        if (seen.contains(RelativePath::stored(levels)))
            continue;
        seen.insert(RelativePath::stored(levels));
        QString line;
        qint64 errorCode = 0;
        const platform::FolderHandle* holder = routes.folder(PieceRoutes::Side::Target, levels, &line);
        if (!holder) {
            errorString_ = line + QStringLiteral("\r\n");
            return false;
        }
        if (!holder->sync(&errorCode))
            return fail("Sync folder", holder->path(), errorCode);
    }
    return true;
}

bool PackageMover::moveItems(const PackageFolder& folder, const PackagePtr& package,
                               const Packager::Progress& progress)
{
    errorString_.clear();
    moved_.reset();
    MoveJournal journal;
    const NativePath folderName = folder.path.fileName();
    const platform::FolderHandle& base = baseFolder_.handle();
    if (!writeJournal(folder, package, &journal)) {
        // Released first: a held folder cannot be removed on Windows.
        packageHandle_ = platform::FolderHandle();
        base.removeEmptyFolder(folderName, nullptr);
        return false;
    }
    if (packager_.movePackage(folder.path, package, root_ ? root_->childIdentities() : nullptr, progress,
                              &packageHandle_)) {
        moved_ = package;
        return true;
    }
    errorString_ = packager_.errorString();
    // The items are back in place on disk before the journal goes.
    const QString moveError = errorString_;
    syncMoved(folder, package);
    errorString_ = moveError;
    // Leaves a folder alone that still holds anything: an item that could
    // not go back, or whatever someone else put there. The journal then
    // stays, naming what is left, for 'korvo-cli recover'. Released first:
    // a held folder cannot be removed on Windows.
    packageHandle_ = platform::FolderHandle();
    base.removeEmptyFolder(folderName, nullptr);
    if (!packager_.leftItemsBehind()) {
        QString reason;
        if (!journal.remove(base, &reason))
            errorString_ += reason;
    }
    return false;
}

void PackageMover::removeEmptiedFolders(const PackageFolder& folder, const Package& package)
{
    // A split folder whose every entry has moved goes from the scanned
    // folder. Its journal still names the pieces until the end, so recover
    // makes it again to put them back.
    QList<QList<NativePath>> pieces;
    for (const PackagablePtr& item : package.items) {
        QList<NativePath> levels = RelativePath::levelsOf(package.scannedFolder, *item);
        if (levels.size() > 1)
            pieces << levels;
    }
    if (pieces.isEmpty())
        return;
    PieceRoutes routes(package.scannedFolder.native(), folder.path, &packageHandle_);
    routes.removeEmptyFolders(PieceRoutes::Side::Source, pieces);
}

bool PackageMover::finishPackage(const PackageFolder& folder)
{
    errorString_.clear();
    MoveJournal journal;
    journal.number = folder.number;
    if (moved_ && !syncMoved(folder, moved_))
        return false;
    if (moved_)
        removeEmptiedFolders(folder, *moved_);
    moved_.reset();
    qint64 errorCode = 0;
    if (!baseFolder_.handle().sync(&errorCode))
        return fail("Sync folder", base_, errorCode);
    return journal.remove(baseFolder_.handle(), &errorString_);
}

} // namespace korvo
