#pragma once

#include "NativePath.h"
#include "Platform.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

namespace korvo {

// What hashing one file gave: Opened with its 32-byte digest, Missing,
// NotAFile or Link as platform::openBelow says, Failed with the reason.
struct FileDigest
{
    platform::OpenResult result = platform::OpenResult::Failed;
    QByteArray digest;
    QString errorString;
};

// Hashes a list of files on several threads at once, each file read whole by
// one thread, so that a folder of many files takes every processor. The
// caller's thread only collects: it is told the bytes read as they are read
// and each outcome in the order of the list, whatever order the threads
// finish in; both callbacks run on the caller's thread.
namespace ParallelHasher {

// Told the number of bytes read since the last call.
using Progress = std::function<void(qint64 bytes)>;
// Takes the outcome of the file at `index`; false stops the hashing: files
// not yet begun are not read, and no later outcome is passed.
using Consumer = std::function<bool(int index, const FileDigest& outcome)>;

// Hashes the files at `relativePaths` (stored names joined by "/") below
// `folder`, never through a link, on `threads` threads (0: one per
// processor, never more than there are files). Returns once every outcome
// was taken or the consumer stopped, with every thread ended.
void hashFiles(const NativePath& folder, const QVector<QByteArray>& relativePaths, const Progress& progress,
               const Consumer& consumer, int threads = 0);

} // namespace ParallelHasher
} // namespace korvo
