#pragma once

#include <QByteArray>
#include <QString>

class QTextDecoder;

#include <cstdio>
#include <type_traits>

namespace korvo::cli {

// Where one of the console's streams ends up: the system's stream, or a
// stand-in a test puts there (setDevice). A console window that takes text
// gets it as text (Windows' wide console API, whatever its code page);
// anything else, a file, a pipe or a terminal, gets UTF-8 bytes.
class ConsoleDevice
{
public:
    virtual ~ConsoleDevice() = default;
    virtual bool takesText() const = 0;
    virtual void writeText(const QString& text) = 0;
    virtual void writeBytes(const QByteArray& bytes) = 0;
    virtual void flush() = 0;
};

// One of the console's two streams. Everything korvo-cli says goes out
// through here, in UTF-8 whatever the locale (names and texts are Japanese
// as often as not) or as text to a console window, and reaches the system
// in one place (the device): a text is never split across two writes
// there. Pieces go out as they come; stdout is buffered by the C library,
// stderr is not.
class ConsoleStream
{
public:
    explicit ConsoleStream(FILE* file);
    ~ConsoleStream();
    ConsoleStream(const ConsoleStream&) = delete;
    ConsoleStream& operator=(const ConsoleStream&) = delete;

    ConsoleStream& operator<<(const QString& text);
    // A literal of the sources, which are UTF-8.
    ConsoleStream& operator<<(const char* text) { return bytes(QByteArray(text)); }
    ConsoleStream& operator<<(char c) { return bytes(QByteArray(1, c)); }
    template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>
                                                           && !std::is_same_v<Number, char>
                                                           && !std::is_same_v<Number, bool>>>
    ConsoleStream& operator<<(Number number)
    {
        return *this << QString::number(number);
    }
    // Bytes as they stand: a name's exact bytes, or text made UTF-8 already
    // (a console window gets them as the UTF-8 text they are).
    ConsoleStream& bytes(const QByteArray& bytes);
    void flush();

    // Puts `device` in the system's place (nullptr: the system again) and
    // gives the one it replaces; the stream does not own it.
    ConsoleDevice* setDevice(ConsoleDevice* device);

private:
    ConsoleDevice* system_;
    ConsoleDevice* device_;
    QTextDecoder* decoder_;
};

// stdout and stderr.
ConsoleStream& out();
ConsoleStream& err();

// Says what is wrong with a command's arguments on stderr, then `hint`
// (by default how to get the command's help), and gives the exit code for
// wrong usage.
int usageError(const QString& command, const QString& message, const QString& hint = QString());

// Says on stderr why a command failed ("korvo-cli COMMAND: why") and gives
// the exit code for a failure.
int failure(const QString& command, const QString& why);

// True when stderr is a terminal: progress lines are shown only there.
bool stderrIsTerminal();

// Writes one line to stderr, replacing the previous progress line.
void printProgressLine(const QString& text);
// Ends the progress line, leaving it on the terminal.
void endProgressLine();
// Removes the progress line from the terminal, leaving nothing behind.
void clearProgressLine();

} // namespace korvo::cli
