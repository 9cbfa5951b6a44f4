#include "Console.h"

#include "Command.h"

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace korvo::cli {

namespace {

bool progressLineOpen = false;

// Ends the open progress line, if any, with `ending`.
void closeProgressLine(const char* ending)
{
    if (!progressLineOpen)
        return;
    err() << ending;
    err().flush();
    progressLineOpen = false;
}

} // namespace

ConsoleStream& ConsoleStream::bytes(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file_);
    return *this;
}

void ConsoleStream::flush()
{
    std::fflush(file_);
}

ConsoleStream& out()
{
    static ConsoleStream stream(stdout);
    return stream;
}

ConsoleStream& err()
{
    static ConsoleStream stream(stderr);
    return stream;
}

int usageError(const QString& command, const QString& message, const QString& hint)
{
    err() << "korvo-cli " << command << ": " << message << "\n"
          << (hint.isEmpty() ? QStringLiteral("Try 'korvo-cli %1 --help'.\n").arg(command) : hint);
    err().flush();
    return UsageError;
}

int failure(const QString& command, const QString& why)
{
    err() << "korvo-cli " << command << ": " << why << "\n";
    err().flush();
    return Failure;
}

bool stderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

void printProgressLine(const QString& text)
{
    err() << "\r\033[K" << text;
    err().flush();
    progressLineOpen = true;
}

void endProgressLine()
{
    closeProgressLine("\n");
}

void clearProgressLine()
{
    closeProgressLine("\r\033[K");
}

} // namespace korvo::cli
