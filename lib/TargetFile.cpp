#include "TargetFile.h"

#include <QSaveFile>

namespace korvo::exporting {

namespace {

// The text used when a write fails and the file gives no reason of its own.
QString genericWriteError()
{
    return QStringLiteral("ファイルへの書き込みに失敗しました。");
}

} // namespace

TargetFile::TargetFile(const QString& path)
    : file_(new QSaveFile(path))
{
}

TargetFile::~TargetFile()
{
    // An uncommitted temporary file is removed here.
    delete file_;
}

bool TargetFile::open(const DirectoryNodePtr& root, QString* errorString)
{
    if (!root) {
        if (errorString)
            *errorString = QStringLiteral("エクスポートするツリーがありません。");
        return false;
    }
    if (file_->open(QIODevice::WriteOnly)) {
        buffer_.reserve(FlushSize + FlushSize / 4);
        return true;
    }
    if (errorString)
        *errorString = file_->errorString();
    return false;
}

void TargetFile::recordFailure()
{
    // Read the reason at once: later calls on the file clear it.
    if (!failed_ && file_->error() != QFileDevice::NoError)
        reason_ = file_->errorString();
    failed_ = true;
}

void TargetFile::fail(const QString& reason)
{
    if (!failed_)
        reason_ = reason;
    failed_ = true;
}

bool TargetFile::flush()
{
    if (failed_)
        return false;
    if (buffer_.isEmpty())
        return true;
    const QByteArray bytes = buffer_.toUtf8();
    buffer_.resize(0);
    // A short write (a disk filling up) is retried, so that the next write
    // fails with the system's reason.
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = file_->write(data, left);
        if (written <= 0) {
            recordFailure();
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool TargetFile::commit(QString* errorString)
{
    if (flush() && !file_->flush())
        recordFailure();
    if (!failed_ && file_->commit())
        return true;
    if (!failed_)
        recordFailure();
    file_->cancelWriting();
    if (errorString)
        *errorString = reason_.isEmpty() ? genericWriteError() : reason_;
    return false;
}

} // namespace korvo::exporting
