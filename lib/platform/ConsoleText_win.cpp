#include "ConsoleText.h"

#include <windows.h>

namespace korvo::platform {

ConsoleText::ConsoleText(bool standardError)
{
    const HANDLE handle = GetStdHandle(standardError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Only a console has a console mode: a file or pipe fails here.
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return;
    handle_ = handle;
    mode_ = mode;
    // Progress lines erase themselves with "ESC [K", which a console
    // understands once asked to (Windows 10 and later; older ones show it),
    // for korvo-cli's run.
    SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

ConsoleText::~ConsoleText()
{
    if (handle_)
        SetConsoleMode(static_cast<HANDLE>(handle_), DWORD(mode_));
}

bool ConsoleText::write(const QString& text) const
{
    if (!handle_)
        return false;
    const wchar_t* units = reinterpret_cast<const wchar_t*>(text.utf16());
    // A console takes a limited amount at a time: in pieces, never
    // splitting a surrogate pair.
    for (int done = 0; done < text.size();) {
        int length = qMin(text.size() - done, 8192);
        if (length < text.size() - done && text.at(done + length - 1).isHighSurrogate())
            --length;
        DWORD written = 0;
        if (!WriteConsoleW(static_cast<HANDLE>(handle_), units + done, DWORD(length), &written, nullptr) || written == 0)
            return false;
        done += int(written);
    }
    return true;
}

} // namespace korvo::platform
