#pragma once

#include "ExtendedPath.h"
#include "NativePath.h"

#include <QDir>

namespace korvo::platform {

// A path as every Win32 call of the platform layer takes it: in the
// extended-length form (extendedLengthPath), a relative one made absolute
// against the current folder first. What has no such form ("C:a", "\a")
// goes to the system as it was given, with "\" separators. Used as the
// argument itself: WinPath(path) lives until the call returns.
class WinPath
{
public:
    explicit WinPath(const NativePath& path) : text_(convert(path.toText())) {}

    operator const wchar_t*() const { return reinterpret_cast<const wchar_t*>(text_.utf16()); }
    const QString& text() const { return text_; }

    static QString convert(const QString& path)
    {
        if (path.isEmpty())
            return path;
        QString extended = extendedLengthPath(path);
        // Only a path relative to the current folder: not "C:a" nor "\a".
        const bool relative = !(path.size() >= 2 && path.at(1) == QLatin1Char(':'))
                              && !path.startsWith(QLatin1Char('/')) && !path.startsWith(QLatin1Char('\\'));
        if (extended.isEmpty() && relative)
            extended = extendedLengthPath(QDir::current().absoluteFilePath(path));
        return extended.isEmpty() ? QDir::toNativeSeparators(path) : extended;
    }

private:
    QString text_;
};

} // namespace korvo::platform
