#include "SettingsFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

} // namespace

QString settingsFolderFor(const QString& programFolder, const QString& userFolder)
{
    const QFileInfo info(programFolder);
    if (info.isDir() && info.isWritable() && !isSystemFolder(info.absoluteFilePath()))
        return programFolder;
    return userFolder;
}

QString settingsFolder()
{
    return settingsFolderFor(QCoreApplication::applicationDirPath(),
                             QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

} // namespace korvo
