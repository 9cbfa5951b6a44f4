#pragma once

#include "BaseFolder.h"
#include "DirectoryNode.h"
#include "FolderHandle.h"
#include "MoveJournal.h"
#include "NativePath.h"
#include "Package.h"
#include "Packager.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace korvo {

class PieceRoutes;

// One numbered package folder: its exact path and the texts shown for it.
struct PackageFolder
{
    int number = -1;
    NativePath path;     // base folder / N
    QString text;        // the package-folder text of the status lines
    NativePath listing;  // base folder / N.xml
    QString listingText;
    NativePath manifest; // base folder / N.sha256
    QString manifestText;
};

// The steps that move packages of a scanned folder into numbered folders,
// shared by the packaging dialog and korvo-cli move (through
// PackageMoveJob):
//   volume root / korvo_pack / order name / label / N   (listing N.xml beside N)
// A package only ever goes into a folder this mover has just created, and
// every path is built from exact paths; texts serve the messages only.
class PackageMover
{
public:
    PackageMover(const DirectoryNodePtr& root, const NativePath& volumeRoot, const QString& orderName,
                 const QString& label);

    const NativePath& baseFolder() const { return base_; }
    // The base folder text of the status lines, ending with a separator.
    QString baseFolderText() const { return baseText_; }

    // Opens the base folder level by level, making the levels that are
    // missing. False with the reason.
    bool openBaseFolder();
    const BaseFolder& base() const { return baseFolder_; }
    // Takes the open base folder's lock, or lets it go: while it is held no
    // other move, recovery or image works in the base folder. False with
    // the reason.
    bool lockBaseFolder();
    void unlockBaseFolder() { baseFolder_.unlock(); }

    // The largest number among the base folder's entries; 0 when the folder
    // does not exist. False, with the system's reason, when it exists but
    // cannot be listed: counting from 0 then could reuse numbers.
    bool findNumberBase(int* base);

    // The folder and listing of number N, as paths and texts; nothing is made.
    PackageFolder folderFor(int number) const;

    // The first number from `wanted` on whose folder and siblings (its
    // listing) are all free on disk and which `taken` (when given) does not
    // hold. False with the reason when a name cannot be looked up or no
    // number is left.
    bool findFreeNumber(int wanted, const std::function<bool(int)>& taken, int* number);

    // Makes the package's folder in the base folder (opened first when it is
    // not), exclusively: number `wanted` while it and its siblings are free, else
    // the next number that is. `folder` describes the folder made, or on
    // failure the number last tried.
    bool createPackageFolder(int wanted, PackageFolder* folder);

    // Moves the package's items into a folder made by createPackageFolder
    // (Packager::movePackage), checking each against the scan first. A
    // journal naming every item is written and synced before the first item
    // moves. On failure the undo has run, the folder is removed again when it
    // is empty (so that a retry takes the same number) and so is the journal,
    // unless items could not go back: then it stays for 'korvo-cli recover'.
    bool moveItems(const PackageFolder& folder, const PackagePtr& package, const Packager::Progress& progress = {});
    // Ends the package that moveItems moved last, once its listing and
    // manifest are written: syncs the package folder (and the folders made in
    // it for pieces of split folders), the items' old folders and the base
    // folder (one sync each for the moves, the listing and the manifest),
    // removes the split folders the move emptied, then removes the journal. On failure the journal stays, so
    // that 'korvo-cli recover' can put the package back whole.
    bool finishPackage(const PackageFolder& folder);

    // True when the last failed move left items in its folder that could
    // not go back; each is named in errorString().
    bool leftItemsBehind() const { return packager_.leftItemsBehind(); }
    // The reason of the last failure, one or more lines ending with CR LF.
    QString errorString() const { return errorString_; }

private:
    bool writeJournal(const PackageFolder& folder, const PackagePtr& package, MoveJournal* journal);
    bool readIdentity(const iPackagable& item, PieceRoutes& routes, MoveJournal::Item* entry);
    bool syncMoved(const PackageFolder& folder, const PackagePtr& package);
    bool syncPieceFolders(const PackageFolder& folder, const PackagePtr& package);
    void removeEmptiedFolders(const PackageFolder& folder, const Package& package);
    bool isFree(int number, bool* free);
    bool fail(const char* step, const NativePath& path, qint64 errorCode);
    bool outOfRange();
    bool noNumberLeft(int wanted);

    DirectoryNodePtr root_;
    NativePath volumeRoot_;
    NativePath base_;
    QList<NativePath> levels_; // the base folder below the volume root
    QString baseText_;
    // The base folder and the package folder last made, opened level by
    // level without following links: the package folder is made in the
    // one and the items move into the other.
    BaseFolder baseFolder_;
    platform::FolderHandle packageHandle_;
    PackagePtr moved_; // the package moveItems moved last
    Packager packager_;
    QString errorString_;
};

} // namespace korvo
