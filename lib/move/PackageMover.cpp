#include "PackageMover.h"
#include "PackageFiles.h"

#include "ChildIdentities.h"
#include "MoveTexts.h"
#include "PackageTarget.h"
#include "Platform.h"

#include <QDir>

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
    const ChildIdentities* scanned = root_ ? root_->childIdentities() : nullptr;
    for (const PackagablePtr& item : package ? package->items : QList<PackagablePtr>()) {
        if (!item)
            continue;
        const NativePath source = item->nativeFilePath();
        // Every item is a top-level entry of the scanned folder.
        if (journal->items.isEmpty())
            journal->sourceFolder = source.parent();
        else if (source.parent() != journal->sourceFolder) {
            errorString_ = QStringLiteral("The package's items do not all lie in one folder. path:%1.\r\n")
                               .arg(MoveTexts::shown(source));
            return false;
        }
        MoveJournal::Item entry{item->nativeFileName(), {}};
        // The identity the move checks against; read now when the scan kept none.
        qint64 errorCode = 0;
        if ((!scanned || !scanned->find(item.data(), &entry.identity))
            && !platform::identityOf(source, &entry.identity, nullptr, nullptr, &errorCode))
            return fail("Look up", source, errorCode);
        journal->items << entry;
    }
    return journal->write(baseFolder_.handle(), &errorString_);
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
    QList<NativePath> folders;
    for (const PackagablePtr& item : package->items) {
        const NativePath parent = item->nativeFilePath().parent();
        if (!folders.contains(parent))
            folders << parent;
    }
    for (const NativePath& path : qAsConst(folders)) {
        if (!platform::syncFolder(path, &errorCode))
            return fail("Sync folder", path, errorCode);
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

bool PackageMover::finishPackage(const PackageFolder& folder)
{
    errorString_.clear();
    MoveJournal journal;
    journal.number = folder.number;
    if (moved_ && !syncMoved(folder, moved_))
        return false;
    moved_.reset();
    qint64 errorCode = 0;
    if (!baseFolder_.handle().sync(&errorCode))
        return fail("Sync folder", base_, errorCode);
    return journal.remove(baseFolder_.handle(), &errorString_);
}

} // namespace korvo
