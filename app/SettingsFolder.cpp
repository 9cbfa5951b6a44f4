#include "SettingsFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace korvo {

namespace {

bool isSystemFolder(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false;
#else
    const QString path = QDir::cleanPath(folder) + QLatin1Char('/');
    return path.startsWith(QLatin1String("/usr/")) || path.startsWith(QLatin1String("/bin/"))
        || path.startsWith(QLatin1String("/sbin/"));
#endif
}

bool isBelow(const QString& folder, const QStringList& parents)
{
    const QString path = QDir::cleanPath(QDir::fromNativeSeparators(folder)) + QLatin1Char('/');
    for (const QString& parent : parents) {
        const QString cleaned = QDir::cleanPath(QDir::fromNativeSeparators(parent));
#ifdef Q_OS_WIN
        const Qt::CaseSensitivity cases = Qt::CaseInsensitive;
#else
        const Qt::CaseSensitivity cases = Qt::CaseSensitive;
#endif
        if (!cleaned.isEmpty() && path.startsWith(cleaned + QLatin1Char('/'), cases))
            return true;
    }
    return false;
}

// Whether a file can be made in the folder, tried: the permission bits (and
// on Windows Qt's isWritable(), which ignores access rules) do not tell.
bool canWriteIn(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.korvo-settings-XXXXXX"));
    return probe.open() && probe.write("k", 1) == 1 && probe.flush();
}

} // namespace

QString settingsFolderFor(const QString& programFolder, const QString& userFolder, const QStringList& installFolders)
{
    const QFileInfo info(programFolder);
    if (info.isDir() && !isSystemFolder(info.absoluteFilePath()) && !isBelow(info.absoluteFilePath(), installFolders)
        && canWriteIn(info.absoluteFilePath()))
        return programFolder;
    return userFolder;
}

QStringList installFolders()
{
    QStringList folders;
#ifdef Q_OS_WIN
    for (const char* name : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"}) {
        const QString folder = qEnvironmentVariable(name);
        if (!folder.isEmpty())
            folders << folder;
    }
#endif
    return folders;
}

QString settingsFolder()
{
    // %LOCALAPPDATA% on Windows, ~/.config on Linux, with korvo's folder in it.
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/korvo");
    return settingsFolderFor(QCoreApplication::applicationDirPath(), QDir::toNativeSeparators(user), installFolders());
}

} // namespace korvo
