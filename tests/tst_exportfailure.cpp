#include "ExportWorker.h"
#include "Exporter.h"
#include "Platform.h"
#include "ScanSupport.h"
#include "TestSupport.h"
#include "TreeBuilder.h"
#include "TreeInventory.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <thread>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace korvo;
using korvo::test::TreeBuilder;

Q_DECLARE_METATYPE(korvo::TargetMode)

namespace {

// A fixed date line, so that two exports of one tree are the same bytes.
QDateTime fixedClock()
{
    return QDateTime(QDate(2020, 2, 2), QTime(2, 2, 2));
}

ExporterPtr makeExporter(const QString& format)
{
    if (format == QLatin1String("txt"))
        return createTxtExporter(TxtExporterSettings(), fixedClock);
    XmlExporterSettings settings;
    settings.output[DirectoryList] = true;
    return createXmlExporter(settings, fixedClock);
}

// A tree whose export takes several megabytes in either format.
DirectoryNodePtr largeTree()
{
    const DirectoryNodePtr root = TreeBuilder::root(QStringLiteral("/data/large"));
    for (int d = 0; d < 40; ++d) {
        const DirectoryNodePtr folder = TreeBuilder::folder(root, QStringLiteral("folder %1").arg(d));
        for (int f = 0; f < 1000; ++f)
            TreeBuilder::file(folder, QStringLiteral("a rather long file name number %1.dat").arg(f), f * 1000);
    }
    TreeBuilder::total(root);
    return root;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

#ifdef Q_OS_LINUX
// The document an export of the tree writes, through a file of its own.
QByteArray document(const QString& format, const DirectoryNodePtr& tree)
{
    QTemporaryDir elsewhere;
    const QString path = elsewhere.filePath(QStringLiteral("reference.") + format);
    return makeExporter(format)->exportTo(path, tree, nullptr) ? test::readAll(path) : QByteArray();
}

// An inventory without the line of one entry, to compare everything else.
QStringList others(QStringList inventory, const QString& relativePath)
{
    const QString head = relativePath + QLatin1Char('|');
    inventory.erase(std::remove_if(inventory.begin(), inventory.end(),
                                   [&](const QString& line) { return line.startsWith(head); }),
                    inventory.end());
    return inventory;
}
#endif

struct WorkerOutcome
{
    bool finished = false;
    bool ok = false;
    QString path;
    QString error;
};

WorkerOutcome runWorker(const NativePath& target, TargetMode mode, const QString& format,
                        const DirectoryNodePtr& tree)
{
    ExportWorker worker;
    WorkerOutcome outcome;
    QObject::connect(
        &worker, qOverload<bool, const QString&, const QString&>(&ExportWorker::finished), &worker,
        [&](bool ok, const QString& path, const QString& error) { outcome = {true, ok, path, error}; },
        Qt::DirectConnection);
    worker.setup(target, tree, makeExporter(format), mode);
    worker.start(QThread::InheritPriority);
    worker.wait();
    return outcome;
}

#ifdef Q_OS_LINUX
// Reads a FIFO on a thread of its own until its writer closes it. The read
// end is opened at once without waiting; poll() then waits up to 30 seconds
// for a writer, so a writer that never comes fails the test instead of
// hanging it.
class FifoReader
{
public:
    explicit FifoReader(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
          thread_([this] { readAll(); })
    {
    }
    ~FifoReader()
    {
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    QByteArray received()
    {
        thread_.join();
        return data_;
    }

private:
    void readAll()
    {
        char buffer[65536];
        pollfd wait{fd_, POLLIN, 0};
        while (fd_ >= 0 && ::poll(&wait, 1, 30000) > 0) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return; // the writer is done
            if (n > 0)
                data_.append(buffer, int(n));
        }
    }

    const int fd_;
    QByteArray data_;
    std::thread thread_;
};
#endif

} // namespace

class ExportFailureTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString mounted;

private slots:
    void cleanup()
    {
#ifdef Q_OS_LINUX
        if (!mounted.isEmpty())
            ::umount(QFile::encodeName(mounted).constData());
#endif
        mounted.clear();
    }

    void formats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("txt") << QStringLiteral("txt");
        QTest::newRow("xml") << QStringLiteral("xml");
    }

    void openFailureWritesNothing_data() { formats_data(); }
    void openFailureWritesNothing()
    {
        QFETCH(QString, format);
        const QString missing = dir.filePath(QStringLiteral("no/such/folder/list.") + format);
        const ExporterPtr exporter = makeExporter(format);
        QString error;
        QVERIFY(!exporter->exportTo(missing, TreeBuilder::example(), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(exporter->progress(), 0.0);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("no"))));

        // A folder standing where the file should go stays as it was.
        const QString folder = dir.filePath(QStringLiteral("taken.") + format);
        QVERIFY(test::writeFile(folder + QStringLiteral("/inside"), QByteArray("kept")));
        error.clear();
        QVERIFY(!makeExporter(format)->exportTo(folder, TreeBuilder::example(), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(entries(folder), QStringList{QStringLiteral("inside")});
        QVERIFY(!makeExporter(format)->exportTo(folder, TreeBuilder::example(), nullptr));

        // Without a tree there is nothing to write.
        const QString unwritten = dir.filePath(QStringLiteral("no-tree.") + format);
        error.clear();
        QVERIFY(!makeExporter(format)->exportTo(unwritten, DirectoryNodePtr(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFileInfo::exists(unwritten));
    }

    void readOnlyTargetIsLeftAlone_data() { formats_data(); }
    void readOnlyTargetIsLeftAlone()
    {
        if (test::runningAsRoot())
            QSKIP("root may write to any file, so a read-only target cannot refuse the export");
        QFETCH(QString, format);
        const QString path = dir.filePath(QStringLiteral("readonly.") + format);
        QVERIFY(test::writeFile(path, QByteArray("older content")));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QString error;
        QVERIFY(!makeExporter(format)->exportTo(path, TreeBuilder::example(), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(test::readAll(path), QByteArray("older content"));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void successReplacesAnOlderFileWhole_data() { formats_data(); }
    void successReplacesAnOlderFileWhole()
    {
        QFETCH(QString, format);
        const QString path = dir.filePath(QStringLiteral("replaced.") + format);
        QVERIFY(test::writeFile(path, QByteArray(300000, 'x')));
        QString error;
        QVERIFY2(makeExporter(format)->exportTo(path, TreeBuilder::example(), &error), qPrintable(error));
        const QByteArray content = test::readAll(path);
        QVERIFY(content.size() < 10000);
        QVERIFY(!content.contains('x' + QByteArray(10, 'x')));
        QVERIFY(content.endsWith(format == QLatin1String("txt") ? "|    |====[Y]\r\n" : "</korvo>\n"));
        const QString name = QStringLiteral("replaced.") + format;
        QCOMPARE(entries(dir.path()).filter(name), QStringList{name}); // no temporary file left
    }

    // On a disk that fills up, a replacing export keeps the older file and
    // a create-only export leaves nothing behind; neither claims success.
    void fullDiskIsReportedAndNothingIsLost_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<TargetMode>("mode");
        QTest::newRow("txt replace") << QStringLiteral("txt") << TargetMode::Replace;
        QTest::newRow("xml replace") << QStringLiteral("xml") << TargetMode::Replace;
        QTest::newRow("xml create-new") << QStringLiteral("xml") << TargetMode::CreateNew;
    }
    void fullDiskIsReportedAndNothingIsLost()
    {
        QFETCH(QString, format);
        QFETCH(TargetMode, mode);
        const QString disk = dir.filePath(QStringLiteral("small-") + QTest::currentDataTag());
        const QString unmounted = mountSmallDisk(disk);
        if (!unmounted.isEmpty())
            QSKIP(qPrintable(unmounted));
        QVERIFY(test::writeFile(disk + QStringLiteral("/older.") + format, QByteArray("older content")));
        const QString path = disk + (mode == TargetMode::Replace ? QStringLiteral("/older.") : QStringLiteral("/new."))
                             + format;
        const QStringList before = test::treeInventory(disk);

        const ExporterPtr exporter = makeExporter(format);
        QString error;
        QVERIFY(!exporter->exportTo(NativePath::fromText(path), mode, largeTree(), &error));
        QVERIFY2(error.contains(QStringLiteral("space"), Qt::CaseInsensitive), qPrintable(error));
        QVERIFY(exporter->progress() < 100.0); // it stopped at the first failed write
        QCOMPARE(test::treeInventory(disk), before); // no temporary or partial file left
    }

    // A FIFO (or a link to one) is written directly: the reader gets the
    // whole document and the node stays what it was. On Windows a device
    // name (NUL, in any folder) takes the document, and no file of that
    // name appears.
    void specialTargetIsWrittenDirectly_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("txt fifo") << QStringLiteral("txt") << false;
        QTest::newRow("xml link to fifo") << QStringLiteral("xml") << true;
    }
    void specialTargetIsWrittenDirectly()
    {
#ifdef Q_OS_WIN
        QFETCH(QString, format);
        QTemporaryDir here;
        QString error;
        QVERIFY2(makeExporter(format)->exportTo(here.filePath(QStringLiteral("NUL")), largeTree(), &error),
                 qPrintable(error));
        QCOMPARE(entries(here.path()), QStringList());
#elif !defined(Q_OS_LINUX)
        QSKIP("FIFOs are tested on Linux");
#else
        QFETCH(QString, format);
        QFETCH(bool, throughLink);
        QTemporaryDir here;
        const QString fifo = here.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString target = throughLink ? here.filePath(QStringLiteral("link.") + format) : fifo;
        if (throughLink)
            QVERIFY(QFile::link(QStringLiteral("pipe"), target));
        const QStringList before = test::treeInventory(here.path());
        const DirectoryNodePtr tree = largeTree(); // far more than a pipe holds

        FifoReader reader(fifo);
        QString error;
        QVERIFY2(makeExporter(format)->exportTo(target, tree, &error), qPrintable(error));
        const QByteArray received = reader.received();
        QCOMPARE(received.size(), document(format, tree).size());
        QVERIFY(received == document(format, tree));
        QCOMPARE(test::treeInventory(here.path()), before);
        QVERIFY(before.contains(QStringLiteral("pipe|fifo")));
#endif
    }

    // Where no temporary file can be made beside a writable file (root
    // ignores folder permissions, so this runs as an unprivileged user), the
    // file itself is rewritten; a full disk still fails the export.
    void writableFileInReadOnlyFolder_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("full");
        QTest::newRow("txt") << QStringLiteral("txt") << false;
        QTest::newRow("xml") << QStringLiteral("xml") << false;
        QTest::newRow("xml full disk") << QStringLiteral("xml") << true;
    }
    void writableFileInReadOnlyFolder()
    {
#ifndef Q_OS_LINUX
        QSKIP("Wine: a folder cannot be made read-only for new files, as Wine does not enforce Windows access rights");
#else
        QFETCH(QString, format);
        QFETCH(bool, full);
        QTemporaryDir here;
        QVERIFY(QFile::setPermissions(here.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                       | QFile::ReadOther | QFile::ExeOther));
        const QString folder = here.filePath(QStringLiteral("locked"));
        const QString unmounted = full ? mountSmallDisk(folder) : QString();
        if (!unmounted.isEmpty())
            QSKIP(qPrintable(unmounted));
        const auto unmount = qScopeGuard([this] { cleanup(); }); // before the folder goes
        const QString path = folder + QStringLiteral("/list.") + format;
        QVERIFY(test::writeFile(path, QByteArray("older content")));
        QVERIFY(test::writeFile(folder + QStringLiteral("/beside"), QByteArray("beside")));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        const QStringList before = test::treeInventory(here.path());
        const DirectoryNodePtr tree = full ? largeTree() : TreeBuilder::example();

        QByteArray outcome;
        QString why;
        const bool ran = test::runUnprivileged(
            [&] {
                QString error;
                const bool ok = makeExporter(format)->exportTo(path, tree, &error);
                return QByteArray(ok ? "written" : "failed: ") + error.toUtf8();
            },
            &outcome, &why);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        if (!ran)
            QSKIP(qPrintable(why));

        const QString name = QStringLiteral("locked/list.") + format;
        QCOMPARE(others(test::treeInventory(here.path()), name), others(before, name));
        const QByteArray expected = document(format, tree);
        if (!full) {
            QCOMPARE(outcome, QByteArray("written"));
            QVERIFY(test::readAll(path) == expected);
        } else {
            QVERIFY2(outcome.startsWith("failed: ") && outcome.contains("space"), outcome.constData());
            // What was written is lost with the older content: only the
            // beginning of the new document is there.
            const QByteArray partial = test::readAll(path);
            QVERIFY(partial.size() > 0 && partial.size() < expected.size());
            QVERIFY(expected.startsWith(partial));
        }
#endif
    }

    // A create-only export writes only a file it makes itself: whatever has
    // the name already (a file, a folder, a link that leads nowhere yet) is
    // left as it was and the system's reason is reported. The worker takes
    // the exact path, bytes that are not UTF-8 included.
    void createOnlyNeverTouchesWhatIsThere_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<TargetMode>("mode");
        QTest::addColumn<QString>("error");
#ifdef Q_OS_WIN
        // CreateFileW's CREATE_NEW names an existing entry by ERROR_FILE_EXISTS.
        const QString exists = qt_error_string(80);
#else
        const QString exists = qt_error_string(EEXIST);
#endif
        QTest::newRow("new file") << QByteArray("7.xml") << QString() << TargetMode::CreateNew << QString();
        QTest::newRow("file") << QByteArray("7.xml") << QStringLiteral("file") << TargetMode::CreateNew << exists;
        QTest::newRow("folder") << QByteArray("7.xml") << QStringLiteral("folder") << TargetMode::CreateNew << exists;
#ifdef Q_OS_LINUX
        QTest::newRow("dangling link") << QByteArray("7.xml") << QStringLiteral("link") << TargetMode::CreateNew
                                       << exists;
        QTest::newRow("not UTF-8") << QByteArray("7\xff.xml") << QString() << TargetMode::CreateNew << QString();
        QTest::newRow("not UTF-8, replace") << QByteArray("7\xff.xml") << QString() << TargetMode::Replace
                                            << QStringLiteral("文字として読めない名前のファイルには書き込めません。");
#endif
    }
    void createOnlyNeverTouchesWhatIsThere()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, existing);
        QFETCH(TargetMode, mode);
        QFETCH(QString, error);
        QTemporaryDir here;
        QVERIFY(test::makeFolder(here.filePath(QStringLiteral("elsewhere"))));
        const QString path = here.filePath(QFile::decodeName(name));
        if (existing == QLatin1String("file"))
            QVERIFY(test::writeFile(path, QByteArray("<older/>")));
        else if (existing == QLatin1String("folder"))
            QVERIFY(test::writeFile(path + QStringLiteral("/inside"), QByteArray("inside")));
        else if (existing == QLatin1String("link"))
            QVERIFY(QFile::link(QStringLiteral("elsewhere/made.xml"), path));
#ifdef Q_OS_WIN
        const NativePath target = NativePath::fromText(QDir::toNativeSeparators(path));
#else
        const NativePath target = NativePath::fromText(here.path()).child(NativePath::fromBytes(name));
#endif
        const QStringList before = test::treeInventory(here.path());

        const WorkerOutcome outcome = runWorker(target, mode, QStringLiteral("xml"), TreeBuilder::example());
        const bool made = platform::entryExists(target, nullptr) && existing.isEmpty();
        if (made)
            platform::removeFile(target); // QTemporaryDir cannot see a name that is not UTF-8
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.path, target.toText());
        QCOMPARE(outcome.error, error);
        QCOMPARE(outcome.ok, error.isEmpty());
        QCOMPARE(made, error.isEmpty());
        QCOMPARE(test::treeInventory(here.path()), before);
    }

private:
    // Mounts a 64 KiB tmpfs on the folder (made if missing) until the test
    // ends; gives the reason when that is not possible here.
    QString mountSmallDisk(const QString& folder)
    {
#ifndef Q_OS_LINUX
        Q_UNUSED(folder)
        return QStringLiteral("Wine: a Windows program cannot mount a small file system to fill");
#else
        if (!test::runningAsRoot())
            return QStringLiteral("needs root to mount a small tmpfs that fills up during the export");
        if (!QDir().mkpath(folder))
            return QStringLiteral("cannot make the mount point");
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            return QStringLiteral("mounting a tmpfs is not permitted here");
        mounted = folder;
        return QString();
#endif
    }
};

QTEST_GUILESS_MAIN(ExportFailureTest)
#include "tst_exportfailure.moc"
