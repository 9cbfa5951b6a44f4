#pragma once

#include "DirectoryNode.h"

#include <QString>

class QSaveFile;

namespace korvo::exporting {

// The file an export writes. The text is gathered in a buffer and goes to a
// temporary file beside the target in large UTF-8 pieces; the target is
// replaced only when the whole document has been written, so an existing
// file of that name stays untouched by a failed export.
class TargetFile
{
public:
    explicit TargetFile(const QString& path);
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
    // Marks the export as failed for a reason of its own.
    void fail(const QString& reason);

    // Writes the rest and puts the file in place of the target. After any
    // failure discards the temporary file instead and stores the reason.
    bool commit(QString* errorString);

private:
    void recordFailure();

    static constexpr int FlushSize = 1 << 20;

    QSaveFile* file_;
    QString buffer_;
    bool failed_ = false;
    QString reason_;
};

} // namespace korvo::exporting
