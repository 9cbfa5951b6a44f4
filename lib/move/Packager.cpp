#include "Packager.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "ImageWeight.h"
#include "MoveTexts.h"
#include "NameCase.h"
#include "Platform.h"

#include <QHash>

namespace korvo {

bool Packager::pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root,
                    QList<PackagePtr>& packages, QList<PackagablePtr>* leftOut, ImageFormat image, int* lowerBound)
{
    errorString_.clear();
    // One measure for both: it weighs each item once.
    const PackMeasure measure = ImageWeight::measure(image);
    if (lowerBound)
        *lowerBound = Packer::lowerBound(packageOrder, root, measure);
    Packer::pack(packageOrder, sort, root, packages, leftOut, measure);
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

// The text of an item's place in the target folder, for messages.
// Paths in the failure lines are in the system's own form (`\` on Windows).
QString destinationText(const NativePath& targetFolder, const iPackagable& item)
{
    return QDir::toNativeSeparators(QDir(targetFolder.toText()).absoluteFilePath(item.fileName()));
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
        const iPackagable*& first = seen[platform::caseFoldedName(item->fileName())];
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
    QList<PackagablePtr> moved;
    for (const PackagablePtr& item : package->items) {
        if (!item) {
            errorString_ = QStringLiteral("Move failed: the package holds an empty item.\r\n");
            break;
        }
        const NativePath source = item->nativeFilePath();
        if (scanned && !checkScanned(*item, *scanned, targetFolder))
            break;
        qint64 errorCode = 0;
        if (!moveIn(source, targetFolder, item->nativeFileName(), target, &errorCode)) {
            errorString_ = MoveTexts::moveFailed(sourceText(*item), destinationText(targetFolder, *item), errorCode) + QStringLiteral("\r\n");
            break;
        }
        moved.append(item);
        if (progress)
            progress(moved.size(), package->items.size());
    }
    if (errorString_.isEmpty())
        return true;
    undo(moved, targetFolder, progress, package->items.size(), target);
    return false;
}

bool Packager::checkScanned(const iPackagable& item, const ChildIdentities& scanned, const NativePath& targetFolder)
{
    FileIdentity recorded;
    if (!scanned.find(&item, &recorded))
        return true; // nothing recorded: a tree built without the disk
    FileIdentity identity;
    EntryKind kind = EntryKind::Other;
    qint64 size = 0;
    qint64 errorCode = 0;
    if (!platform::identityOf(item.nativeFilePath(), &identity, &kind, &size, &errorCode)) {
        errorString_ = MoveTexts::moveFailed(sourceText(item), destinationText(targetFolder, item), errorCode) + QStringLiteral("\r\n");
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

void Packager::undo(const QList<PackagablePtr>& moved, const NativePath& targetFolder, const Progress& progress,
                    int total, const platform::FolderHandle* target)
{
    int left = moved.size();
    // In the order of the moves. The failing item never moved, so this
    // covers exactly what this call moved. An item that cannot go back stays
    // in the package folder; it is named so that it is not lost from sight.
    for (const PackagablePtr& item : moved) {
        qint64 errorCode = 0;
        if (!moveBack(targetFolder, item->nativeFileName(), item->nativeFilePath(), target, &errorCode)) {
            errorString_ += MoveTexts::moveBackFailed(sourceText(*item), destinationText(targetFolder, *item), errorCode)
                            + QStringLiteral("\r\n");
            leftItemsBehind_ = true;
            continue;
        }
        if (progress)
            progress(--left, total);
    }
}

} // namespace korvo
