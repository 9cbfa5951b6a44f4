#include "ChildIdentities.h"
#include "DirectoryNode.h"
#include "Enumerate.h"
#include "FileNode.h"
#include "PackageMover.h"
#include "PackageListing.h"
#include "Packager.h"
#include "Platform.h"
#include "ScanSupport.h"
#include "TestSupport.h"
#include "TreeInventory.h"

#include <QScopeGuard>
#include <QtTest>

#include <algorithm>

#include <cerrno>
#include <functional>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

// The top-level items of the test folder, in package order: files and
// folders mixed, hidden ones and odd names among them.
struct ItemSpec
{
    QString name;
    bool folder;
};

const QList<ItemSpec>& packageItems()
{
    static const QList<ItemSpec> items = {
        {QStringLiteral("plain.txt"), false},
        {QStringLiteral("folder"), true},
        {QStringLiteral(".hidden"), false},
        {QStringLiteral("名前 with space.dat"), false},
        {QStringLiteral(".hidden dir"), true},
        {QStringLiteral("-dash"), false},
        {QStringLiteral("50%1 done"), false}, // a message must not take "%1" for a placeholder
#ifndef Q_OS_WIN
        {QStringLiteral("back\\slash"), false},
#endif
        {QStringLiteral("z nested"), true},
    };
    return items;
}

// Fills `folder` with the package items plus two that stay behind.
bool makeSourceTree(const QString& folder)
{
    bool ok = true;
    ok &= writeFile(folder + QStringLiteral("/plain.txt"), 1000);
    ok &= writeFile(folder + QStringLiteral("/folder/a.txt"), 5000);
    ok &= writeFile(folder + QStringLiteral("/folder/.hidden inner"), QByteArray("secret"));
    ok &= writeFile(folder + QStringLiteral("/folder/sub/b.bin"), 70000);
    ok &= writeFile(folder + QStringLiteral("/folder/sub/deeper/c.dat"), 3);
    ok &= makeFolder(folder + QStringLiteral("/folder/empty"));
    ok &= writeFile(folder + QStringLiteral("/.hidden"), QByteArray("hidden top-level file"));
    ok &= writeFile(folder + QStringLiteral("/名前 with space.dat"), 4097);
    ok &= writeFile(folder + QStringLiteral("/.hidden dir/x"), 12);
    ok &= writeFile(folder + QStringLiteral("/-dash"), 0);
    ok &= writeFile(folder + QStringLiteral("/50%1 done"), 15);
#ifndef Q_OS_WIN
    ok &= writeFile(folder + QStringLiteral("/back\\slash"), 77);
    ok &= ::symlink("a.txt", QFile::encodeName(folder + QStringLiteral("/folder/link")).constData()) == 0;
#endif
    ok &= writeFile(folder + QStringLiteral("/z nested/1/2/3/4/leaf.txt"), 9000);
    ok &= writeFile(folder + QStringLiteral("/z nested/1/.h"), 1);
    ok &= writeFile(folder + QStringLiteral("/stay.txt"), 300);
    ok &= writeFile(folder + QStringLiteral("/stay dir/s"), 400);
    return ok;
}

DirectoryNodePtr scan(const QString& folder)
{
    std::atomic<bool> cancel{false};
    EnumerateProgress progress;
    return enumerateTree(QDir(folder), cancel, progress);
}

PackagablePtr findItem(const DirectoryNodePtr& root, const QString& name)
{
    for (const FileNodePtr& file : root->files()) {
        if (file->fileName() == name)
            return file;
    }
    for (const DirectoryNodePtr& folder : root->subdirectories()) {
        if (folder->fileName() == name)
            return folder;
    }
    return PackagablePtr();
}

PackagePtr packageOf(const QList<PackagablePtr>& items)
{
    PackagePtr package(new Package);
    package->packageOrder = PackageOrder(700000000, QStringLiteral("CD"));
    for (const PackagablePtr& item : items) {
        package->items << item;
        package->size += item->totalSize();
        package->sizeOnDisk += item->totalSizeOnDisk();
    }
    return package;
}

QStringList itemNames()
{
    QStringList names;
    for (const ItemSpec& item : packageItems())
        names << item.name;
    return names;
}

// An item that is neither kind of node, with free paths: lets a test reach
// cases a scanned tree never produces.
class PathItem : public iPackagable
{
public:
    PathItem(const QString& path, const QString& name) : path_(path), name_(name) {}
    QString absoluteFilePath() const override { return path_; }
    QString fileName() const override { return name_; }
    qint64 totalSize() const override { return 0; }
    qint64 totalSizeOnDisk() const override { return 0; }

private:
    QString path_;
    QString name_;
};

#ifndef Q_OS_WIN
// An item known by its exact path, which need not be valid UTF-8.
class ExactItem : public iPackagable
{
public:
    ExactItem(const QByteArray& folder, const QByteArray& name) : folder_(folder), name_(name) {}
    QString absoluteFilePath() const override { return nativeFilePath().toText(); }
    QString fileName() const override { return nativeFileName().toText(); }
    qint64 totalSize() const override { return 0; }
    qint64 totalSizeOnDisk() const override { return 0; }
    NativePath nativeFilePath() const override { return NativePath::fromBytes(folder_ + '/' + name_); }
    NativePath nativeFileName() const override { return NativePath::fromBytes(name_); }

private:
    QByteArray folder_;
    QByteArray name_;
};

// The file and folder with names that are not valid UTF-8, each beside an
// entry whose name shows alike, with contents of different sizes.
bool makeLookalikes(const QString& source, const QByteArray& file, const QByteArray& folder)
{
    const QByteArray lookalike("\xef\xbf\xbd");
    const QByteArray inside = QFile::encodeName(source) + '/' + folder + "/in";
    const int fd = makeFolder(source) && makeRawFolder(source, folder)
                       ? ::open(inside.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)
                       : -1;
    const bool written = fd >= 0 && ::write(fd, "inside", 6) == 6;
    return fd >= 0 && ::close(fd) == 0 && written && writeRawFile(source, file, 3)
           && writeRawFile(source, QByteArray(file).replace('\xff', lookalike), 9)
           && writeFile(source + QLatin1Char('/') + QString::fromUtf8(QByteArray(folder).replace('\xfe', lookalike))
                            + QStringLiteral("/in"),
                        7);
}
#endif

// The system's code for a destination that exists already.
#ifdef Q_OS_WIN
const qint64 AlreadyExists = ERROR_ALREADY_EXISTS;
#else
const qint64 AlreadyExists = EEXIST;
#endif

struct MoveOutcome
{
    bool ok = false;
    QString errorString;
};

#ifndef Q_OS_WIN
bool nobodyIds(uid_t* uid, gid_t* gid)
{
    const struct passwd* entry = ::getpwnam("nobody");
    if (!entry)
        return false;
    *uid = entry->pw_uid;
    *gid = entry->pw_gid;
    return true;
}

bool chownTree(const QString& folder, uid_t uid, gid_t gid)
{
    bool ok = ::lchown(QFile::encodeName(folder).constData(), uid, gid) == 0;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok &= ::lchown(QFile::encodeName(it.next()).constData(), uid, gid) == 0;
    return ok;
}

// Runs `work` in a child process that has given up root for "nobody", so
// that permission checks apply. The child's result and text come back
// through its exit code and a pipe.
MoveOutcome runAsNobody(const std::function<bool(QString*)>& work)
{
    MoveOutcome outcome;
    uid_t uid;
    gid_t gid;
    int fds[2];
    if (!nobodyIds(&uid, &gid) || ::pipe(fds) != 0) {
        outcome.errorString = QStringLiteral("no user nobody or no pipe");
        return outcome;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(3);
        QString text;
        const bool ok = work(&text);
        const QByteArray bytes = text.toUtf8();
        qint64 written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(fds[1], bytes.constData() + written, size_t(bytes.size() - written));
            if (n <= 0)
                break;
            written += n;
        }
        ::close(fds[1]);
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        bytes.append(buffer, int(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    outcome.errorString = QString::fromUtf8(bytes);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        outcome.errorString = QStringLiteral("the child could not drop its privileges");
    return outcome;
}

// Lets "nobody" reach and change everything below the temporary folder.
bool handOverToNobody(const QString& folder)
{
    uid_t uid;
    gid_t gid;
    return nobodyIds(&uid, &gid) && chownTree(folder, uid, gid) &&
           ::chmod(QFile::encodeName(folder).constData(), 0755) == 0;
}

// A tmpfs mounted for one test, unmounted when the test ends.
struct TmpfsMount
{
    QString path;
    bool mounted = false;
    explicit TmpfsMount(const QString& where) : path(where)
    {
        makeFolder(path);
        mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=16m") == 0;
    }
    ~TmpfsMount()
    {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
};
#endif

// The platform's moves, given paths as texts.
bool moveWithoutReplacing(const QString& source, const QString& destination, qint64* code)
{
    return platform::moveWithoutReplacing(NativePath::fromText(source), NativePath::fromText(destination), code);
}

#ifndef Q_OS_WIN
bool moveByLinking(const QString& source, const QString& destination, qint64* code)
{
    return platform::moveByLinking(NativePath::fromText(source), NativePath::fromText(destination), code);
}
#endif

QString moveFailedLine(const QString& source, const QString& destination, qint64 code)
{
    return QStringLiteral("Move failed. old:") + QDir::toNativeSeparators(source) + QStringLiteral(" new:")
           + QDir::toNativeSeparators(destination)
           + QStringLiteral(" winError:") + QString::number(code) + QStringLiteral(".\r\n");
}

} // namespace

class PackageMoveTest : public QObject
{
    Q_OBJECT
private slots:
    // Every item moves, every byte arrives, and after remove() the tree's
    // figures are lower by exactly the package's.
    void movesWholePackage()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString source = temp.filePath(QStringLiteral("src"));
        const QString target = temp.filePath(QStringLiteral("target"));
        QVERIFY(makeSourceTree(source));
        QVERIFY(makeFolder(target));
        const DirectoryNodePtr root = scan(source);
        QVERIFY(root);

        QList<PackagablePtr> items;
        qint32 files = 0, folders = 0;
        for (const ItemSpec& spec : packageItems()) {
            items << findItem(root, spec.name);
            QVERIFY2(items.last(), qPrintable(spec.name));
            if (const DirectoryNodePtr folder = items.last().dynamicCast<DirectoryNode>()) {
                files += folder->totalFileCount();
                folders += folder->totalSubdirectoryCount() + 1;
            } else {
                files += 1;
            }
        }
        const PackagePtr package = packageOf(items);
        const QStringList moved = treeInventory(source, itemNames());
        const QStringList stays = treeInventory(source, {QStringLiteral("stay.txt"), QStringLiteral("stay dir")});
        QCOMPARE(moved.size() + stays.size(), treeInventory(source).size());

        const qint64 totalSize = root->totalSize();
        const qint64 totalSizeOnDisk = root->totalSizeOnDisk();
        const qint32 totalFiles = root->totalFileCount();
        const qint32 totalFolders = root->totalSubdirectoryCount();

        Packager packager;
        QVERIFY2(packager.movePackage(QDir(target), package), qPrintable(packager.errorString()));
        QVERIFY(packager.errorString().isEmpty());
        QCOMPARE(treeInventory(target), moved);
        QCOMPARE(treeInventory(source), stays);

        root->remove(package);
        QCOMPARE(root->totalSize(), totalSize - package->size);
        QCOMPARE(root->totalSizeOnDisk(), totalSizeOnDisk - package->sizeOnDisk);
        QCOMPARE(root->totalFileCount(), totalFiles - files);
        QCOMPARE(root->totalSubdirectoryCount(), totalFolders - folders);
        QCOMPARE(root->fileCount(), 1);
        QCOMPARE(root->subdirectoryCount(), 1);
        QCOMPARE(root->size(), qint64(300));
        QCOMPARE(root->totalSize(), qint64(700));
        // A second remove of the same package changes nothing.
        root->remove(package);
        QCOMPARE(root->totalSize(), qint64(700));
        QCOMPARE(root->totalFileCount(), 2);
    }

    // The k-th item fails for one of several reasons: the result is false,
    // the one error line names its two paths and the error code, and the
    // source, the target and the existing destination are exactly as before.
    void failureUndoesEverything_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("k");
        const QStringList reasons{QStringLiteral("exists"), QStringLiteral("vanished"), QStringLiteral("other fs"),
                                  QStringLiteral("permission")};
        for (const QString& reason : reasons) {
            for (int k = 1; k <= packageItems().size(); ++k) {
                const QByteArray row = QStringLiteral("%1, item %2 (%3)")
                                           .arg(reason)
                                           .arg(k)
                                           .arg(packageItems()[k - 1].name)
                                           .toUtf8();
                QTest::newRow(row.constData()) << reason << k;
            }
        }
    }

    void failureUndoesEverything()
    {
        QFETCH(QString, reason);
        QFETCH(int, k);
        const ItemSpec failing = packageItems()[k - 1];
#ifdef Q_OS_WIN
        if (reason == QLatin1String("other fs"))
            QSKIP("Wine: every drive is a folder of one Linux file system here, and a Windows program cannot "
                  "mount another");
        const bool asRoot = false;
#else
        const bool asRoot = runningAsRoot();
        if (reason == QLatin1String("other fs") && !asRoot)
            QSKIP("mounting a second file system (tmpfs) needs root");
        if (reason == QLatin1String("permission") && !asRoot && !failing.folder)
            QSKIP("a file can be made unmovable only by giving it another owner, which needs root");
#endif

        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString source = temp.filePath(QStringLiteral("src"));
        const QString target = temp.filePath(QStringLiteral("target"));
        QVERIFY(makeSourceTree(source));
        QVERIFY(makeFolder(target));

#ifndef Q_OS_WIN
        QScopedPointer<TmpfsMount> other;
        QString otherSource;
        if (reason == QLatin1String("other fs")) {
            other.reset(new TmpfsMount(temp.filePath(QStringLiteral("other"))));
            QVERIFY2(other->mounted, "cannot mount a tmpfs");
            otherSource = other->path + QStringLiteral("/src");
            QVERIFY(makeSourceTree(otherSource));
        }
#endif

        const DirectoryNodePtr root = scan(source);
        QVERIFY(root);
        QList<PackagablePtr> items;
        for (const ItemSpec& spec : packageItems())
            items << findItem(root, spec.name);
#ifndef Q_OS_WIN
        if (other) {
            const DirectoryNodePtr otherRoot = scan(otherSource);
            QVERIFY(otherRoot);
            items[k - 1] = findItem(otherRoot, failing.name);
        }
#endif
        for (const PackagablePtr& item : items)
            QVERIFY(item);
        const PackagePtr package = packageOf(items);
        const QString failingSource = items[k - 1]->absoluteFilePath();
        const QString failingDestination = QDir(target).absoluteFilePath(failing.name);

        qint64 expectedCode = 0;
        bool unprivileged = false;
#ifdef Q_OS_WIN
        // MoveFileW's codes: ERROR_ALREADY_EXISTS, ERROR_FILE_NOT_FOUND, and
        // ERROR_SHARING_VIOLATION for an entry that another handle holds open
        // without delete sharing (how a program in use keeps its files).
        HANDLE held = INVALID_HANDLE_VALUE;
        if (reason == QLatin1String("exists")) {
            if (failing.folder)
                QVERIFY(makeFolder(failingDestination));
            else
                QVERIFY(writeFile(failingDestination, QByteArray("already here")));
            expectedCode = ERROR_ALREADY_EXISTS;
        } else if (reason == QLatin1String("vanished")) {
            if (failing.folder)
                QVERIFY(QDir(failingSource).removeRecursively());
            else
                QVERIFY(QFile::remove(failingSource));
            expectedCode = ERROR_FILE_NOT_FOUND;
        } else {
            held = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(failingSource).utf16()),
                               GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            QVERIFY(held != INVALID_HANDLE_VALUE);
            expectedCode = ERROR_SHARING_VIOLATION;
        }
        auto release = qScopeGuard([&] {
            if (held != INVALID_HANDLE_VALUE)
                CloseHandle(held);
        });
#else
        if (reason == QLatin1String("exists")) {
            // For a folder an empty one: exactly what a plain rename replaces.
            if (failing.folder)
                QVERIFY(makeFolder(failingDestination));
            else
                QVERIFY(writeFile(failingDestination, QByteArray("already here")));
            expectedCode = EEXIST;
        } else if (reason == QLatin1String("vanished")) {
            if (failing.folder)
                QVERIFY(QDir(failingSource).removeRecursively());
            else
                QVERIFY(QFile::remove(failingSource));
            expectedCode = ENOENT;
        } else if (reason == QLatin1String("other fs")) {
            expectedCode = EXDEV;
        } else {
            const QByteArray failingPath = QFile::encodeName(failingSource);
            if (asRoot) {
                QVERIFY(handOverToNobody(temp.path()));
                unprivileged = true;
            }
            if (failing.folder) {
                // Moving a folder to another parent rewrites its "..": that
                // needs write permission on the folder itself.
                QCOMPARE(::chmod(failingPath.constData(), 0555), 0);
                expectedCode = EACCES;
            } else {
                // In a sticky folder only a file's owner may move it.
                QCOMPARE(::chown(QFile::encodeName(source).constData(), 0, 0), 0);
                QCOMPARE(::chmod(QFile::encodeName(source).constData(), 01777), 0);
                QCOMPARE(::lchown(failingPath.constData(), 0, 0), 0);
                expectedCode = EPERM;
            }
        }
#endif

        const QStringList sourceBefore = treeInventory(source);
        const QStringList targetBefore = treeInventory(target);
#ifndef Q_OS_WIN
        const QStringList otherBefore = other ? treeInventory(otherSource) : QStringList();
#endif
        const qint64 rootTotal = root->totalSize();

        auto move = [&](QString* errorString) {
            Packager packager;
            const bool ok = packager.movePackage(QDir(target), package);
            *errorString = packager.errorString();
            return ok;
        };
        MoveOutcome outcome;
#ifdef Q_OS_WIN
        Q_UNUSED(unprivileged)
        Q_UNUSED(asRoot)
        outcome.ok = move(&outcome.errorString);
#else
        if (unprivileged)
            outcome = runAsNobody(move);
        else
            outcome.ok = move(&outcome.errorString);
        if (reason == QLatin1String("permission") && failing.folder)
            ::chmod(QFile::encodeName(failingSource).constData(), 0755); // so that it can be cleaned up
#endif

        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.errorString, moveFailedLine(failingSource, failingDestination, expectedCode));
        QCOMPARE(treeInventory(source), sourceBefore);
        QCOMPARE(treeInventory(target), targetBefore);
#ifndef Q_OS_WIN
        if (other)
            QCOMPARE(treeInventory(otherSource), otherBefore);
#endif
        QCOMPARE(root->totalSize(), rootTotal);
    }

    // When an item cannot go back, the result says so instead of leaving it
    // silently in the package folder.
    void failedUndoIsReported()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString source = temp.filePath(QStringLiteral("src"));
        const QString target = temp.filePath(QStringLiteral("target"));
        const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
        QVERIFY(writeFile(source + QStringLiteral("/a"), QByteArray("first")));
        QVERIFY(writeFile(elsewhere + QStringLiteral("/f"), QByteArray("takes a's place")));
        QVERIFY(writeFile(elsewhere + QStringLiteral("/g"), QByteArray("g")));
        QVERIFY(writeFile(target + QStringLiteral("/g"), QByteArray("blocks g")));
        const DirectoryNodePtr root = scan(source);
        QVERIFY(root);

        // The second item lands on the first one's old place, the third fails.
        const PackagePtr package = packageOf({findItem(root, QStringLiteral("a")),
                                              PackagablePtr(new PathItem(elsewhere + QStringLiteral("/f"),
                                                                         QStringLiteral("../src/a"))),
                                              PackagablePtr(new PathItem(elsewhere + QStringLiteral("/g"),
                                                                         QStringLiteral("g")))});
        Packager packager;
        QVERIFY(!packager.movePackage(QDir(target), package));
        const QString expected =
            moveFailedLine(elsewhere + QStringLiteral("/g"), QDir(target).absoluteFilePath(QStringLiteral("g")),
                           AlreadyExists) +
            QStringLiteral("Move back failed. old:%1 new:%2 winError:%3.\r\n")
                .arg(QDir::toNativeSeparators(source + QStringLiteral("/a")),
                     QDir::toNativeSeparators(QDir(target).absoluteFilePath(QStringLiteral("a"))))
                .arg(AlreadyExists);
        QCOMPARE(packager.errorString(), expected);
        QCOMPARE(treeInventory(elsewhere).size(), 2); // f went back
        QVERIFY(QFile::exists(target + QStringLiteral("/a")));
    }

    void platformMoveNeverReplaces()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString a = temp.filePath(QStringLiteral("a"));
        const QString b = temp.filePath(QStringLiteral("b"));
        const QString emptyDir = temp.filePath(QStringLiteral("empty"));
        const QString dir = temp.filePath(QStringLiteral("dir"));
        QVERIFY(writeFile(a, QByteArray("a")));
        QVERIFY(writeFile(b, QByteArray("b")));
        QVERIFY(makeFolder(emptyDir));
        QVERIFY(writeFile(dir + QStringLiteral("/inner"), QByteArray("x")));
        const QStringList before = treeInventory(temp.path());

        qint64 code = 0;
        QVERIFY(!moveWithoutReplacing(a, b, &code));
        QCOMPARE(code, AlreadyExists);
        QVERIFY(!moveWithoutReplacing(dir, emptyDir, &code)); // rename() would replace it
        QCOMPARE(code, AlreadyExists);
        code = 0;
        QVERIFY(!moveWithoutReplacing(dir, dir + QStringLiteral("/inner2"), &code));
#ifdef Q_OS_WIN
        // Into itself: refused (Windows says ERROR_SHARING_VIOLATION, Wine
        // ERROR_INVALID_PARAMETER).
        QVERIFY(code != 0);
#else
        QCOMPARE(code, qint64(EINVAL)); // into itself: refused, not attempted another way
#endif
        QCOMPARE(treeInventory(temp.path()), before);

#ifndef Q_OS_WIN
        // The link-then-unlink fallback.
        QVERIFY(!moveByLinking(a, b, &code));
        QCOMPARE(code, qint64(EEXIST));
        QVERIFY(!moveByLinking(dir, temp.filePath(QStringLiteral("dir2")), &code));
        QCOMPARE(code, qint64(EINVAL));
        QVERIFY(!moveByLinking(temp.filePath(QStringLiteral("missing")), temp.filePath(QStringLiteral("m")),
                                         &code));
        QCOMPARE(code, qint64(ENOENT));
        QCOMPARE(treeInventory(temp.path()), before);

        QVERIFY(moveByLinking(a, temp.filePath(QStringLiteral("c")), &code));
        QVERIFY(!QFile::exists(a));
        QFile moved(temp.filePath(QStringLiteral("c")));
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), QByteArray("a"));
        QCOMPARE(::symlink("b", QFile::encodeName(temp.filePath(QStringLiteral("l"))).constData()), 0);
        QVERIFY(moveByLinking(temp.filePath(QStringLiteral("l")), temp.filePath(QStringLiteral("l2")),
                                        &code));
        QVERIFY(QFileInfo(temp.filePath(QStringLiteral("l2"))).isSymLink()); // the link itself moved
#endif
    }

    // When the fallback cannot unlink the source (its folder is read-only
    // for the mover), the new name goes again and the source stays.
    void fallbackRollsBack()
    {
#ifdef Q_OS_WIN
        QSKIP("the fallback exists on Linux only");
#else
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString ro = temp.filePath(QStringLiteral("ro"));
        const QString destination = temp.filePath(QStringLiteral("f"));
        QVERIFY(writeFile(ro + QStringLiteral("/f"), QByteArray("f")));
        if (runningAsRoot())
            QVERIFY(handOverToNobody(temp.path()));
        QCOMPARE(::chmod(QFile::encodeName(ro).constData(), 0555), 0);
        auto move = [&](QString* text) {
            qint64 code = 0;
            const bool ok = moveByLinking(ro + QStringLiteral("/f"), destination, &code);
            *text = QString::number(code);
            return ok;
        };
        MoveOutcome outcome;
        if (runningAsRoot())
            outcome = runAsNobody(move);
        else
            outcome.ok = move(&outcome.errorString);
        ::chmod(QFile::encodeName(ro).constData(), 0755);
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.errorString, QString::number(EACCES));
        QVERIFY(QFile::exists(ro + QStringLiteral("/f")));
        QVERIFY(!QFile::exists(destination));
#endif
    }

    void packageNode()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString source = temp.filePath(QStringLiteral("src"));
        QVERIFY(writeFile(source + QStringLiteral("/d/1"), 10));
        QVERIFY(writeFile(source + QStringLiteral("/d/2"), 20));
        QVERIFY(writeFile(source + QStringLiteral("/d/s/3"), 30));
        QVERIFY(makeFolder(source + QStringLiteral("/d/t")));
        QVERIFY(writeFile(source + QStringLiteral("/f"), 1000));
        const QString folder = temp.filePath(QStringLiteral("base/3"));
        QVERIFY(makeFolder(folder));
        const DirectoryNodePtr root = scan(source);
        QVERIFY(root);
        const PackagePtr package = packageOf({findItem(root, QStringLiteral("d")), findItem(root, QStringLiteral("f"))});

        const DirectoryNodePtr node = makePackageNode(NativePath::fromText(folder), package);
        QCOMPARE(node->fileName(), QStringLiteral("3"));
        QCOMPARE(node->absoluteFilePath(), folder);
        QVERIFY(node->isRoot());
        QCOMPARE(node->depth(), 0);
        QCOMPARE(node->fileCount(), 1);
        QCOMPARE(node->subdirectoryCount(), 1);
        QCOMPARE(node->totalFileCount(), 4);
        QCOMPARE(node->totalSubdirectoryCount(), 3);
        QCOMPARE(node->size(), qint64(1000));
        QCOMPARE(node->totalSize(), qint64(1060));
        QCOMPARE(node->totalSize(), package->size);
        QCOMPARE(node->totalSizeOnDisk(), package->sizeOnDisk);
        // The very nodes of the tree, unchanged, with their old places.
        QCOMPARE(node->subdirectory(0).data(), findItem(root, QStringLiteral("d")).data());
        QCOMPARE(node->file(0)->absoluteFilePath(), source + QStringLiteral("/f"));
        QCOMPARE(node->subdirectory(0)->depth(), 1);
        // The move flow hands over the folder text with a trailing separator.
        QCOMPARE(makePackageNode(NativePath::fromText(folder + QLatin1Char('/')), package)->fileName(), QStringLiteral("3"));

        // Its listing tells how far it is written as it goes, up to 100.
        PackageFolder place;
        place.number = 3;
        place.path = NativePath::fromText(folder);
        place.listing = NativePath::fromText(temp.filePath(QStringLiteral("base/3.xml")));
        QList<qreal> percents;
        QString error;
        QVERIFY2(PackageListing::writeListing(place, package, XmlExporterSettings(), &error,
                                              [&percents](qreal percent) { percents << percent; }),
                 qPrintable(error));
        QVERIFY(QFileInfo(temp.filePath(QStringLiteral("base/3.xml"))).isFile());
        QVERIFY2(percents.size() > 4, qPrintable(QString::number(percents.size())));
        QVERIFY(std::is_sorted(percents.cbegin(), percents.cend()));
        QVERIFY(percents.first() < 25.0);
        QCOMPARE(percents.last(), 100.0);
    }

    // remove() lowers the node's own figures by exactly the items'; a node
    // removed from the tree keeps every field.
    void removeFromTree()
    {
        DirectoryNodePtr root(new DirectoryNode(DirectoryNodePtr(), QStringLiteral("/m"), QStringLiteral("r"),
                                                NodeTimes()));
        const FileNodePtr file(new FileNode(QStringLiteral("/m/r"), QStringLiteral("f"), 1000, 4096, NodeTimes()));
        const FileNodePtr other(new FileNode(QStringLiteral("/m/r"), QStringLiteral("g"), 5, 4096, NodeTimes()));
        const DirectoryNodePtr folder(new DirectoryNode(root, QStringLiteral("/m/r"), QStringLiteral("d"),
                                                        NodeTimes()));
        folder->setTotals(300, 12288, 3, 2);
        root->appendFile(file);
        root->appendFile(other);
        root->appendSubdirectory(folder);
        root->setOwnSizes(1005, 8192);
        root->setTotals(1305, 20480, 5, 3);

        root->remove(packageOf({file}));
        QCOMPARE(root->size(), qint64(5));
        QCOMPARE(root->totalSize(), qint64(305));
        QCOMPARE(root->sizeOnDisk(), qint64(4096));
        QCOMPARE(root->totalSizeOnDisk(), qint64(16384));
        QCOMPARE(root->totalFileCount(), 4);
        QCOMPARE(root->fileCount(), 1);
        QCOMPARE(root->file(0), other);

        root->remove(packageOf({folder, PackagablePtr(new PathItem(QStringLiteral("/x"), QStringLiteral("x")))}));
        QCOMPARE(root->size(), qint64(5));
        QCOMPARE(root->sizeOnDisk(), qint64(4096));
        QCOMPARE(root->totalSize(), qint64(5));
        QCOMPARE(root->totalFileCount(), 1);
        QCOMPARE(root->totalSubdirectoryCount(), 0);
        QCOMPARE(root->subdirectoryCount(), 0);
        QCOMPARE(folder->totalSize(), qint64(300));
        QCOMPARE(folder->absoluteFilePath(), QStringLiteral("/m/r/d"));
        QCOMPARE(folder->parent(), root);
    }

    // Each naming takes out one entry, the first still listed; the rest keep
    // their order. Many entries and items, to cover the one-pass removal.
    void removeKeepsOrderAndCountsNamings()
    {
        DirectoryNodePtr root(new DirectoryNode(DirectoryNodePtr(), QStringLiteral("/m"), QStringLiteral("r"),
                                                NodeTimes()));
        QList<FileNodePtr> files;
        for (int i = 0; i < 5000; ++i) {
            files << FileNodePtr(new FileNode(QStringLiteral("/m/r"), QString::number(i), i, 2 * i, NodeTimes()));
            root->appendFile(files.last());
        }
        root->appendFile(files[7]); // listed twice
        qint64 size = 0;
        for (const FileNodePtr& file : root->files())
            size += file->size();
        root->setOwnSizes(size, 2 * size);
        root->setTotals(size, 2 * size, root->fileCount(), 0);

        QList<PackagablePtr> items;
        qint64 removed = 0;
        for (int i = 0; i < 5000; i += 3) {
            items << files[i];
            removed += i;
        }
        items << files[7] << files[7] << files[7]; // the third naming finds nothing left
        removed += 2 * 7;
        const QVector<FileNodePtr> copy = root->files(); // a copy held elsewhere stays as it was
        root->remove(packageOf(items));
        QCOMPARE(copy.size(), 5001);
        QCOMPARE(copy.at(3), files[3]);
        QCOMPARE(root->size(), size - removed);
        QCOMPARE(root->totalSizeOnDisk(), 2 * (size - removed));
        QCOMPARE(root->fileCount(), 5001 - 1667 - 2);
        QCOMPARE(root->totalFileCount(), root->fileCount());
        int expected = 0;
        for (const FileNodePtr& file : root->files()) {
            while (expected % 3 == 0 || expected == 7)
                ++expected;
            QCOMPARE(file, files[expected]);
            ++expected;
        }

        // Named once only: the first of two listings goes, the second stays.
        DirectoryNodePtr twice(new DirectoryNode(DirectoryNodePtr(), QStringLiteral("/m"), QStringLiteral("t"),
                                                 NodeTimes()));
        twice->appendFile(files[1]);
        twice->appendFile(files[2]);
        twice->appendFile(files[1]);
        twice->setOwnSizes(4, 8);
        twice->setTotals(4, 8, 3, 0);
        twice->remove(packageOf({files[1]}));
        QCOMPARE(twice->fileCount(), 2);
        QCOMPARE(twice->file(0), files[2]);
        QCOMPARE(twice->file(1), files[1]);
        QCOMPARE(twice->size(), qint64(3));
    }

    // An item that is no longer the entry the scan saw fails its package
    // with a line naming it; the item moved before it goes back and the
    // package folder goes again, so a retry takes the same number. A folder
    // is checked by identity only, a link by identity only.
    void itemChangedSinceTheScan_data()
    {
        QTest::addColumn<QString>("victim");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("expected"); // %1 the item's path, %2 its new path; empty: it moves
        const QString replaced = QStringLiteral("Item replaced since the scan. path:%1.\r\n");
        QTest::newRow("file replaced") << "file" << "replace" << replaced;
        QTest::newRow("file grown") << "file" << "append"
                                    << "Item size changed since the scan. path:%1 scanned:5000 now:5003.\r\n";
#ifdef Q_OS_WIN
        const int notFound = 2; // ERROR_FILE_NOT_FOUND
#else
        const int notFound = ENOENT;
#endif
        QTest::newRow("file gone") << "file" << "remove"
                                   << "Move failed. old:%1 new:%2 winError:" + QString::number(notFound) + ".\r\n";
        QTest::newRow("folder swapped") << "folder" << "replace" << replaced;
        QTest::newRow("folder contents changed") << "folder" << "append" << QString();
#ifndef Q_OS_WIN
        // QFile::link makes a shell shortcut on Windows, a plain file.
        QTest::newRow("link replaced") << "link" << "replace" << replaced;
        QTest::newRow("link unchanged") << "link" << "" << QString();
#endif
    }

    void itemChangedSinceTheScan()
    {
        QFETCH(QString, victim);
        QFETCH(QString, change);
        QFETCH(QString, expected);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString source = temp.filePath(QStringLiteral("src"));
        const QString path = source + QLatin1Char('/') + victim;
        const QString spare = temp.filePath(QStringLiteral("spare"));
        QVERIFY(writeFile(source + QStringLiteral("/first.txt"), 1000));
        QVERIFY(writeFile(source + QStringLiteral("/file"), 5000));
        QVERIFY(writeFile(source + QStringLiteral("/folder/a"), 10));
#ifndef Q_OS_WIN
        QVERIFY(QFile::link(QStringLiteral("first.txt"), source + QStringLiteral("/link")));
#endif
        QVERIFY(makeFolder(temp.filePath(QStringLiteral("vol"))));
        const DirectoryNodePtr root = scan(source);
        QVERIFY(root && root->childIdentities());
        const PackagePtr package = packageOf({findItem(root, QStringLiteral("first.txt")), findItem(root, victim)});

        if (change == QLatin1String("replace")) {
            // Another entry of the same kind and size takes the item's name.
            if (victim == QLatin1String("folder"))
                QVERIFY(writeFile(spare + QStringLiteral("/a"), 10));
            else if (victim == QLatin1String("link"))
                QVERIFY(QFile::link(QStringLiteral("first.txt"), spare));
            else
                QVERIFY(writeFile(spare, 5000));
            QVERIFY(QFile::rename(path, temp.filePath(QStringLiteral("aside"))));
            QVERIFY(QFile::rename(spare, path));
        } else if (change == QLatin1String("append")) {
            QFile file(victim == QLatin1String("folder") ? path + QStringLiteral("/b") : path);
            QVERIFY(file.open(QIODevice::Append) && file.write("abc", 3) == 3);
        } else if (change == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path));
        }
        const QStringList before = treeInventory(temp.path());

        PackageMover mover(root, NativePath::fromText(temp.filePath(QStringLiteral("vol"))), QStringLiteral("CD"),
                           QStringLiteral("L"));
        PackageFolder folder;
        QVERIFY(mover.createPackageFolder(1, &folder));
        // A moved package's journal stays until finishPackage().
        const bool moved = mover.moveItems(folder, package) && mover.finishPackage(folder);
        const QString base = QStringLiteral("vol/korvo_pack/CD/L");
        if (expected.isEmpty()) {
            QVERIFY2(moved, qPrintable(mover.errorString()));
            QCOMPARE(treeInventory(temp.path()), movedInventory(before, QStringLiteral("src"),
                                                                {QStringLiteral("first.txt"), victim},
                                                                base + QStringLiteral("/1")));
            return;
        }
        QVERIFY(!moved);
        QCOMPARE(mover.errorString(), expected.arg(QDir::toNativeSeparators(path),
                                                   QDir::toNativeSeparators(QDir(folder.text).absoluteFilePath(victim))));
        QVERIFY(!mover.leftItemsBehind());
        QCOMPARE(treeInventory(temp.path()), movedInventory(before, QStringLiteral("src"), {}, base));
        QVERIFY(mover.createPackageFolder(1, &folder));
        QCOMPARE(folder.number, 1);
    }

    // A top-level file and folder whose names are not valid UTF-8 move, and
    // not the entries beside them whose names show alike (U+FFFD in place
    // of the invalid bytes): first as items that give their exact paths,
    // then as the scan gives them.
    void undecodableNamesMoveExactly()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows names are UTF-16 text");
#else
        const QByteArray file("r\xff.bin");
        const QByteArray folder("d\xfe");
        for (const bool scanned : {false, true}) {
            QTemporaryDir temp;
            QVERIFY(temp.isValid());
            const QString source = temp.filePath(QStringLiteral("src"));
            QVERIFY(makeLookalikes(source, file, folder) && makeFolder(temp.filePath(QStringLiteral("vol"))));
            const DirectoryNodePtr root = scan(source);
            QVERIFY(root);
            const QByteArray rawSource = QFile::encodeName(source);
            QList<PackagablePtr> items;
            if (scanned) {
                for (const FileNodePtr& entry : root->files()) {
                    if (entry->nativeFileName().bytes() == file)
                        items << entry;
                }
                for (const DirectoryNodePtr& entry : root->subdirectories()) {
                    if (entry->nativeFileName().bytes() == folder)
                        items << entry;
                }
                QCOMPARE(items.size(), 2);
            } else {
                items << PackagablePtr(new ExactItem(rawSource, file)) << PackagablePtr(new ExactItem(rawSource, folder));
            }
            const QStringList before = exactTreeInventory(QFile::encodeName(temp.path()));

            PackageMover mover(root, NativePath::fromText(temp.filePath(QStringLiteral("vol"))), QStringLiteral("CD"),
                               QStringLiteral("L"));
            PackageFolder target;
            QVERIFY(mover.createPackageFolder(1, &target));
            QVERIFY2(mover.moveItems(target, packageOf(items)) && mover.finishPackage(target),
                     qPrintable(mover.errorString()));
            QCOMPARE(exactTreeInventory(QFile::encodeName(temp.path())),
                     movedInventory(before, QStringLiteral("src"), {QStringLiteral("r%FF.bin"), QStringLiteral("d%FE")},
                                    QStringLiteral("vol/korvo_pack/CD/L/1")));
        }
#endif
    }

    void emptyAndNullPackages()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        Packager packager;
        QVERIFY(packager.movePackage(QDir(temp.path()), PackagePtr(new Package)));
        QVERIFY(packager.errorString().isEmpty());
        QVERIFY(!packager.movePackage(QDir(temp.path()), PackagePtr()));
        QVERIFY(!packager.errorString().isEmpty());
        QVERIFY(makePackageNode(NativePath::fromText(temp.path()), PackagePtr()));
    }
};

QTEST_GUILESS_MAIN(PackageMoveTest)
#include "tst_packagemove.moc"
