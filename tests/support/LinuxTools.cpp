#include "LinuxTools.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace korvo::test {

namespace {

#ifdef Q_OS_WIN
// Wine's own export: the Unix path of a Windows path, or null outside Wine.
using UnixFileName = char* (*)(const wchar_t*);

UnixFileName unixFileName()
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<UnixFileName>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                  : nullptr;
}
#endif

} // namespace

QString linuxTool(const QString& name)
{
#ifdef Q_OS_WIN
    if (!unixFileName())
        return QString();
    for (const char* folder : {"Z:/usr/bin/", "Z:/bin/"}) {
        const QString program = QLatin1String(folder) + name;
        if (QFileInfo(program).isFile())
            return program;
    }
    return QString();
#else
    return QStandardPaths::findExecutable(name);
#endif
}

QString toolPath(const QString& path)
{
#ifdef Q_OS_WIN
    const UnixFileName convert = unixFileName();
    if (!convert)
        return path;
    char* unix = convert(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()));
    if (!unix)
        return path;
    const QString converted = QString::fromUtf8(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return converted;
#else
    return path;
#endif
}

} // namespace korvo::test
