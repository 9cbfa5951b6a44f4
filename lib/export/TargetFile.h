#pragma once

#include "DirectoryNode.h"
#include "Exporter.h"
#include "NativePath.h"

#include <QString>

#include <memory>

class QFileDevice;

namespace korvo::exporting {

// The file an export writes. The text is gathered in a buffer and goes to
// the file in large UTF-8 pieces. How it reaches the target depends on the
// mode and on what is there:
// - Replace, the usual case: a temporary file beside the target replaces it
//   only when the whole document has been written, so an existing file of
//   that name stays untouched by a failed export.
// - Replace onto a FIFO or device (or a link to one): written directly, as
//   such a node cannot be replaced and must stay what it is.
// - Replace of a writable file in a folder where no temporary file can be
//   made: the file itself is rewritten, so a failed export cannot keep its
//   older content; it holds what was written before the failure.
// - CreateNew: only a file that this export creates is written; after a
//   failure that file is removed again, and nothing that was there before is
//   ever touched.
class TargetFile
{
public:
    TargetFile(const NativePath& path, TargetMode mode);
    ~TargetFile();

    // Opens the target for writing the tree. Without a tree, fails before
    // touching the file; on any failure stores the reason and returns false.
    bool open(const DirectoryNodePtr& root, QString* errorString);

    // Text appended here is written by the flushes.
    QString& buffer() { return buffer_; }
    void flushIfFull()
    {
        if (buffer_.size() >= FlushSize)
            flush();
    }
    // Writes out the buffer; false once any write has failed.
    bool flush();
    bool failed() const { return failed_; }

    // Writes the rest and puts the file in place of the target. After any
    // failure discards what this export made instead and stores the reason.
    bool commit(QString* errorString);

private:
    // How the open file reaches the target.
    enum class Way {
        Replacing, // a QSaveFile: through a temporary file, or in place
        Direct,    // a FIFO or device, written as it is
        Created    // a new file made by this export
    };

    bool openReplacing(QString* errorString);
    bool openCreated(QString* errorString);
    bool finish();
    void discard();
    void recordFailure();

    static constexpr int FlushSize = 1 << 20;

    const NativePath path_;
    const TargetMode mode_;
    Way way_ = Way::Replacing;
    std::unique_ptr<QFileDevice> file_;
    QString buffer_;
    bool failed_ = false;
    QString reason_;
};

} // namespace korvo::exporting
