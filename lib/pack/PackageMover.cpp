#include "PackageMover.h"

#include "ChecksumManifest.h"
#include "ChildIdentities.h"
#include "ImageFormat.h"
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
      baseText_(PackageTarget::baseFolder(volumeRoot.toText(), orderName, label))
{
    levels_ << QStringLiteral("korvo_pack") << orderName;
    if (!label.isEmpty())
        levels_ << label;
}

bool PackageMover::fail(const char* step, const NativePath& path, qint64 errorCode)
{
    errorString_ = QStringLiteral("%1 failed. path:%2 winError:%3 (%4).\r\n")
                       .arg(QLatin1String(step), QDir::toNativeSeparators(path.toText()), QString::number(errorCode),
                            platform::errorText(errorCode));
    return false;
}

bool PackageMover::outOfRange()
{
    errorString_ = QStringLiteral("The folder number is out of range.\r\n");
    return false;
}

bool PackageMover::noNumberLeft(int wanted)
{
    errorString_ = QStringLiteral("No folder number is free from %1 on in %2.\r\n").arg(wanted).arg(baseText_);
    return false;
}

bool PackageMover::findNumberBase(int* base)
{
    errorString_.clear();
    *base = 0;
    QVector<platform::FolderEntry> entries;
    qint64 errorCode = 0;
    if (!platform::listFolder(base_, entries, &errorCode))
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
    folder.listing = base_.child(QString::number(number) + QStringLiteral(".xml"));
    folder.listingText = PackageTarget::listingPath(baseText_, number);
    folder.manifest = ChecksumManifest::pathBeside(folder.path);
    folder.manifestText = QDir::toNativeSeparators(folder.manifest.toText());
    return folder;
}

bool PackageMover::isFree(int number, bool* free)
{
    *free = false;
    QStringList names = PackageTarget::siblingNames(number);
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

bool PackageMover::createBaseFolder()
{
    // Level by level from the volume root, each opened inside the one
    // above without following a link and made when missing; the first
    // level that cannot be made or is not this user's folder gives the
    // reason.
    qint64 errorCode = 0;
    platform::FolderHandle folder;
    if (!platform::FolderHandle::open(volumeRoot_, &folder, &errorCode))
        return fail("Open folder", volumeRoot_, errorCode);
    for (const QString& level : qAsConst(levels_)) {
        const NativePath name = NativePath::fromText(level);
        platform::FolderHandle next;
        const platform::FolderLevel found = folder.openLevel(name, true, &next, &errorCode);
        if (!checkLevel(found, folder.path().child(name), errorCode))
            return false;
        folder = std::move(next);
    }
    baseHandle_ = std::move(folder);
    return true;
}

bool PackageMover::checkLevel(platform::FolderLevel level, const NativePath& path, qint64 errorCode)
{
    // A level that leads elsewhere, or that another user may fill or swap,
    // could steer the package into their hands.
    const QString shown = QDir::toNativeSeparators(path.toText());
    switch (level) {
    case platform::FolderLevel::Folder:
        return true;
    case platform::FolderLevel::Link:
        errorString_ = QStringLiteral("The base folder level is a link; it is never followed. path:%1.\r\n").arg(shown);
        return false;
    case platform::FolderLevel::OtherOwner:
        errorString_ = QStringLiteral("The base folder level belongs to another user. path:%1.\r\n").arg(shown);
        return false;
    case platform::FolderLevel::NotAFolder:
        errorString_ = QStringLiteral("The base folder level is not a folder. path:%1.\r\n").arg(shown);
        return false;
    case platform::FolderLevel::Missing:
    case platform::FolderLevel::Failed:
        break;
    }
    return fail("Create folder", path, errorCode);
}

bool PackageMover::createPackageFolder(int wanted, PackageFolder* folder)
{
    errorString_.clear();
    *folder = folderFor(wanted);
    if (wanted < 1)
        return outOfRange();
    if (!createBaseFolder())
        return false;
    for (int number = wanted;; ++number) {
        const bool found = findFreeNumber(number, {}, &number);
        *folder = folderFor(number);
        if (!found)
            return false;
        const NativePath name = NativePath::fromText(QString::number(number));
        qint64 errorCode = 0;
        if (baseHandle_.createFolder(name, &errorCode)) {
            // Opened again as made; a link swapped in between is refused.
            const platform::FolderLevel found = baseHandle_.openLevel(name, false, &packageHandle_, &errorCode);
            return checkLevel(found, folder->path, errorCode);
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
    journal->path = base_.child(MoveJournal::fileName(folder.number));
    journal->baseFolder = base_;
    journal->number = folder.number;
    journal->folder = folder.path;
    journal->outputs << folder.listing << MoveJournal::temporaryFor(folder.listing) << folder.manifest
                     << MoveJournal::temporaryFor(folder.manifest);
    for (const ImageFormat format : {ImageFormat::Iso, ImageFormat::Zip}) {
        const NativePath image = ImageFormats::pathBeside(folder.path, format);
        journal->outputs << image << MoveJournal::temporaryFor(image);
    }
    const ChildIdentities* scanned = root_ ? root_->childIdentities() : nullptr;
    for (const PackagablePtr& item : package ? package->items : QList<PackagablePtr>()) {
        if (!item)
            continue;
        MoveJournal::Item entry{item->nativeFilePath(), folder.path.child(item->nativeFileName()), {}};
        // The identity the move checks against; read now when the scan kept none.
        qint64 errorCode = 0;
        if ((!scanned || !scanned->find(item.data(), &entry.identity))
            && !platform::identityOf(entry.source, &entry.identity, nullptr, nullptr, &errorCode))
            return fail("Look up", entry.source, errorCode);
        journal->items << entry;
    }
    return journal->write(&errorString_);
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

bool PackageMover::movePackage(const PackageFolder& folder, const PackagePtr& package,
                               const Packager::Progress& progress)
{
    errorString_.clear();
    moved_.reset();
    MoveJournal journal;
    const NativePath folderName = folder.path.fileName();
    if (!writeJournal(folder, package, &journal)) {
        baseHandle_.removeEmptyFolder(folderName, nullptr);
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
    // stays, naming what is left, for 'korvo-cli recover'.
    baseHandle_.removeEmptyFolder(folderName, nullptr);
    if (!packager_.leftItemsBehind()) {
        QString reason;
        if (!journal.remove(&reason))
            errorString_ += reason;
    }
    return false;
}

bool PackageMover::finishPackage(const PackageFolder& folder)
{
    errorString_.clear();
    MoveJournal journal;
    journal.path = base_.child(MoveJournal::fileName(folder.number));
    journal.baseFolder = base_;
    if (moved_ && !syncMoved(folder, moved_))
        return false;
    moved_.reset();
    qint64 errorCode = 0;
    if (!baseHandle_.sync(&errorCode))
        return fail("Sync folder", base_, errorCode);
    return journal.remove(&errorString_);
}

} // namespace korvo
