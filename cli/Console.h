#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <type_traits>

namespace korvo::cli {

// One of the console's two streams. Everything korvo-cli says goes out
// through here, in UTF-8 whatever the locale (names and texts are Japanese
// as often as not), and reaches the system in one place (write): a text is
// never split across two writes there. Pieces go out as they come; stdout
// is buffered by the C library, stderr is not.
class ConsoleStream
{
public:
    explicit ConsoleStream(FILE* file) : file_(file) {}
    ConsoleStream(const ConsoleStream&) = delete;
    ConsoleStream& operator=(const ConsoleStream&) = delete;

    ConsoleStream& operator<<(const QString& text) { return bytes(text.toUtf8()); }
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
    // Bytes as they stand: a name's exact bytes, or text made UTF-8 already.
    ConsoleStream& bytes(const QByteArray& bytes);
    void flush();

private:
    FILE* file_;
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
