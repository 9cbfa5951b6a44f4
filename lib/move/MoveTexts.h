#pragma once

#include "FolderPath.h"
#include "iPackagable.h"

#include "NativePath.h"
#include "Platform.h"

#include <QString>
#include <QStringList>

namespace korvo {

// Every sentence the move of packages, its journal, its recovery, its
// listings and images say, built in one place for the packaging dialog and
// korvo-cli alike, so that the two always say the same. Each line holding a
// path is built in one arg() call: a name holding "%1" stays as it is.
// Lines end without a line end unless their comment says otherwise.
namespace MoveTexts {

// A path as the lines show it: the system's own separators.
QString shown(const NativePath& path);
// A base folder text (which doubles its separator where there is no
// label) shown clean.
QString shownBase(const QString& baseFolderText);

// How a package is named in the lines: its folder number, or "#" and its
// row (1-based) when it got none.
QString packageName(int folderNumber, int index);

// Failures of one step, with the system's own code and text:
// "STEP failed. path:PATH winError:CODE (TEXT)."
QString failure(const char* step, const NativePath& path, qint64 errorCode);
// An item that could not move, or not go back: "Move failed. old:OLD
// new:NEW winError:CODE." and "Move back failed. old:OLD new:NEW
// winError:CODE.".
QString moveFailed(const QString& oldPath, const QString& newPath, qint64 errorCode);
QString moveBackFailed(const QString& oldPath, const QString& newPath, qint64 errorCode);
// An item that is no longer the one scanned.
QString itemReplaced(const QString& path);
QString itemSizeChanged(const QString& path, qint64 scanned, qint64 now);
// Two items of one package whose names the target folder takes for one
// (they differ only in case): the package is refused before any item moves.
QString caseTwins(const QString& firstPath, const QString& secondPath);

// Why a level of a base folder is not used; empty for one that may be.
QString levelRefusal(platform::FolderLevel level, const NativePath& path, qint64 errorCode);
// Another korvo works in the base folder.
QString folderBusy(const NativePath& baseFolder);

// The lines of one package: while it moves, once it has moved, when it
// failed (`reason` ends with CR LF), and when its items moved but it could
// not be finished.
QString movingLine(int number, const QString& folderText);
QString movedLine(int number, const QString& folderText);
QString failedLine(const QString& name, const QString& folderText, const QString& reason);
QString unfinishedLine(int number, const QString& folderText, const QString& reason);
// The line while a package's image is written.
QString imageStartedLine(const QString& imageText);

// The word after "保存に" for a written or failed listing, manifest or
// image, and the report of one: an empty line, its path, whether it was
// saved, and the reason (empty after a success).
QString savedWord(bool written);
QString savedReport(const QString& path, bool written, const QString& reason);
// The same on one line, as korvo-cli prints it: "PATH 保存にWORD".
QString savedLine(const QString& path, bool written);
// The note on a package's line when its image is larger than the package
// size: the medium may not take it.
QString imageTooLargeNote(qint64 imageSize, qint64 orderSize);

// What a move that did not all succeed says at its end: the packages that
// failed to move (or could not be finished), those whose listing or
// manifest failed, those whose image failed, whether items were left in a
// package folder, and, with `recoverFolder`, how to put back the package
// whose journal stays there. Lines joined by CR LF.
struct Summary
{
    QStringList failed;
    QStringList unsaved;
    QStringList imageFailed;
    bool leftItemsBehind = false;
    QString recoverFolder;
    bool isEmpty() const { return failed.isEmpty() && unsaved.isEmpty() && imageFailed.isEmpty(); }
};
QString summary(const Summary& summary);
// Every chosen package moved and was written.
QString allDone();
// The items a packing put in no package because each alone exceeds the
// limit: the line that counts them (empty when there are none), and the
// lines that name them by their paths below the scanned folder `top` with
// their sizes (a piece of a split folder by its whole path, as two pieces
// may share a name), at most `shown` of them and a line for the rest.
QString leftOutLine(int count);
QString leftOutItem(const QString& name, qint64 size);
QStringList leftOutLines(const QList<PackagablePtr>& items, const FolderPath& top, int shown);
// A stop ended the move before `left` packages.
QString stoppedLine(int left);

// How to undo the interrupted moves of a base folder.
QString recoverAdvice(const QString& baseFolderText);
// The lines that refuse a move into a base folder holding the journals of
// interrupted moves (by name), ending with recoverAdvice() and CR LF.
QString interruptedLines(const QString& baseFolderText, const QStringList& journalNames);
// A journal korvo did not write for this user, with the rule it breaks.
QString refusedJournalLine(const NativePath& journal, const QString& rule);

// The lines of recovery: an item, a kept record, a vanished folder.
QString itemLost(const QString& oldPath, const QString& newPath);
QString itemOldNameTaken(const QString& oldPath, const QString& newPath);
QString notKorvosFile(const NativePath& path);
QString keptBeside(const QStringList& names);
QString packageFolderGone(const QString& folderText);
QString levelIsLink(const NativePath& path);
// The first line of what recovery did with one journal.
QString recoveryHead(int number, const QString& folderText, int returned, bool undone);
QString imageRecoveryHead(int number, bool undone);
QString unfinishedJournalHead(int number);

} // namespace MoveTexts
} // namespace korvo
