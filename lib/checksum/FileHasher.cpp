#include "FileHasher.h"

#include <QFile>

namespace korvo {

namespace {

// Large enough that the system calls cost nothing next to the hashing,
// small enough to stay in the processor's cache between read and hash.
const int BlockSize = 1 << 20;

} // namespace

FileHasher::FileHasher(Progress progress) : progress_(std::move(progress)), buffer_(BlockSize, Qt::Uninitialized)
{
}

platform::OpenResult FileHasher::hash(const NativePath& folder, const QByteArray& relativePath, QByteArray& digest,
                                      QString* errorString)
{
    // The system reads a name up to its first NUL: "a\0b" would open "a".
    if (relativePath.contains('\0')) {
        if (errorString)
            *errorString = QStringLiteral("the path holds a NUL byte, which no file name can");
        return platform::OpenResult::Failed;
    }
    QFile file;
    qint64 code = 0;
    const platform::OpenResult opened = platform::openBelow(folder, relativePath, file, &code);
    if (opened != platform::OpenResult::Opened) {
        if (opened == platform::OpenResult::Failed && errorString)
            *errorString = platform::errorText(code);
        return opened;
    }
    char* const block = buffer_.data();
    for (;;) {
        const qint64 length = file.read(block, BlockSize);
        if (length < 0) {
            sha_.result(); // start over for the next file
            if (errorString)
                *errorString = file.errorString();
            return platform::OpenResult::Failed;
        }
        if (length == 0)
            break;
        sha_.addData(block, length);
        if (progress_)
            progress_(length);
    }
    digest = sha_.result();
    return platform::OpenResult::Opened;
}

} // namespace korvo
