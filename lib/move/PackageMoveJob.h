#pragma once

#include "ChecksumManifest.h"
#include "DirectoryNode.h"
#include "Exporter.h"
#include "ImageFormat.h"
#include "NativePath.h"
#include "Package.h"
#include "PackageMover.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

namespace korvo {

// The move room: packages of a packing move, each all or nothing even when
// the process dies, into numbered folders beside their listing, manifest
// and image (PackageMoveJob, on a worker: PackageMoveWorker), under a
// journal (MoveJournal) in a base folder that one writer holds at a time
// (BaseFolder); PackageRecovery undoes what a killed move left, and
// PackageCatalog finds a file's package from the listings. The names of the
// files kept beside a package are PackageFiles', every sentence is
// MoveTexts'. Every call changes the disk only through exact paths.

// What a package move is asked to do: the packages of one packing, each
// with its index in that packing (which gives its folder number), and what
// to write beside each moved package.
struct PackageMoveRequest
{
    DirectoryNodePtr root;   // the scanned folder; only read
    NativePath volumeRoot;   // where korvo_pack goes
    QString orderName;
    QString label;           // empty: no label level
    int numberBase = -1;     // the largest number already used; -1: the job finds it
    struct Chosen
    {
        int index = 0;       // 0-based index in the packing
        PackagePtr package;
    };
    QList<Chosen> packages;  // in the order they move
    bool listing = false;    // write N.xml beside each moved package
    XmlExporterSettings xmlSettings;
    bool checksums = false;  // write N.sha256 beside each moved package
    // Write N.iso or N.zip beside each moved package, after its listing and
    // manifest (the manifest goes inside it too). None by default; only
    // where ImageFormats::available().
    ImageFormat image = ImageFormat::None;
    qint64 orderSize = 0;    // the package size; an image above it is flagged (0: not checked)
    // The packing's items in no package (each alone exceeds the limit),
    // which the move's summary names again; they do not move.
    QList<PackagablePtr> leftOut;
    // Undo the interrupted moves found in the base folder first, under the
    // same lock, rather than refusing to start.
    bool undoInterrupted = false;
};

// What became of one package.
struct PackageMoveResult
{
    int index = 0;
    PackageFolder folder;        // number below 1 when none could be given
    bool moved = false;
    bool leftItemsBehind = false; // a failed move left items in its folder
    QString error;               // why it did not move, or why it could not be finished once
                                 // it had (lines ending with CR LF)
    bool journalLeft = false;    // its journal stays: 'korvo-cli recover' puts it back whole
    bool listingTried = false;
    bool listingWritten = false;
    QString listingError;
    bool manifestTried = false;
    bool manifestWritten = false;
    QString manifestError;
    bool imageTried = false;
    bool imageWritten = false;
    QString imageError;
    NativePath image;            // N.iso or N.zip beside the folder
    QString imageText;
    qint64 imageSize = 0;        // once written
    bool imageLargerThanOrder = false; // the medium of the order may not take it

    // True when the package moved and all it was asked to write was written.
    bool succeeded() const
    {
        return moved && error.isEmpty() && (!listingTried || listingWritten) && (!manifestTried || manifestWritten)
               && (!imageTried || imageWritten);
    }
};

// Told of each step of a PackageMoveJob, on the thread that runs the job.
// Every function has an empty default.
class PackageMoveObserver
{
public:
    virtual ~PackageMoveObserver() = default;
    // The package's folder has been made; its items are about to move.
    virtual void packageStarted(const PackageMoveResult& result) { Q_UNUSED(result) }
    // `done` of the package's `total` items have moved (also while undoing:
    // then `done` counts down).
    virtual void itemsMoved(int index, int done, int total) { Q_UNUSED(index) Q_UNUSED(done) Q_UNUSED(total) }
    // The listing is about to be written.
    virtual void listingStarted(const PackageMoveResult& result) { Q_UNUSED(result) }
    // How far the listing is written, in percent.
    virtual void listingProgress(qreal percent) { Q_UNUSED(percent) }
    // The manifest is about to be written, then its hashing progress.
    virtual void manifestStarted(const PackageMoveResult& result) { Q_UNUSED(result) }
    virtual void hashed(qint64 bytes, qint64 total) { Q_UNUSED(bytes) Q_UNUSED(total) }
    // The image is about to be written (after the listing and manifest,
    // whose outcomes `result` holds), then the bytes of files put into it.
    virtual void imageStarted(const PackageMoveResult& result) { Q_UNUSED(result) }
    virtual void imaged(qint64 bytes, qint64 total) { Q_UNUSED(bytes) Q_UNUSED(total) }
    // The package is done: moved (with its listing and manifest results) or
    // failed and undone. The caller may now take its items out of the tree,
    // on the thread that runs the job, before the next package starts.
    virtual void packageEnded(const PackageMoveResult& result) { Q_UNUSED(result) }
    // The interrupted moves found in the base folder were undone (or not),
    // before any package: the recovery's lines.
    virtual void interruptedUndone(bool allUndone, const QString& lines) { Q_UNUSED(allUndone) Q_UNUSED(lines) }
};

// Moves packages into numbered folders, one after another, each all or
// nothing even when the process dies: it opens the base folder level by
// level and holds its lock for the whole run; for each package it makes the
// numbered folder, writes a journal beside it (.N.korvo-move), moves the
// items with identity checks, writes the listing, manifest and image under
// temporary names and links them into place, syncs the folders, and only
// then removes the journal. A journal left by a killed process makes the
// job refuse to start (or, when asked, undo it first); PackageRecovery
// undoes it. The one move flow of the packaging dialog and korvo-cli move.
//
// Once every item of a package is in its folder, the package has moved:
// a listing, manifest or image that fails is reported with it and the
// package stays moved, its journal removed as usual. Only when the final
// sync or the journal's removal fails does the journal stay (journalLeft):
// the package is then reported as not finished, and the next move refuses
// to start until 'korvo-cli recover' has put it back.
//
// Threads: run() runs on one thread (the caller's or a worker), which also
// receives every observer call. The job reads the request's tree and
// packages and never changes them; nothing may change the tree while run()
// is inside a package (between packageEnded and the next package is the
// place). requestStop() and stopRequested() may be called from any thread
// (and requestStop() from a signal handler): the current package finishes
// or is undone, and no further package starts.
class PackageMoveJob
{
public:
    enum Outcome {
        Finished,     // every package was tried
        Stopped,      // a stop request ended the job between packages
        Refused,      // the base folder holds an interrupted move, or a journal korvo did
                      // not write; nothing moved
        BaseFailed    // the base folder could not be opened, read or locked; nothing moved
    };

    explicit PackageMoveJob(const PackageMoveRequest& request);

    void setObserver(PackageMoveObserver* observer) { observer_ = observer; }

    // Runs the whole job on the calling thread.
    Outcome run();

    void requestStop() { stop_.store(true); }
    bool stopRequested() const { return stop_.load(); }

    // After run(): each package tried, in order; the base folder text; and
    // for Refused or BaseFailed the reason (lines ending with CR LF). For
    // Refused, interruptedPackages() names the journals that recovery can
    // undo, journalRefused() tells whether any journal broke a rule (and
    // may not be undone), and undoFailed() whether an undo asked for left
    // anything.
    const QList<PackageMoveResult>& results() const { return results_; }
    QString baseFolderText() const { return mover_.baseFolderText(); }
    const NativePath& baseFolder() const { return mover_.baseFolder(); }
    QString errorString() const { return errorString_; }
    QStringList interruptedPackages() const { return interrupted_; }
    bool journalRefused() const { return journalRefused_; }
    bool undoFailed() const { return undoFailed_; }
    // The number base used (found or given).
    int numberBase() const { return base_; }
    // Stopped: the index of the first package that did not start.
    int stoppedBefore() const { return stoppedBefore_; }

private:
    PackageMoveResult runPackage(const PackageMoveRequest::Chosen& chosen);
    void writeListing(const PackageMoveRequest::Chosen& chosen, PackageMoveResult& result);
    void writeManifest(PackageMoveResult& result);
    void writeImage(PackageMoveResult& result);
    bool checkNoInterruptedMove();
    bool undoInterrupted(const QStringList& unfinished);
    void finishPackage(PackageMoveResult& result);

    PackageMoveRequest request_;
    PackageMover mover_;
    PackageMoveObserver* observer_ = nullptr;
    PackageMoveObserver noObserver_;
    std::atomic<bool> stop_{false};
    QList<PackageMoveResult> results_;
    QString errorString_;
    QStringList interrupted_;
    bool journalRefused_ = false;
    bool undoFailed_ = false;
    int base_ = 0;
    int stoppedBefore_ = -1;
};

} // namespace korvo
