#include "LinuxTools.h"

#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

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

ToolRun runLinuxTool(const QString& name, const QStringList& arguments, const QString& folder)
{
    ToolRun run;
    const QString program = linuxTool(name);
    QProcess process;
    process.setProcessEnvironment(toolEnvironment());
#ifdef Q_OS_WIN
    // sh -c 'cd "$1" && shift && "$@" >out; echo $? >status' sh FOLDER TOOL ARGUMENTS...
    QTemporaryDir files;
    const QString shell = linuxTool(QStringLiteral("sh"));
    if (program.isEmpty() || shell.isEmpty() || !files.isValid())
        return run;
    const QString out = toolPath(files.filePath(QStringLiteral("out")));
    const QString status = toolPath(files.filePath(QStringLiteral("status")));
    const QString script = QStringLiteral("cd \"$1\" && shift && LC_ALL=C.UTF-8 \"$@\" >'%1'; echo $? >'%2.part' && mv '%2.part' '%2'")
                               .arg(out, status);
    QStringList shellArguments{QStringLiteral("-c"), script, QStringLiteral("sh"),
                               toolPath(folder.isEmpty() ? QDir::currentPath() : folder), toolPath(program)};
    process.setProgram(shell);
    process.setArguments(shellArguments + arguments);
    if (!process.startDetached())
        return run;
    const QDeadlineTimer deadline(120000);
    const QString statusFile = files.filePath(QStringLiteral("status"));
    while (!QFileInfo::exists(statusFile) && !deadline.hasExpired())
        QThread::msleep(50);
    bool ok = false;
    const int code = readAll(statusFile).trimmed().toInt(&ok);
    if (!ok)
        return run;
    run.exitCode = code;
    run.out = readAll(files.filePath(QStringLiteral("out")));
#else
    process.setWorkingDirectory(folder);
    process.start(program.isEmpty() ? name : program, arguments);
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
#endif
    return run;
}

} // namespace korvo::test
