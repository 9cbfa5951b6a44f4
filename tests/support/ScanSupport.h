#pragma once

#include "DirectoryNode.h"
#include "Enumerate.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace korvo::test {

// Scans `path` synchronously with the given listing (on `threads` threads
// where it can use several; 0 for the default); `progress` (optional)
// receives the final record; `probe` (optional) tells the kinds of file
// systems in place of the system.
DirectoryNodePtr scanFolder(const QString& path, ListingMethod method = ListingMethod::Native,
                            EnumerateProgress* progress = nullptr, int threads = 0,
                            const FileSystemProbe& probe = FileSystemProbe());

// Every folder of a tree, the root first, parents before their subfolders.
QVector<DirectoryNodePtr> allFolders(const DirectoryNodePtr& root);

// Checks the four invariants of every folder; returns a description of the
// first violation, empty when there is none.
QString invariantViolation(const DirectoryNodePtr& root);

// Makes a file or folder whose name is given as raw bytes (possibly not
// valid UTF-8) inside `folder`.
bool writeRawFile(const QString& folder, const QByteArray& name, qint64 size);
bool makeRawFolder(const QString& folder, const QByteArray& name);

// Removes a folder and everything below it by exact names, relative to
// open folders, so that names that are not valid UTF-8 and paths longer than
// the system takes in one call go too (QTemporaryDir removes neither).
bool removeTree(const QString& path);

// Builds, below `root`, a chain of `levels` folders named "d", each inside
// the one before, made relative to open folders (the path soon outgrows what
// the system takes in one call). Level i (from 0) holds a file "f" of i + 1
// bytes and, with `teeth`, a folder "t" holding a one-byte file "g".
bool makeDeepTree(const QString& root, int levels, bool teeth);

// Runs `job` where file permissions hold and gives back what it returned:
// as root in a forked child that has become the user "nobody" (uid 65534),
// as any other user in this process. False (with `why`) when the child
// cannot be run. The child must not start threads before it returns.
bool runUnprivileged(const std::function<QByteArray()>& job, QByteArray* output, QString* why);

// Makes everything below `folder` (and the folder itself) the unprivileged
// user's and lets that user reach the folder, when running as root; true
// without changing anything otherwise.
bool handOverToUnprivilegedUser(const QString& folder);

// Copies `program` into `folder` (mode 0755) and gives the copy's path, empty
// when it cannot be copied. The unprivileged user may not reach the program
// where it was built (a clone in root's 0700 home): the copy, handed over
// with the test's folder, runs wherever the repository lies.
QString reachableCopy(const QString& program, const QString& folder);

} // namespace korvo::test
