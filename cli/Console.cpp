#include "Console.h"

#include "Command.h"
#include "ConsoleText.h"

#include <QTextCodec>
#include <QTextDecoder>

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

namespace {

// The system's stream: the console window's text API when the stream is
// one that takes text, else the C library's stream, written as bytes.
class SystemDevice : public ConsoleDevice
{
public:
    SystemDevice(FILE* file) : file_(file), console_(file == stderr) {}

    bool takesText() const override { return console_.isOpen(); }
    void writeText(const QString& text) override
    {
        // Whatever went to the C library's stream before goes first.
        std::fflush(file_);
        if (!console_.write(text))
            writeBytes(text.toUtf8());
    }
    void writeBytes(const QByteArray& bytes) override { std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file_); }
    void flush() override { std::fflush(file_); }

private:
    FILE* file_;
    platform::ConsoleText console_;
};

} // namespace

ConsoleStream::ConsoleStream(FILE* file)
    : system_(new SystemDevice(file)), device_(system_),
      decoder_(QTextCodec::codecForName("UTF-8")->makeDecoder())
{
}

ConsoleStream::~ConsoleStream()
{
    delete decoder_;
    delete system_;
}

ConsoleStream& ConsoleStream::operator<<(const QString& text)
{
    if (device_->takesText())
        device_->writeText(text);
    else
        device_->writeBytes(text.toUtf8());
    return *this;
}

ConsoleStream& ConsoleStream::bytes(const QByteArray& bytes)
{
    // Bytes come in blocks (a spooled listing) that may end inside a
    // character: the decoder keeps such an end for the next block.
    if (device_->takesText())
        device_->writeText(decoder_->toUnicode(bytes));
    else
        device_->writeBytes(bytes);
    return *this;
}

void ConsoleStream::flush()
{
    device_->flush();
}

ConsoleDevice* ConsoleStream::setDevice(ConsoleDevice* device)
{
    ConsoleDevice* previous = device_ == system_ ? nullptr : device_;
    device_ = device ? device : system_;
    return previous;
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
