#include "TreeInventory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvo::test {

namespace {

QString describe(const QFileInfo& info)
{
    if (info.isSymLink()) {
#ifndef Q_OS_WIN
        // The link's own text, not what it resolves to: a relative link
        // moved with its folder is unchanged.
        char target[4096];
        const ssize_t length =
            ::readlink(QFile::encodeName(info.absoluteFilePath()).constData(), target, sizeof target);
        return QStringLiteral("link -> %1").arg(QFile::decodeName(QByteArray(target, int(qMax<ssize_t>(length, 0)))));
#else
        return QStringLiteral("link -> %1").arg(info.symLinkTarget());
#endif
    }
    if (info.isDir())
        return QStringLiteral("dir");
#ifndef Q_OS_WIN
    // Never opened: a FIFO would wait for a writer, a device could act.
    struct stat node;
    if (::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &node) == 0 && !S_ISREG(node.st_mode))
        return S_ISFIFO(node.st_mode) ? QStringLiteral("fifo") : QStringLiteral("special");
#endif
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("file %1 unreadable").arg(info.size());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QStringLiteral("file %1 %2").arg(info.size()).arg(QString::fromLatin1(hash.result().toHex()));
}

} // namespace

QStringList treeInventory(const QString& folder)
{
    QStringList lines;
    const QDir base(folder);
    if (!base.exists())
        return lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        lines << base.relativeFilePath(info.absoluteFilePath()) + QLatin1Char('|') + describe(info);
    }
    lines.sort();
    return lines;
}

QStringList treeInventory(const QString& folder, const QStringList& topLevelNames)
{
    QStringList kept;
    for (const QString& line : treeInventory(folder)) {
        const QString path = line.left(line.lastIndexOf(QLatin1Char('|')));
        for (const QString& name : topLevelNames) {
            if (path == name || path.startsWith(name + QLatin1Char('/'))) {
                kept << line;
                break;
            }
        }
    }
    return kept;
}

#ifndef Q_OS_WIN

namespace {

QString exactName(const QByteArray& name)
{
    return QString::fromLatin1(name.toPercentEncoding(" /"));
}

QString describeExact(const QByteArray& path, const struct stat& info)
{
    if (S_ISLNK(info.st_mode)) {
        char target[4096];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        return QStringLiteral("link -> %1").arg(exactName(QByteArray(target, int(qMax<ssize_t>(length, 0)))));
    }
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("dir");
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("file %1 unreadable").arg(qint64(info.st_size));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        hash.addData(buffer, int(n));
    ::close(fd);
    return QStringLiteral("file %1 %2").arg(qint64(info.st_size)).arg(QString::fromLatin1(hash.result().toHex()));
}

void listExact(const QByteArray& folder, const QString& relative, QStringList& lines)
{
    DIR* stream = ::opendir(folder.constData());
    if (!stream)
        return;
    QList<QByteArray> names;
    while (const struct dirent* entry = ::readdir(stream)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(stream);
    for (const QByteArray& name : qAsConst(names)) {
        const QByteArray path = folder + '/' + name;
        const QString shown = relative.isEmpty() ? exactName(name) : relative + QLatin1Char('/') + exactName(name);
        struct stat info;
        if (::lstat(path.constData(), &info) != 0)
            continue;
        lines << shown + QLatin1Char('|') + describeExact(path, info);
        if (S_ISDIR(info.st_mode))
            listExact(path, shown, lines);
    }
}

} // namespace

QStringList exactTreeInventory(const QByteArray& folder)
{
    QStringList lines;
    listExact(folder, QString(), lines);
    lines.sort();
    return lines;
}

#else

QStringList exactTreeInventory(const QByteArray& folder)
{
    return treeInventory(QString::fromUtf8(folder));
}

#endif

QStringList movedInventory(const QStringList& before, const QString& from, const QStringList& names,
                           const QString& to)
{
    QStringList after;
    QStringList paths;
    for (const QString& line : before) {
        const int bar = line.lastIndexOf(QLatin1Char('|'));
        QString path = line.left(bar);
        for (const QString& name : names) {
            const QString moved = from + QLatin1Char('/') + name;
            if (path == moved || path.startsWith(moved + QLatin1Char('/'))) {
                path = to + path.mid(from.size());
                break;
            }
        }
        after << path + line.mid(bar);
        paths << path;
    }
    QString level;
    for (const QString& part : to.split(QLatin1Char('/'))) {
        level = level.isEmpty() ? part : level + QLatin1Char('/') + part;
        if (!paths.contains(level))
            after << level + QStringLiteral("|dir");
    }
    after.sort();
    return after;
}

} // namespace korvo::test
