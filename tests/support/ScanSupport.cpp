#include "ScanSupport.h"

#include <QDirIterator>
#include <QFile>

#include <atomic>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace korvo::test {

DirectoryNodePtr scanFolder(const QString& path, ListingMethod method, EnumerateProgress* progress)
{
    std::atomic<bool> cancel{false};
    EnumerateProgress record;
    EnumerateOptions options;
    options.method = method;
    DirectoryNodePtr root = enumerateTree(QDir(path), cancel, record, nullptr, options);
    if (progress)
        *progress = record;
    return root;
}

QVector<DirectoryNodePtr> allFolders(const DirectoryNodePtr& root)
{
    QVector<DirectoryNodePtr> folders;
    if (!root)
        return folders;
    folders.append(root);
    for (int i = 0; i < folders.size(); ++i) {
        const DirectoryNodePtr folder = folders.at(i);
        for (const DirectoryNodePtr& sub : folder->subdirectories())
            folders.append(sub);
    }
    return folders;
}

QString invariantViolation(const DirectoryNodePtr& root)
{
    for (const DirectoryNodePtr& d : allFolders(root)) {
        qint64 size = 0, sizeOnDisk = 0, totalSize = 0, totalSizeOnDisk = 0;
        qint32 files = d->fileCount(), folders = d->subdirectoryCount();
        for (const FileNodePtr& f : d->files()) {
            size += f->size();
            sizeOnDisk += f->sizeOnDisk();
        }
        totalSize = size;
        totalSizeOnDisk = sizeOnDisk;
        for (const DirectoryNodePtr& s : d->subdirectories()) {
            totalSize += s->totalSize();
            totalSizeOnDisk += s->totalSizeOnDisk();
            files += s->totalFileCount();
            folders += s->totalSubdirectoryCount();
            if (s->depth() != d->depth() + 1 || s->parent() != d)
                return QStringLiteral("%1: wrong depth or parent").arg(s->absoluteFilePath());
        }
        if (d->size() != size || d->sizeOnDisk() != sizeOnDisk)
            return QStringLiteral("%1: own sizes %2/%3, files sum to %4/%5")
                .arg(d->absoluteFilePath()).arg(d->size()).arg(d->sizeOnDisk()).arg(size).arg(sizeOnDisk);
        if (d->totalSize() != totalSize || d->totalSizeOnDisk() != totalSizeOnDisk)
            return QStringLiteral("%1: totals %2/%3, expected %4/%5")
                .arg(d->absoluteFilePath()).arg(d->totalSize()).arg(d->totalSizeOnDisk()).arg(totalSize)
                .arg(totalSizeOnDisk);
        if (d->totalFileCount() != files || d->totalSubdirectoryCount() != folders)
            return QStringLiteral("%1: counts %2/%3, expected %4/%5")
                .arg(d->absoluteFilePath()).arg(d->totalFileCount()).arg(d->totalSubdirectoryCount()).arg(files)
                .arg(folders);
    }
    return QString();
}

#ifndef Q_OS_WIN

bool writeRawFile(const QString& folder, const QByteArray& name, qint64 size)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

bool makeRawFolder(const QString& folder, const QByteArray& name)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    return ::mkdir(path.constData(), 0755) == 0;
}

bool runUnprivileged(const std::function<QByteArray()>& job, QByteArray* output, QString* why)
{
    if (::geteuid() != 0) {
        // Permissions already hold for this user.
        *output = job();
        return true;
    }
    int channel[2];
    if (::pipe(channel) != 0) {
        *why = QStringLiteral("pipe failed");
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        *why = QStringLiteral("fork failed");
        return false;
    }
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const QByteArray result = job();
        qint64 written = 0;
        while (written < result.size()) {
            const ssize_t n = ::write(channel[1], result.constData() + written, size_t(result.size() - written));
            if (n <= 0)
                ::_exit(4);
            written += n;
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, int(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *why = QStringLiteral("the unprivileged child failed (status %1)").arg(status);
        return false;
    }
    *output = result;
    return true;
}

bool handOverToUnprivilegedUser(const QString& folder)
{
    if (::geteuid() != 0)
        return true;
    const QByteArray top = QFile::encodeName(folder);
    bool ok = ::lchown(top.constData(), 65534, 65534) == 0 && ::chmod(top.constData(), 0755) == 0;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = ::lchown(QFile::encodeName(it.next()).constData(), 65534, 65534) == 0 && ok;
    return ok;
}

#else

bool handOverToUnprivilegedUser(const QString&) { return true; }

bool writeRawFile(const QString&, const QByteArray&, qint64) { return false; }
bool makeRawFolder(const QString&, const QByteArray&) { return false; }
bool runUnprivileged(const std::function<QByteArray()>&, QByteArray*, QString* why)
{
    *why = QStringLiteral("no user switching on this platform");
    return false;
}

#endif

} // namespace korvo::test
