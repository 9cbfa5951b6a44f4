#pragma once

#include "DirectoryNode.h"
#include "FolderHandle.h"
#include "ImageFormat.h"
#include "Package.h"
#include "PackageNode.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QDir>
#include <QList>
#include <QString>

#include <functional>

namespace korvo {

class ChildIdentities;
class PieceRoutes;

// The engine object of packaging: it packs a scanned folder's top-level
// items (through the packer of the pack room) and moves the items of one
// package into a folder as one all-or-nothing step, which is what this
// class itself does. The numbered folders, journals and listings around
// that step are PackageMover's and PackageMoveJob's. On the caller's thread.
class Packager
{
public:
    Packager() = default;

    // Fills `packages` (cleared first) with the root's own files and folders
    // that fit the order's limit (Packer::pack): by size on disk, or with an
    // image format by what each takes in its package's image (ImageWeight).
    // `leftOut`, when given, receives the items that alone exceed the limit;
    // `lowerBound`, when given, at least how many packages any packing of the
    // others needs, weighed the same way (Packer::lowerBound). With `split`,
    // folders that do not fit are split into pieces. Always succeeds.
    bool pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root,
              QList<PackagePtr>& packages, QList<PackagablePtr>* leftOut = nullptr,
              ImageFormat image = ImageFormat::None, int* lowerBound = nullptr,
              SplitFolders split = SplitFolders::No);

    // Moves every item of the package into `targetDir` (an existing folder),
    // all or nothing: on the first failure the items already moved go back
    // and errorString() holds the line "Move failed. old:%1 new:%2
    // winError:%3.\r\n" with both paths and the system's error code. Should
    // an item fail to go back, a line "Move back failed. ..." with its old
    // and its present path follows for each such item.
    bool movePackage(const QDir& targetDir, const PackagePtr& package);
    // The same into a folder given by its exact path. With `scanned`, each
    // item is first checked to be the entry the scan saw (same identity and,
    // for a regular file, same size); one that is not fails the package with
    // a line naming it.
    // `progress`, when given, is told after each item moved and after each
    // one moved back (items in the target folder, package's item count).
    // With `target` (the open target folder), items are moved into that
    // open folder rather than by the path, and back out of it.
    using Progress = std::function<void(int done, int total)>;
    bool movePackage(const NativePath& targetFolder, const PackagePtr& package,
                     const ChildIdentities* scanned = nullptr, const Progress& progress = {},
                     const platform::FolderHandle* target = nullptr);

    QString errorString() const { return errorString_; }
    // True when the last failed move left items in the target folder that
    // could not go back (each is named in errorString()).
    bool leftItemsBehind() const { return leftItemsBehind_; }

    // For tests: the call that moves one entry, in place of the system's
    // no-replace move (an empty function restores it).
    using MoveFunction = std::function<bool(const NativePath& source, const NativePath& destination, qint64* code)>;
    static void setMoveFunction(const MoveFunction& move);

private:
    // A top-level item, moved by the paths or into the open target folder.
    bool moveTop(const iPackagable& item, const ChildIdentities* scanned, const NativePath& targetFolder,
                 const platform::FolderHandle* target);
    // A piece of a split folder, from the folder that holds it into the same
    // path below the target folder, whose missing folders are made.
    bool movePiece(const iPackagable& item, const QList<NativePath>& levels, PieceRoutes& routes);
    bool movePieceBack(const QList<NativePath>& levels, PieceRoutes& routes, qint64* errorCode);
    bool checkScanned(const iPackagable& item, const ChildIdentities& scanned);
    bool checkPiece(const iPackagable& item, const platform::FolderHandle& source, const NativePath& name);
    // The text of the item's place in the target folder, for the failure lines.
    QString destinationOf(const iPackagable& item) const;
    void undo(const QList<PackagablePtr>& moved, const Package& package, const NativePath& targetFolder,
              PieceRoutes& routes, const Progress& progress, const platform::FolderHandle* target);

    // Where the package being moved goes, for the failure lines.
    struct Destination
    {
        const NativePath& folder;
        const FolderPath& scannedFolder;
    };
    const Destination* destination_ = nullptr;
    QString errorString_;
    bool leftItemsBehind_ = false;
};

} // namespace korvo
