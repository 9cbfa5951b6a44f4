#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace korvo::test {

bool makeFolder(const QString& path)
{
    return QDir().mkpath(path);
}

bool writeFile(const QString& path, const QByteArray& content)
{
    if (!makeFolder(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(content) == content.size() && file.flush();
}

bool writeFile(const QString& path, qint64 size)
{
    QByteArray content(int(size), '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char('a' + i % 26);
    return writeFile(path, content);
}

bool runningAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

} // namespace korvo::test
