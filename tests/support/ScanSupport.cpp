#include "ScanSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace korvo::test {

DirectoryNodePtr scanFolder(const QString& path, ListingMethod method, EnumerateProgress* progress, int threads,
                            const FileSystemProbe& probe)
{
    std::atomic<bool> cancel{false};
    EnumerateProgress record;
    EnumerateOptions options;
    options.method = method;
    options.threads = threads;
    options.fileSystemProbe = probe;
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

QString reachableCopy(const QString& program, const QString& folder)
{
    const QString copy = QDir(folder).filePath(QFileInfo(program).fileName());
    const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther;
    if (!QFile::copy(program, copy) || !QFile::setPermissions(copy, open))
        return QString();
    return copy;
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

namespace {

// Removes every entry of the open folder but its subfolders; gives the name
// of the first subfolder, empty when there is none.
QByteArray removeAllButFolders(int fd)
{
    QByteArray folder;
    const int listing = ::dup(fd);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir)
        return folder;
    while (const struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        struct stat info;
        if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(info.st_mode))
            ::unlinkat(fd, name, 0);
        else if (folder.isEmpty())
            folder = name;
    }
    ::closedir(dir);
    return folder;
}

} // namespace

bool removeTree(const QString& path)
{
    const QByteArray top = QFile::encodeName(path);
    int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    QVector<QByteArray> names; // the levels from the top down to fd
    for (;;) {
        const QByteArray folder = removeAllButFolders(fd);
        if (!folder.isEmpty()) {
            const int below = ::openat(fd, folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (below < 0) {
                ::close(fd);
                return false;
            }
            ::close(fd);
            fd = below;
            names.append(folder);
            continue;
        }
        if (names.isEmpty()) {
            ::close(fd);
            return ::rmdir(top.constData()) == 0;
        }
        const int above = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (above < 0 || ::unlinkat(above, names.takeLast().constData(), AT_REMOVEDIR) != 0) {
            if (above >= 0)
                ::close(above);
            return false;
        }
        fd = above;
    }
}

bool makeDeepTree(const QString& root, int levels, bool teeth)
{
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    auto writeAt = [](int folder, const char* name, qint64 size) {
        const int file = ::openat(folder, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok = file >= 0 && ::ftruncate(file, size) == 0;
        return (file < 0 || ::close(file) == 0) && ok;
    };
    bool ok = fd >= 0;
    for (int level = 0; ok && level < levels; ++level) {
        ok = writeAt(fd, "f", level + 1);
        if (ok && teeth) {
            ok = ::mkdirat(fd, "t", 0755) == 0;
            const int tooth = ok ? ::openat(fd, "t", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            ok = tooth >= 0 && writeAt(tooth, "g", 1);
            if (tooth >= 0)
                ::close(tooth);
        }
        const int below = ok && ::mkdirat(fd, "d", 0755) == 0
                              ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                              : -1;
        ::close(fd);
        fd = below;
        ok = fd >= 0;
    }
    if (fd >= 0)
        ::close(fd);
    return ok;
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
bool removeTree(const QString& path) { return QDir(path).removeRecursively(); }
bool makeDeepTree(const QString&, int, bool) { return false; }
bool runUnprivileged(const std::function<QByteArray()>&, QByteArray*, QString* why)
{
    *why = QStringLiteral("no user switching on this platform");
    return false;
}

#endif

} // namespace korvo::test
