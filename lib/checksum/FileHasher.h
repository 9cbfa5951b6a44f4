#pragma once

#include "NativePath.h"
#include "Platform.h"
#include "Sha256.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace korvo {

// Computes the SHA-256 of files, each read once from start to end in large
// blocks, so that files of many gigabytes take no more memory than one block.
class FileHasher
{
public:
    // Told the number of bytes of each block as it is read.
    using Progress = std::function<void(qint64 bytes)>;

    explicit FileHasher(Progress progress = Progress());

    // Hashes the file at `relativePath` below `folder`, never through a link
    // (platform::openBelow). Opened: `digest` holds the file's 32-byte
    // digest. Missing, NotAFile and Link as openBelow says; Failed:
    // `errorString` says why (also for a path holding a NUL, never opened).
    platform::OpenResult hash(const NativePath& folder, const QByteArray& relativePath, QByteArray& digest,
                              QString* errorString);

private:
    Progress progress_;
    QByteArray buffer_;
    Sha256 sha_;
};

} // namespace korvo
