// How many requests a scan keeps in flight is chosen by the kind of file
// system, behind a probe the tests replace: the choice per kind, the kinds
// the system's answers stand for, the probe asked once per file system
// (a file system mounted below the root too), and a real user-space file
// system, mounted where the machine allows it, scanned to the same tree as
// the folder it passes through.

#include "Enumerate.h"
#include "FileSystemKind.h"
#include "ScanSupport.h"
#include "TestSupport.h"
#include "WalkConcurrency.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#endif

using namespace korvo;
using namespace korvo::test;
using platform::FileSystemKind;

Q_DECLARE_METATYPE(platform::FileSystemKind)
Q_DECLARE_METATYPE(korvo::ListingMethod)

namespace {

// A tree of `folders` folders two levels deep with `files` files each,
// sizes and names varied.
void makeTree(const QString& root, int folders, int files)
{
    for (int i = 0; i < folders; ++i) {
        const QString folder = root + QStringLiteral("/d%1/e%2").arg(i % 5).arg(i);
        QVERIFY(makeFolder(folder));
        for (int j = 0; j < files; ++j)
            QVERIFY(writeFile(folder + QStringLiteral("/%1f%2.txt").arg(QLatin1String(j % 2 ? "B" : "a")).arg(j),
                              (i * 31 + j * 7) % 5000));
    }
    QVERIFY(writeFile(root + QStringLiteral("/top.bin"), 12345));
}

// Every folder of two trees alike, but for where the trees are: names in
// order, sizes, times of change and counts, folder by folder and file by
// file. (Birth times are left out: FUSE passes none on.)
QString treeDifference(const DirectoryNodePtr& a, const DirectoryNodePtr& b)
{
    if (!a || !b)
        return QStringLiteral("a scan gave no tree");
    const QVector<DirectoryNodePtr> foldersA = allFolders(a);
    const QVector<DirectoryNodePtr> foldersB = allFolders(b);
    if (foldersA.size() != foldersB.size())
        return QStringLiteral("%1 folders against %2").arg(foldersA.size()).arg(foldersB.size());
    for (int i = 0; i < foldersA.size(); ++i) {
        const DirectoryNode& x = *foldersA.at(i);
        const DirectoryNode& y = *foldersB.at(i);
        const QString where = x.absoluteFilePath();
        if ((i > 0 && x.fileName() != y.fileName()) || x.fileCount() != y.fileCount()
            || x.subdirectoryCount() != y.subdirectoryCount() || x.totalSize() != y.totalSize()
            || x.totalSizeOnDisk() != y.totalSizeOnDisk() || x.totalFileCount() != y.totalFileCount()
            || x.lastModified() != y.lastModified() || x.depth() != y.depth())
            return QStringLiteral("folder %1 differs").arg(where);
        for (int j = 0; j < x.fileCount(); ++j) {
            const FileNodePtr& f = x.file(j);
            const FileNodePtr& g = y.file(j);
            if (f->fileName() != g->fileName() || f->size() != g->size() || f->sizeOnDisk() != g->sizeOnDisk()
                || f->lastModified() != g->lastModified())
                return QStringLiteral("file %1 of %2 differs").arg(f->fileName(), where);
        }
    }
    return QString();
}

#if !defined(Q_OS_WIN) && defined(KORVO_DELAYFS_PROGRAM)
// delayfs mounted over a folder for the life of the object: a user-space
// file system that answers every request after `delayMicroseconds`.
class DelayMount
{
public:
    DelayMount(const QString& source, const QString& mountPoint, int delayMicroseconds, const QString& statsFile)
        : mountPoint_(mountPoint), statsFile_(statsFile)
    {
        QProcess mount;
        mount.start(QStringLiteral(KORVO_DELAYFS_PROGRAM),
                    {QStringLiteral("--delay-us"), QString::number(delayMicroseconds), QStringLiteral("--stats"),
                     statsFile, source, mountPoint});
        if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0) {
            why_ = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
            if (why_.isEmpty())
                why_ = mount.errorString();
            return;
        }
        mounted_ = true;
    }
    ~DelayMount() { unmount(); }

    bool mounted() const { return mounted_; }
    QString why() const { return why_; }

    // Unmounts, and waits for the file system to write its counts; the
    // figure named `key` from them, -1 when there is none.
    qint64 unmountAndCount(const QString& key)
    {
        unmount();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            QFile stats(statsFile_);
            if (stats.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> lines = stats.readAll().split('\n');
                for (const QByteArray& line : lines) {
                    const QList<QByteArray> parts = line.split(' ');
                    if (parts.size() == 2 && parts.at(0) == key.toLatin1())
                        return parts.at(1).toLongLong();
                }
            }
            QThread::msleep(20);
        }
        return -1;
    }

private:
    void unmount()
    {
        if (!mounted_)
            return;
        mounted_ = false;
        const QString fusermount = QStandardPaths::findExecutable(QStringLiteral("fusermount3"));
        if (fusermount.isEmpty() || QProcess::execute(fusermount, {QStringLiteral("-u"), mountPoint_}) != 0)
            ::umount2(QFile::encodeName(mountPoint_).constData(), MNT_DETACH);
    }

    QString mountPoint_;
    QString statsFile_;
    QString why_;
    bool mounted_ = false;
};

// Why delayfs cannot be mounted here, or empty when it may be.
QString whyNoFuse()
{
    if (!QFile::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral("there is no /dev/fuse on this machine");
    return QString();
}
#endif

} // namespace

class WalkConcurrencyTest : public QObject
{
    Q_OBJECT
private slots:
    void concurrencyByKind_data()
    {
        QTest::addColumn<FileSystemKind>("kind");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("environment");
        QTest::addColumn<int>("processors");
        QTest::addColumn<int>("walkers");
        QTest::addColumn<bool>("shareStats");
        QTest::addColumn<bool>("fixed");
        const FileSystemKind local = FileSystemKind::Local;
        const FileSystemKind remote = FileSystemKind::Remote;
        // Locally the processors set the number, as before.
        QTest::newRow("local, 1 processor") << local << 0 << 0 << 1 << 4 << false << false;
        QTest::newRow("local, 2 processors") << local << 0 << 0 << 2 << 8 << false << false;
        QTest::newRow("local, 16 processors") << local << 0 << 0 << 16 << 32 << false << false;
        // Remote: round trips set it, whatever the processors.
        QTest::newRow("remote, 1 processor") << remote << 0 << 0 << 1 << 64 << true << false;
        QTest::newRow("remote, 2 processors") << remote << 0 << 0 << 2 << 64 << true << false;
        QTest::newRow("remote, 64 processors") << remote << 0 << 0 << 64 << 64 << true << false;
        // --threads and KORVO_SCAN_THREADS win on either, --threads first.
        QTest::newRow("local, --threads 3") << local << 3 << 0 << 2 << 3 << false << true;
        QTest::newRow("remote, --threads 3") << remote << 3 << 0 << 2 << 3 << true << true;
        QTest::newRow("remote, environment 5") << remote << 0 << 5 << 2 << 5 << true << true;
        QTest::newRow("local, environment 40") << local << 0 << 40 << 2 << 40 << false << true;
        QTest::newRow("--threads before environment") << local << 2 << 9 << 2 << 2 << false << true;
        QTest::newRow("cut to 64") << local << 500 << 0 << 2 << 64 << false << true;
        QTest::newRow("environment 0 is unset") << remote << 0 << 0 << 2 << 64 << true << false;
        QTest::newRow("negative is unset") << local << -1 << -3 << 2 << 8 << false << false;
    }
    void concurrencyByKind()
    {
        QFETCH(FileSystemKind, kind);
        QFETCH(int, requested);
        QFETCH(int, environment);
        QFETCH(int, processors);
        const WalkConcurrency concurrency = walkConcurrency(kind, requested, environment, processors);
        QTEST(concurrency.walkers, "walkers");
        QTEST(concurrency.shareStats, "shareStats");
        QTEST(concurrency.fixed, "fixed");
    }

    void kindsOfSystemAnswers_data()
    {
        QTest::addColumn<quint32>("answer");
        QTest::addColumn<bool>("unc");
        QTest::addColumn<FileSystemKind>("kind");
#ifdef Q_OS_WIN
        QTest::newRow("fixed disk") << quint32(DRIVE_FIXED) << false << FileSystemKind::Local;
        QTest::newRow("removable") << quint32(DRIVE_REMOVABLE) << false << FileSystemKind::Local;
        QTest::newRow("RAM disk") << quint32(DRIVE_RAMDISK) << false << FileSystemKind::Local;
        QTest::newRow("network drive") << quint32(DRIVE_REMOTE) << false << FileSystemKind::Remote;
        QTest::newRow("UNC path") << quint32(DRIVE_NO_ROOT_DIR) << true << FileSystemKind::Remote;
#else
        QTest::newRow("NFS") << quint32(0x6969) << false << FileSystemKind::Remote;
        QTest::newRow("CIFS") << quint32(0xFF534D42) << false << FileSystemKind::Remote;
        QTest::newRow("SMB3") << quint32(0xFE534D42) << false << FileSystemKind::Remote;
        QTest::newRow("FUSE") << quint32(0x65735546) << false << FileSystemKind::Remote;
        QTest::newRow("9p") << quint32(0x01021997) << false << FileSystemKind::Remote;
        QTest::newRow("ext4") << quint32(0xEF53) << false << FileSystemKind::Local;
        QTest::newRow("tmpfs") << quint32(0x01021994) << false << FileSystemKind::Local;
        QTest::newRow("btrfs") << quint32(0x9123683E) << false << FileSystemKind::Local;
        QTest::newRow("overlay") << quint32(0x794C7630) << false << FileSystemKind::Local;
#endif
    }
    void kindsOfSystemAnswers()
    {
        QFETCH(quint32, answer);
        QFETCH(bool, unc);
#ifdef Q_OS_WIN
        QTEST(platform::fileSystemKindOfDrive(answer, unc), "kind");
#else
        Q_UNUSED(unc);
        QTEST(platform::fileSystemKindOfType(answer), "kind");
#endif
    }

    void uncPaths()
    {
#ifndef Q_OS_WIN
        QSKIP("UNC paths are Windows paths");
#else
        QVERIFY(platform::isUncPath(QStringLiteral("\\\\server\\share\\folder")));
        QVERIFY(platform::isUncPath(QStringLiteral("//server/share")));
        QVERIFY(platform::isUncPath(QStringLiteral("\\\\?\\UNC\\server\\share")));
        QVERIFY(!platform::isUncPath(QStringLiteral("\\\\?\\C:\\folder")));
        QVERIFY(!platform::isUncPath(QStringLiteral("\\\\.\\PhysicalDrive0")));
        QVERIFY(!platform::isUncPath(QStringLiteral("C:/folder")));
        QCOMPARE(platform::fileSystemKind(NativePath::fromText(QStringLiteral("//server/share/folder"))),
                 FileSystemKind::Remote);
#endif
    }

    void probeAskedOncePerFileSystem_data()
    {
        QTest::addColumn<ListingMethod>("method");
        QTest::addColumn<bool>("remote");
        QTest::newRow("native, local") << ListingMethod::Native << false;
        QTest::newRow("native, remote") << ListingMethod::Native << true;
        QTest::newRow("QDir, remote") << ListingMethod::QtFileInfo << true;
    }
    void probeAskedOncePerFileSystem()
    {
        // A tree on one file system: the probe is asked for the root alone,
        // and whatever it says, the tree comes out the same.
        QFETCH(ListingMethod, method);
        QFETCH(bool, remote);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        makeTree(dir.path(), 40, 30);
        QMutex lock;
        QStringList asked;
        const FileSystemProbe probe = [&](const NativePath& folder, int) {
            QMutexLocker locker(&lock);
            asked << folder.toText();
            return remote ? FileSystemKind::Remote : FileSystemKind::Local;
        };
        const DirectoryNodePtr reference = scanFolder(dir.path(), method, nullptr, 1);
        const DirectoryNodePtr probed = scanFolder(dir.path(), method, nullptr, 0, probe);
        QCOMPARE(asked, QStringList{QDir(dir.path()).absolutePath()});
        QCOMPARE(treeDifference(probed, reference), QString());
        QCOMPARE(probed->totalFileCount(), 40 * 30 + 1);
    }

    void mountBelowFollowsItsOwnFileSystem()
    {
        // A file system mounted below the root is asked about once, by the
        // mount point's path; said to be remote, its folders are statted by
        // many walkers at once, and the tree stays the same.
#ifdef Q_OS_WIN
        QSKIP("Windows mounts no file systems in folders that this walk enters");
#else
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        makeTree(dir.path() + QStringLiteral("/local"), 6, 10);
        const QString mountPoint = dir.filePath(QStringLiteral("share"));
        QVERIFY(makeFolder(mountPoint));
        if (::mount("korvo-test", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, nullptr) != 0)
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here to put a file system below the root: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });
        makeTree(mountPoint, 30, 40);

        QMutex lock;
        QStringList asked;
        const FileSystemProbe probe = [&](const NativePath& folder, int) {
            QMutexLocker locker(&lock);
            asked << folder.toText();
            return folder.toText().endsWith(QLatin1String("/share")) ? FileSystemKind::Remote
                                                                      : FileSystemKind::Local;
        };
        const DirectoryNodePtr reference = scanFolder(dir.path(), ListingMethod::Native, nullptr, 1);
        for (int threads : {0, 2}) {
            asked.clear();
            const DirectoryNodePtr probed = scanFolder(dir.path(), ListingMethod::Native, nullptr, threads, probe);
            QCOMPARE(asked, (QStringList{QDir(dir.path()).absolutePath(), QDir(mountPoint).absolutePath()}));
            QCOMPARE(treeDifference(probed, reference), QString());
            QCOMPARE(probed->totalFileCount(), 6 * 10 + 1 + 30 * 40 + 1);
        }
#endif
    }

    void sameTreeThroughUserSpaceFileSystem()
    {
        // A real FUSE file system that delays each request: the system's
        // probe calls it remote, the scan keeps more requests in flight
        // than a local default would, and the tree is the one of the folder
        // it passes through.
#if defined(Q_OS_WIN)
        QSKIP("FUSE is a Linux file system");
#elif !defined(KORVO_DELAYFS_PROGRAM)
        QSKIP("delayfs was not built: libfuse3's development files (Debian's libfuse3-dev) were missing");
#else
        const QString why = whyNoFuse();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString source = dir.filePath(QStringLiteral("source"));
        const QString mountPoint = dir.filePath(QStringLiteral("mount"));
        makeTree(source, 60, 25);
        QVERIFY(makeFolder(mountPoint));
        // Each request lasts 5 ms: long enough for the walkers to overlap on
        // a loaded machine or a sanitized build.
        DelayMount mount(source, mountPoint, 5000, dir.filePath(QStringLiteral("stats")));
        if (!mount.mounted())
            QSKIP(qPrintable(QStringLiteral("FUSE cannot be mounted here: %1").arg(mount.why())));
        QCOMPARE(platform::fileSystemKind(NativePath::fromText(mountPoint)), FileSystemKind::Remote);
        QCOMPARE(platform::fileSystemKind(NativePath::fromText(source)), FileSystemKind::Local);

        const DirectoryNodePtr reference = scanFolder(source, ListingMethod::Native, nullptr, 1);
        const DirectoryNodePtr shared = scanFolder(mountPoint, ListingMethod::Native);
        QCOMPARE(treeDifference(shared, reference), QString());
        QCOMPARE(shared->totalFileCount(), 60 * 25 + 1);
        const DirectoryNodePtr qdir = scanFolder(mountPoint, ListingMethod::QtFileInfo);
        QCOMPARE(treeDifference(qdir, reference), QString());
        // More requests at once than the local default's 32 walkers at most.
        const qint64 peak = mount.unmountAndCount(QStringLiteral("in_flight_peak"));
        QVERIFY2(peak > 32, qPrintable(QStringLiteral("at most %1 requests in flight").arg(peak)));
#endif
    }

    void cancelWithinARemoteFolder()
    {
        // Cancelling while the entries of one big folder on a slow file
        // system are being statted ends the scan within a block of entries,
        // not after the folder: two walkers would need 3,000 x 4 ms / 2 =
        // 6 s for it.
#if defined(Q_OS_WIN)
        QSKIP("FUSE is a Linux file system");
#elif !defined(KORVO_DELAYFS_PROGRAM)
        QSKIP("delayfs was not built: libfuse3's development files (Debian's libfuse3-dev) were missing");
#else
        const QString why = whyNoFuse();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString source = dir.filePath(QStringLiteral("source"));
        const QString mountPoint = dir.filePath(QStringLiteral("mount"));
        for (int i = 0; i < 3000; ++i)
            QVERIFY(writeFile(source + QStringLiteral("/big/f%1").arg(i), 1));
        QVERIFY(makeFolder(mountPoint));
        DelayMount mount(source, mountPoint, 4000, dir.filePath(QStringLiteral("stats")));
        if (!mount.mounted())
            QSKIP(qPrintable(QStringLiteral("FUSE cannot be mounted here: %1").arg(mount.why())));

        std::atomic<bool> cancel{false};
        EnumerateProgress progress;
        EnumerateOptions options;
        options.threads = 2;
        QElapsedTimer clock;
        DirectoryNodePtr root;
        QThread* scan = QThread::create([&] { root = enumerateTree(QDir(mountPoint), cancel, progress, nullptr, options); });
        clock.start();
        scan->start();
        QThread::msleep(500);
        cancel.store(true);
        const qint64 cancelledAt = clock.elapsed();
        QVERIFY(scan->wait(20000));
        delete scan;
        const qint64 took = clock.elapsed() - cancelledAt;
        QVERIFY(!root);
        QVERIFY2(took < 2500, qPrintable(QStringLiteral("the scan ended %1 ms after the cancel").arg(took)));
#endif
    }
};

QTEST_GUILESS_MAIN(WalkConcurrencyTest)
#include "tst_walkconcurrency.moc"
