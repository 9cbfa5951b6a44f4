#include "TargetFile.h"

#include "Platform.h"

#include <QFile>
#include <QSaveFile>

namespace korvo::exporting {

namespace {

// The text used when a write fails and the file gives no reason of its own.
QString genericWriteError()
{
    return QStringLiteral("ファイルへの書き込みに失敗しました。");
}

void storeSystemError(qint64 code, QString* errorString)
{
    if (errorString)
        *errorString = platform::errorText(code);
}

} // namespace

TargetFile::TargetFile(const NativePath& path, TargetMode mode)
    : path_(path), mode_(mode)
{
}

TargetFile::~TargetFile()
{
    // Only an export that never reached commit gets here with an open file.
    if (file_ && file_->isOpen())
        discard();
}

bool TargetFile::open(const DirectoryNodePtr& root, QString* errorString)
{
    if (!root) {
        if (errorString)
            *errorString = QStringLiteral("エクスポートするツリーがありません。");
        return false;
    }
    const bool opened = mode_ == TargetMode::CreateNew ? openCreated(errorString) : openReplacing(errorString);
    if (opened)
        buffer_.reserve(FlushSize + FlushSize / 4);
    return opened;
}

bool TargetFile::openCreated(QString* errorString)
{
    auto file = std::make_unique<QFile>();
    qint64 code = 0;
    if (!platform::createNewFile(path_, *file, &code)) {
        storeSystemError(code, errorString);
        return false;
    }
    way_ = Way::Created;
    file_ = std::move(file);
    return true;
}

bool TargetFile::openReplacing(QString* errorString)
{
    auto special = std::make_unique<QFile>();
    qint64 code = 0;
    switch (platform::openSpecialFile(path_, *special, &code)) {
    case platform::SpecialFile::Opened:
        way_ = Way::Direct;
        file_ = std::move(special);
        return true;
    case platform::SpecialFile::Failed:
        storeSystemError(code, errorString);
        return false;
    case platform::SpecialFile::None:
        break;
    }

    // QSaveFile takes the name as text: a name whose bytes are no text would
    // be written under another name, so it is refused.
    const QString text = path_.toText();
    if (NativePath::fromText(text) != path_) {
        if (errorString)
            *errorString = QStringLiteral("文字として読めない名前のファイルには書き込めません。");
        return false;
    }
    auto file = std::make_unique<QSaveFile>(text);
    // Where the folder takes no temporary file but the file itself is
    // writable, the file is rewritten in place, as a plain save would do.
    file->setDirectWriteFallback(true);
    if (!file->open(QIODevice::WriteOnly)) {
        if (errorString)
            *errorString = file->errorString();
        return false;
    }
    way_ = Way::Replacing;
    file_ = std::move(file);
    return true;
}

void TargetFile::recordFailure()
{
    // Read the reason at once: later calls on the file clear it.
    if (!failed_ && file_->error() != QFileDevice::NoError)
        reason_ = file_->errorString();
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
    if (!failed_ && finish())
        return true;
    if (!failed_)
        recordFailure();
    discard();
    if (errorString)
        *errorString = reason_.isEmpty() ? genericWriteError() : reason_;
    return false;
}

// Puts the written document in place: the temporary file replaces the
// target, or the file written directly is closed (which reports a last
// failed write).
bool TargetFile::finish()
{
    if (way_ == Way::Replacing)
        return static_cast<QSaveFile&>(*file_).commit();
    file_->close();
    return file_->error() == QFileDevice::NoError;
}

// Drops what a failed export made: the temporary file, or the file this
// export created. A FIFO or device, and a file rewritten in place, are only
// closed.
void TargetFile::discard()
{
    switch (way_) {
    case Way::Replacing:
        static_cast<QSaveFile&>(*file_).cancelWriting();
        file_.reset(); // removes the temporary file
        break;
    case Way::Direct:
        file_->close();
        break;
    case Way::Created:
        platform::removeCreatedFile(path_, static_cast<QFile&>(*file_), nullptr);
        break;
    }
}

} // namespace korvo::exporting
