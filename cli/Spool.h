#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

#include <memory>

namespace korvo::cli {

class ConsoleStream;

// Text put aside to be printed later, in the order added: in memory up to
// 1 MiB, then in a temporary file (removed when the spool goes), so that
// output of any length costs no more memory than that.
class Spool
{
public:
    // False, with errorString(), when the temporary file cannot be made or
    // written; nothing more is kept then.
    bool append(const QByteArray& bytes);
    bool isEmpty() const { return empty_; }
    // Writes everything kept to `stream`; false when it cannot be read back.
    bool printTo(ConsoleStream& stream);
    QString errorString() const { return error_; }

private:
    bool spill();

    QByteArray memory_;
    std::unique_ptr<QTemporaryFile> file_;
    bool empty_ = true;
    QString error_;
};

} // namespace korvo::cli
