#include "Spool.h"

#include "Console.h"

#include <QDir>

namespace korvo::cli {

namespace {

const int MemoryLimit = 1 << 20;

} // namespace

bool Spool::spill()
{
    if (!file_) {
        file_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/korvo-cli-XXXXXX"));
        if (!file_->open()) {
            error_ = QStringLiteral("cannot make a temporary file in %1: %2")
                         .arg(QDir::toNativeSeparators(QDir::tempPath()), file_->errorString());
            return false;
        }
    }
    if (file_->write(memory_) != memory_.size()) {
        error_ = QStringLiteral("cannot write the temporary file %1: %2")
                     .arg(QDir::toNativeSeparators(file_->fileName()), file_->errorString());
        return false;
    }
    memory_.clear();
    return true;
}

bool Spool::append(const QByteArray& bytes)
{
    if (!error_.isEmpty())
        return false;
    empty_ = empty_ && bytes.isEmpty();
    memory_ += bytes;
    return memory_.size() < MemoryLimit || spill();
}

bool Spool::printTo(ConsoleStream& stream)
{
    if (file_) {
        if (!file_->flush() || !file_->seek(0)) {
            error_ = file_->errorString();
            return false;
        }
        QByteArray block;
        while (!(block = file_->read(MemoryLimit)).isEmpty())
            stream.bytes(block);
        if (file_->error() != QFileDevice::NoError) {
            error_ = file_->errorString();
            return false;
        }
    }
    stream.bytes(memory_);
    return true;
}

} // namespace korvo::cli
