#pragma once

#include "ChecksumManifest.h"
#include "Exporter.h"
#include "Package.h"
#include "PackageMover.h"

#include <QString>

#include <functional>
#include <QStringList>

namespace korvo {

// What is written beside a moved package's folder, and the lines that say
// how each step of a move went: one writer and one wording for the
// packaging dialog and korvo-cli move alike. Every call is synchronous, on
// the caller's thread, and reads the tree: nothing may change it meanwhile.
namespace PackageListing {

// Writes the XML listing of a package that has moved into `folder` to
// folder.listing: under a temporary name first, synced, then moved to its
// name, which is never replaced; a killed process leaves no partial file
// under it.
// False with the reason when it could not be written. `progress`, when
// given, hears each new percentage of the export as it is written.
bool writeListing(const PackageFolder& folder, const PackagePtr& package, const XmlExporterSettings& settings,
                  QString* errorString, const std::function<void(qreal)>& progress = {});

// Writes the SHA-256 manifest of the moved package's folder to
// folder.manifest, in the same way. False with the reason.
bool writeManifest(const PackageFolder& folder, const ChecksumManifest::Progress& progress, QString* errorString);

// Puts a file written and closed under its temporary name in place: syncs
// it, then moves it to `path`, which is never replaced. On failure the
// temporary file is removed and `errorString` says why.
bool putInPlace(const NativePath& temporary, const NativePath& path, QString* errorString);

// The status lines of one package: while it moves, once it has moved, and
// when it failed (%3: the mover's reason, ending with CR LF).
QString movingLine(const PackageFolder& folder);
QString movedLine(const PackageFolder& folder);
QString failedLine(const QString& number, const QString& folderText, const QString& reason);

// The line of a package whose items all moved but whose last step (the
// final sync, or the removal of its journal) failed: it is not finished,
// and its journal stays for 'korvo-cli recover'.
QString unfinishedLine(const PackageFolder& folder, const QString& reason);

// The summary of a move that did not all succeed: the packages that failed
// to move, those that moved but whose listing or manifest failed, and those
// whose image failed. With `recoverFolder`, a journal stays there, and the
// last line says how to put its package back.
QString failureSummary(const QStringList& failedNumbers, const QStringList& unsavedNumbers,
                       const QStringList& imageFailedNumbers = QStringList(),
                       const QString& recoverFolder = QString());

// The line that tells how to undo the interrupted moves of a base folder.
QString recoverAdvice(const QString& baseFolderText);

// The lines that refuse a move into a base folder holding journals of
// interrupted moves (by name), ending with recoverAdvice().
QString interruptedLines(const QString& baseFolderText, const QStringList& journalNames);

// The line that refuses a journal korvo did not write for this user there,
// with the rule it breaks.
QString refusedJournalLine(const NativePath& journal, const QString& rule);

// The note on a package's line when its image is larger than the package
// size: the medium may not take it.
QString imageTooLargeNote(qint64 imageSize, qint64 orderSize);

// The word after "保存に" for a written or failed listing or manifest.
QString savedWord(bool written);
// The report of a listing or manifest: an empty line, its path, whether it
// was saved, and the reason (empty after a success).
QString savedReport(const QString& path, bool written, const QString& reason);

} // namespace PackageListing
} // namespace korvo
