#include "Packager.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "ImageWeight.h"
#include "MoveTexts.h"
#include "NameCase.h"
#include "PieceRoutes.h"
#include "Platform.h"
#include "RelativePath.h"

#include <QHash>

namespace korvo {

bool Packager::pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root,
                    QList<PackagePtr>& packages, QList<PackagablePtr>* leftOut, ImageFormat image, int* lowerBound,
                    SplitFolders split)
{
    errorString_.clear();
    // One measure for both: it weighs each item once.
    const PackMeasure measure = ImageWeight::measure(image, root ? root->path() : FolderPath());
    if (lowerBound)
        *lowerBound = Packer::lowerBound(packageOrder, root, measure, split);
    Packer::pack(packageOrder, sort, root, packages, leftOut, measure, split);
    return true;
}

namespace {

Packager::MoveFunction& moveOverride()
{
    static Packager::MoveFunction move;
    return move;
}

bool moveEntry(const NativePath& source, const NativePath& destination, qint64* errorCode)
{
    if (moveOverride())
        return moveOverride()(source, destination, errorCode);
    return platform::moveWithoutReplacing(source, destination, errorCode);
}

// An item into the target folder: into the open folder when there is one,
// so that a level of its path swapped meanwhile cannot steer it elsewhere.
bool moveIn(const NativePath& source, const NativePath& targetFolder, const NativePath& name,
            const platform::FolderHandle* target, qint64* errorCode)
{
    if (target && !moveOverride())
        return target->moveInto(source, name, errorCode);
    return moveEntry(source, targetFolder.child(name), errorCode);
}

bool moveBack(const NativePath& targetFolder, const NativePath& name, const NativePath& source,
              const platform::FolderHandle* target, qint64* errorCode)
{
    if (target && !moveOverride())
        return target->moveOut(name, source, errorCode);
    return moveEntry(targetFolder.child(name), source, errorCode);
}

// The text of an item's place in the target folder, for messages: its path
// below the scanned folder, below the target folder.
// Paths in the failure lines are in the system's own form (`\` on Windows).
QString destinationText(const NativePath& targetFolder, const FolderPath& scannedFolder, const iPackagable& item)
{
    return QDir::toNativeSeparators(
        QDir(targetFolder.toText()).absoluteFilePath(RelativePath::textOf(scannedFolder, item)));
}

QString sourceText(const iPackagable& item)
{
    return QDir::toNativeSeparators(item.absoluteFilePath());
}

// Where the target folder takes names that differ only in case for one,
// two such items cannot both go in: the second would fail, and the first
// could then not go back beside its twin. The line naming the first such
// pair; empty when there is none.
QString caseTwinsOf(const QList<PackagablePtr>& items)
{
    if (!platform::namesIgnoreCase())
        return QString();
    QHash<QString, const iPackagable*> seen;
    for (const PackagablePtr& item : items) {
        if (!item)
            continue;
        const iPackagable*& first = seen[platform::caseFoldedName(item->absoluteFilePath())];
        if (first)
            return MoveTexts::caseTwins(sourceText(*first), sourceText(*item));
        first = item.data();
    }
    return QString();
}

} // namespace

void Packager::setMoveFunction(const MoveFunction& move)
{
    moveOverride() = move;
}

bool Packager::movePackage(const QDir& targetDir, const PackagePtr& package)
{
    return movePackage(NativePath::fromText(targetDir.absolutePath()), package);
}

bool Packager::movePackage(const NativePath& targetFolder, const PackagePtr& package,
                           const ChildIdentities* scanned, const Progress& progress,
                           const platform::FolderHandle* target)
{
    errorString_.clear();
    leftItemsBehind_ = false;
    if (!package) {
        errorString_ = QStringLiteral("Move failed: no package was given.\r\n");
        return false;
    }

    errorString_ = caseTwinsOf(package->items);
    if (!errorString_.isEmpty()) {
        errorString_ += QStringLiteral("\r\n");
        return false;
    }
    const Destination destination{targetFolder, package->scannedFolder};
    destination_ = &destination;
    QList<PackagablePtr> moved;
    QList<QList<NativePath>> pieces;
    // The pieces of split folders move between the folders that hold them,
    // below the scanned folder and below the target folder.
    PieceRoutes routes(package->scannedFolder.native(), targetFolder, target);
    for (const PackagablePtr& item : package->items) {
        if (!item) {
            errorString_ = QStringLiteral("Move failed: the package holds an empty item.\r\n");
            break;
        }
        const QList<NativePath> levels = RelativePath::levelsOf(package->scannedFolder, *item);
        if (levels.size() > 1)
            pieces << levels; // the folders of its path may be made even when its move fails
        const bool done = levels.size() > 1 ? movePiece(*item, levels, routes)
                                            : moveTop(*item, scanned, targetFolder, target);
        if (!done)
            break;
        moved.append(item);
        if (progress)
            progress(moved.size(), package->items.size());
    }
    if (!errorString_.isEmpty())
        undo(moved, *package, targetFolder, routes, progress, target);
    // The folders made for pieces in the target folder go again, once empty.
    if (!errorString_.isEmpty()) {
        routes.removeEmptyFolders(PieceRoutes::Side::Target, pieces);
        routes.release();
    }
    destination_ = nullptr;
    return errorString_.isEmpty();
}

QString Packager::destinationOf(const iPackagable& item) const
{
    return destinationText(destination_->folder, destination_->scannedFolder, item);
}

bool Packager::moveTop(const iPackagable& item, const ChildIdentities* scanned, const NativePath& targetFolder,
                       const platform::FolderHandle* target)
{
    if (scanned && !checkScanned(item, *scanned))
        return false;
    qint64 errorCode = 0;
    if (moveIn(item.nativeFilePath(), targetFolder, item.nativeFileName(), target, &errorCode))
        return true;
    errorString_ = MoveTexts::moveFailed(sourceText(item), destinationOf(item), errorCode) + QStringLiteral("\r\n");
    return false;
}

bool Packager::movePiece(const iPackagable& item, const QList<NativePath>& levels, PieceRoutes& routes)
{
    QString line;
    const platform::FolderHandle* source = routes.holder(PieceRoutes::Side::Source, levels, false, &line);
    // Checked where it is now, as the scan saw it: a piece has no identity
    // recorded, but its kind and a file's size must still be the scan's.
    if (source && !checkPiece(item, *source, levels.last()))
        return false;
    const platform::FolderHandle* into =
        source ? routes.holder(PieceRoutes::Side::Target, levels, true, &line) : nullptr;
    if (!into) {
        errorString_ = line + QStringLiteral("\r\n");
        return false;
    }
    qint64 errorCode = 0;
    const NativePath& name = levels.last();
    const bool moved = moveOverride() ? moveEntry(source->path().child(name), into->path().child(name), &errorCode)
                                      : source->moveTo(name, *into, name, &errorCode);
    if (moved)
        return true;
    errorString_ = MoveTexts::moveFailed(sourceText(item), destinationOf(item), errorCode) + QStringLiteral("\r\n");
    return false;
}

bool Packager::checkPiece(const iPackagable& item, const platform::FolderHandle& source, const NativePath& name)
{
    EntryKind kind = EntryKind::Other;
    qint64 size = 0;
    qint64 errorCode = 0;
    if (!source.entryOf(name, nullptr, &kind, &errorCode)) {
        errorString_ = MoveTexts::moveFailed(sourceText(item), destinationOf(item), errorCode) + QStringLiteral("\r\n");
        return false;
    }
    const auto* file = dynamic_cast<const FileNode*>(&item);
    const bool folder = kind == EntryKind::Folder;
    if (folder != !file) {
        errorString_ = MoveTexts::itemReplaced(sourceText(item)) + QStringLiteral("\r\n");
        return false;
    }
    if (file && kind == EntryKind::File && platform::identityOf(item.nativeFilePath(), nullptr, nullptr, &size, nullptr)
        && size != file->size()) {
        errorString_ = MoveTexts::itemSizeChanged(sourceText(item), file->size(), size) + QStringLiteral("\r\n");
        return false;
    }
    return true;
}

bool Packager::checkScanned(const iPackagable& item, const ChildIdentities& scanned)
{
    FileIdentity recorded;
    if (!scanned.find(&item, &recorded))
        return true; // nothing recorded: a tree built without the disk
    FileIdentity identity;
    EntryKind kind = EntryKind::Other;
    qint64 size = 0;
    qint64 errorCode = 0;
    if (!platform::identityOf(item.nativeFilePath(), &identity, &kind, &size, &errorCode)) {
        errorString_ = MoveTexts::moveFailed(sourceText(item), destinationOf(item), errorCode) + QStringLiteral("\r\n");
        return false;
    }
    if (identity != recorded) {
        errorString_ = MoveTexts::itemReplaced(sourceText(item)) + QStringLiteral("\r\n");
        return false;
    }
    // A link's scanned size is its target's, and a folder's is its
    // contents': only a regular file's own size can be compared.
    const auto* file = dynamic_cast<const FileNode*>(&item);
    if (file && kind == EntryKind::File && size != file->size()) {
        errorString_ = MoveTexts::itemSizeChanged(sourceText(item), file->size(), size) + QStringLiteral("\r\n");
        return false;
    }
    return true;
}

void Packager::undo(const QList<PackagablePtr>& moved, const Package& package, const NativePath& targetFolder,
                    PieceRoutes& routes, const Progress& progress, const platform::FolderHandle* target)
{
    int left = moved.size();
    const int total = package.items.size();
    // In the order of the moves. The failing item never moved, so this
    // covers exactly what this call moved. An item that cannot go back stays
    // in the package folder; it is named so that it is not lost from sight.
    for (const PackagablePtr& item : moved) {
        const QList<NativePath> levels = RelativePath::levelsOf(package.scannedFolder, *item);
        qint64 errorCode = 0;
        bool back = false;
        if (levels.size() == 1) {
            back = moveBack(targetFolder, item->nativeFileName(), item->nativeFilePath(), target, &errorCode);
        } else {
            back = movePieceBack(levels, routes, &errorCode);
        }
        if (!back) {
            errorString_ += MoveTexts::moveBackFailed(sourceText(*item),
                                                      destinationText(targetFolder, package.scannedFolder, *item),
                                                      errorCode)
                            + QStringLiteral("\r\n");
            leftItemsBehind_ = true;
            continue;
        }
        if (progress)
            progress(--left, total);
    }
}

bool Packager::movePieceBack(const QList<NativePath>& levels, PieceRoutes& routes, qint64* errorCode)
{
    QString line;
    const platform::FolderHandle* from = routes.holder(PieceRoutes::Side::Target, levels, false, &line);
    const platform::FolderHandle* to = from ? routes.holder(PieceRoutes::Side::Source, levels, false, &line) : nullptr;
    if (!to)
        return false;
    if (moveOverride())
        return moveEntry(from->path().child(levels.last()), to->path().child(levels.last()), errorCode);
    return from->moveTo(levels.last(), *to, levels.last(), errorCode);
}

} // namespace korvo
