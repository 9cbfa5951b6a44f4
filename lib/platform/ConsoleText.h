#pragma once

#include <QString>

namespace korvo::platform {

// The console window behind a standard stream, when there is one that takes
// text rather than bytes: on Windows, a stream that is a console (not a file
// or pipe) is written through the console's wide API, so that every
// character shows whatever the console's code page. Elsewhere a terminal
// takes UTF-8 bytes, and there is none.
class ConsoleText
{
public:
    // The console of stdout (`standardError` false) or stderr, if that
    // stream is one; isOpen() is false otherwise.
    explicit ConsoleText(bool standardError);
    // Gives the console back the mode it had.
    ~ConsoleText();
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;

    bool isOpen() const { return handle_ != nullptr; }
    // Writes the whole text to the console; false when it cannot.
    bool write(const QString& text) const;

private:
    void* handle_ = nullptr;
    unsigned long mode_ = 0;
};

} // namespace korvo::platform
