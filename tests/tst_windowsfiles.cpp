// Windows file systems: the extended-length paths every Win32 call takes,
// the retry of steps a passing lock refuses, names that differ only in case,
// and (under Windows or Wine) names Windows reserves, unreadable folders and
// folder levels held while a move uses them.

#include "CaseTwins.h"
#include "ExtendedPath.h"
#include "FileList.h"
#include "FileNode.h"
#include "FolderHandle.h"
#include "FolderWalkFactory.h"
#include "ListedPaths.h"
#include "NameCase.h"
#include "Packager.h"
#include "Packer.h"
#include "Platform.h"
#include "ScanSupport.h"
#include "TestSupport.h"
#include "TransientRetry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

PackagablePtr fileItem(const QString& name, qint64 sizeOnDisk)
{
    return PackagablePtr(new FileNode(QStringLiteral("/src"), name, sizeOnDisk, sizeOnDisk, NodeTimes()));
}

QStringList namesOf(const PackagePtr& package)
{
    QStringList names;
    for (const PackagablePtr& item : package->items)
        names << item->fileName();
    return names;
}

#ifdef Q_OS_WIN
// Makes a file through the platform layer, which reaches names that Qt's
// own calls read as devices or trim.
bool makeExactFile(const QString& path, const QByteArray& content)
{
    QFile file;
    qint64 code = 0;
    return platform::createNewFile(NativePath::fromText(path), file, &code) && file.write(content) == content.size();
}

// Under Wine, a file made by a Linux program, which names it exactly: two
// names that differ only in case, as Linux or WSL make them. False, with
// why, where no Linux program can be run (real Windows).
bool makeLinuxFile(const QString& folder, const QString& name, int size, QString* why)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    *why = QStringLiteral("names that differ only in case are made from Linux, under Wine only");
    if (!convert)
        return false;
    char* unixPath = convert(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(folder).utf16()));
    if (!unixPath)
        return false;
    const QString path = QString::fromUtf8(unixPath) + QLatin1Char('/') + name;
    HeapFree(GetProcessHeap(), 0, unixPath);
    // Wine starts a Linux program but cannot wait for it: the file is
    // awaited in the folder's listing instead.
    *why = QStringLiteral("truncate did not make %1").arg(name);
    const int before = QDir(folder).entryList(QDir::Files).size();
    if (!QProcess::startDetached(QStringLiteral("Z:\\usr\\bin\\truncate"),
                                 {QStringLiteral("-s"), QString::number(size), path}))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (QDir(folder).entryList(QDir::Files).size() == before && waited.elapsed() < 20000)
        QThread::msleep(50);
    return QDir(folder).entryList(QDir::Files).size() > before;
}
#endif

} // namespace

class WindowsFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void extendedLengthPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extended");
        const QString none;
        QTest::newRow("drive path") << "C:/Users/a/b.txt" << R"(\\?\C:\Users\a\b.txt)";
        QTest::newRow("drive root") << "C:/" << R"(\\?\C:\)";
        QTest::newRow("backslashes kept") << R"(d:\x\y)" << R"(\\?\d:\x\y)";
        QTest::newRow("dot levels resolved") << "C:/a/./b/../c/" << R"(\\?\C:\a\c)";
        QTest::newRow("doubled separators") << "C:/a//b" << R"(\\?\C:\a\b)";
        QTest::newRow("never above the drive") << "C:/../../a" << R"(\\?\C:\a)";
        QTest::newRow("reserved and trimmed names") << "C:/x/CON/nul.txt/a. /b." << R"(\\?\C:\x\CON\nul.txt\a. \b.)";
        QTest::newRow("dots in names are names") << "C:/...a/a..b" << R"(\\?\C:\...a\a..b)";
        QTest::newRow("share") << "//server/share/a/b" << R"(\\?\UNC\server\share\a\b)";
        QTest::newRow("share root") << R"(\\server\share)" << R"(\\?\UNC\server\share\)";
        QTest::newRow("never above the share") << "//server/share/../../a" << R"(\\?\UNC\server\share\a)";
        QTest::newRow("already extended") << R"(\\?\C:\a\..\b)" << R"(\\?\C:\a\..\b)";
        QTest::newRow("already extended, slashes") << R"(\\?\C:\a/b)" << R"(\\?\C:\a\b)";
        QTest::newRow("device namespace") << R"(\\.\PIPE\x)" << R"(\\.\PIPE\x)";
        QTest::newRow("relative") << "a/b" << none;
        QTest::newRow("relative to a drive") << "C:a" << none;
        QTest::newRow("relative to the drive") << "/a/b" << none;
        QTest::newRow("server without share") << "//server" << none;
        QTest::newRow("share name a dot level") << "//server/../x" << none;
        QTest::newRow("empty") << "" << none;
    }
    void extendedLengthPaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, extended);
        QCOMPARE(platform::extendedLengthPath(path), extended);
    }

    void volumeRootsInTheUsualForm()
    {
        QCOMPARE(platform::fromExtendedLengthPath(QStringLiteral(R"(\\?\C:\)")), QStringLiteral("C:/"));
        QCOMPARE(platform::fromExtendedLengthPath(QStringLiteral(R"(\\?\C:\mnt\data\)")), QStringLiteral("C:/mnt/data/"));
        QCOMPARE(platform::fromExtendedLengthPath(QStringLiteral(R"(\\?\UNC\srv\share\)")), QStringLiteral("//srv/share/"));
        QCOMPARE(platform::fromExtendedLengthPath(QStringLiteral(R"(\\srv\share\)")), QStringLiteral("//srv/share/"));
    }

    void retryPolicy_data()
    {
        QTest::addColumn<int>("transientFailures"); // before a success; -1: a lasting refusal
        QTest::addColumn<int>("otherCode");         // a failure that is no passing lock, after them
        QTest::addColumn<int>("totalWaitMs");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QList<int>>("waits");
        QTest::newRow("at once") << 0 << 0 << 2000 << true << QList<int>();
        QTest::newRow("after two locks") << 2 << 0 << 2000 << true << QList<int>{50, 100};
        QTest::newRow("lock that lasts") << -1 << 0 << 2000 << false << QList<int>{50, 100, 200, 400, 800};
        QTest::newRow("other failure is final") << 0 << 2 << 2000 << false << QList<int>();
        QTest::newRow("other failure after a lock") << 1 << 2 << 2000 << false << QList<int>{50};
        QTest::newRow("short budget") << -1 << 0 << 120 << false << QList<int>{50, 70};
    }
    void retryPolicy()
    {
        QFETCH(int, transientFailures);
        QFETCH(int, otherCode);
        QFETCH(int, totalWaitMs);
        QFETCH(bool, succeeds);
        QFETCH(QList<int>, waits);
        const qint64 locked = 32;
        int calls = 0;
        QList<int> waited;
        platform::RetryPolicy policy;
        policy.totalWaitMs = totalWaitMs;
        qint64 code = 0;
        const bool done = platform::retryTransient(
            [&](qint64* error) {
                ++calls;
                if (transientFailures < 0 || calls <= transientFailures) {
                    *error = locked;
                    return false;
                }
                if (otherCode != 0) {
                    *error = otherCode;
                    return false;
                }
                return true;
            },
            &code, [&](qint64 error) { return error == locked; }, policy, [&](int ms) { waited << ms; });
        QCOMPARE(done, succeeds);
        QCOMPARE(waited, waits);
        QCOMPARE(calls, waits.size() + 1);
        int total = 0;
        for (int ms : waited)
            total += ms;
        QVERIFY(total <= 2000);
        if (!succeeds)
            QCOMPARE(code, otherCode != 0 ? qint64(otherCode) : locked);
    }

    void caseFolding()
    {
        QCOMPARE(platform::caseFoldedName(QStringLiteral("rw.txt")), platform::caseFoldedName(QStringLiteral("RW.TXT")));
        QCOMPARE(platform::caseFoldedName(QStringLiteral("Ärger")), QStringLiteral("ÄRGER"));
        // One unit for one unit, as the file systems' tables map them.
        QCOMPARE(platform::caseFoldedName(QStringLiteral("straße")), QStringLiteral("STRAßE"));
        QCOMPARE(platform::caseFoldedName(QStringLiteral("写真😀")), QStringLiteral("写真😀"));
        QVERIFY(platform::caseFoldedName(QStringLiteral("a.txt")) != platform::caseFoldedName(QStringLiteral("b.txt")));
    }

    // Of each pair that folds alike, the later item leaves the package: to
    // another that has room and no twin, else to a new one.
    void caseTwinsKeptApart_data()
    {
        QTest::addColumn<QList<QStringList>>("before");
        QTest::addColumn<QList<QStringList>>("after");
        QTest::newRow("no twins") << QList<QStringList>{{"a", "b"}} << QList<QStringList>{{"a", "b"}};
        QTest::newRow("new package") << QList<QStringList>{{"A.txt", "b", "a.txt"}}
                                     << QList<QStringList>{{"A.txt", "b"}, {"a.txt"}};
        QTest::newRow("three of a kind") << QList<QStringList>{{"x", "X", "x"}}
                                         << QList<QStringList>{{"x"}, {"X"}, {"x"}};
        QTest::newRow("room in another package") << QList<QStringList>{{"Q", "q"}, {"r"}}
                                                 << QList<QStringList>{{"Q"}, {"r", "q"}};
        QTest::newRow("not beside its twin") << QList<QStringList>{{"Q", "q"}, {"Q2", "q"}}
                                             << QList<QStringList>{{"Q"}, {"Q2", "q"}, {"q"}};
    }
    void caseTwinsKeptApart()
    {
        QFETCH(QList<QStringList>, before);
        QFETCH(QList<QStringList>, after);
        const qint64 limit = 3;
        QList<PackagePtr> packages;
        for (const QStringList& names : before) {
            PackagePtr package(new Package);
            for (const QString& name : names) {
                package->items << fileItem(name, 1);
                package->size += 1;
                package->sizeOnDisk += 1;
                package->weight += 1;
            }
            packages << package;
        }
        packing::separateCaseTwins(packages, limit, PackMeasure());
        QList<QStringList> got;
        for (const PackagePtr& package : packages) {
            got << namesOf(package);
            QCOMPARE(package->sizeOnDisk, qint64(package->items.size()));
            QCOMPARE(package->weight, package->sizeOnDisk);
            QVERIFY(package->sizeOnDisk <= limit);
        }
        QCOMPARE(got, after);
    }

    void listedPathsCompareAsTheFolderDoes()
    {
        FileList files;
        files.append("rw.txt", 1, true);
        files.append("Sub/A.txt", 1, true);
        files.finish();
        int index = -1;
        ListedPaths exact(files, false);
        QVERIFY(exact.mark("RW.TXT", &index));
        QCOMPARE(index, -1);
        QVERIFY(!exact.mark("RW.TXT", &index)); // listed twice all the same

        ListedPaths blind(files, true);
        QVERIFY(blind.mark("RW.TXT", &index));
        QCOMPARE(index, 0);
        QVERIFY(!blind.mark("rw.txt", &index)); // one name, listed twice
        QVERIFY(blind.mark("sub/a.TXT", &index));
        QCOMPARE(index, 1);
        QVERIFY(blind.mark("elsewhere", &index));
        QCOMPARE(index, -1);
        QVERIFY(!blind.mark("ELSEWHERE", &index));
    }

#ifdef Q_OS_WIN
    // Names Windows reads as devices or trims are scanned with their true
    // sizes and times, moved into a package, verified and moved back.
    void reservedNames()
    {
        QTemporaryDir temp;
        const QString source = temp.filePath(QStringLiteral("src"));
        const QString volume = temp.filePath(QStringLiteral("vol"));
        QVERIFY(makeFolder(source) && makeFolder(volume));
        const QStringList names{QStringLiteral("CON"), QStringLiteral("nul.txt"), QStringLiteral("aux.c"),
                                QStringLiteral("trail."), QStringLiteral("blank "), QStringLiteral("plain")};
        qint64 total = 0;
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY2(makeExactFile(source + QLatin1Char('/') + names.at(i), QByteArray(i + 1, 'x')), qPrintable(names.at(i)));
            total += i + 1;
        }
        qint64 code = 0;
        QVERIFY(platform::createFolder(NativePath::fromText(source + QStringLiteral("/COM1")), &code));
        QVERIFY(makeExactFile(source + QStringLiteral("/COM1/inside"), QByteArray(10, 'y')));
        total += 10;

        const DirectoryNodePtr root = scanFolder(source);
        QVERIFY(root);
        QCOMPARE(root->totalFileCount(), 7);
        QCOMPARE(root->totalSubdirectoryCount(), 1);
        QCOMPARE(root->totalSize(), total);
        for (const FileNodePtr& file : root->files())
            QVERIFY2(file->lastModified().isValid() && file->size() > 0, qPrintable(file->fileName()));

        const CliRun scan = runCli({QStringLiteral("scan"), QStringLiteral("--json"), source});
        QCOMPARE(scan.exitCode, 0);
        const QJsonObject object = QJsonDocument::fromJson(scan.out.toUtf8()).object();
        QCOMPARE(object.value(QStringLiteral("totalFileCount")).toInt(), 7);
        QCOMPARE(object.value(QStringLiteral("totalSubdirectoryCount")).toInt(), 1);
        QCOMPARE(object.value(QStringLiteral("totalSize")).toDouble(), double(total));

        const CliRun move = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1000000000"),
                                    QStringLiteral("--volume-root"), volume, QStringLiteral("--checksums"), source});
        QVERIFY2(move.exitCode == 0, qPrintable(move.out + move.err));
        const QString package = volume + QStringLiteral("/korvo_pack/1000000000/1");
        for (const QString& name : names + QStringList{QStringLiteral("COM1")}) {
            QVERIFY2(platform::identityOf(NativePath::fromText(package + QLatin1Char('/') + name), nullptr, nullptr,
                                          nullptr, &code), qPrintable(name));
            QVERIFY(!platform::identityOf(NativePath::fromText(source + QLatin1Char('/') + name), nullptr, nullptr,
                                          nullptr, &code));
        }
        const CliRun verify = runCli({QStringLiteral("verify"), package});
        QVERIFY2(verify.exitCode == 0, qPrintable(verify.out + verify.err));
        QVERIFY2(verify.out.startsWith(QStringLiteral("OK: all 7 files")), qPrintable(verify.out));

        // Qt cannot remove such names: the platform layer does.
        const NativePath moved = NativePath::fromText(package);
        for (const QString& name : names)
            QVERIFY(platform::removeFile(moved.child(name)));
        QVERIFY(platform::removeFile(moved.child(QStringLiteral("COM1/inside"))));
        QVERIFY(platform::removeEmptyFolder(moved.child(QStringLiteral("COM1")), &code));
    }

    // Twins are found before anything moves: the packer keeps them apart,
    // and a package that holds both anyway is refused whole.
    void caseTwinsOnAFolderThatTellsThemApart()
    {
        QTemporaryDir temp;
        const QString source = temp.filePath(QStringLiteral("src"));
        QVERIFY(makeFolder(source));
        // Wine's drives keep the Linux file system's exact names: both are
        // made on it, as from Linux or WSL, or in a case-sensitive folder.
        QString why;
        if (!makeLinuxFile(source, QStringLiteral("A.txt"), 5, &why))
            QSKIP(qPrintable(why));
        QVERIFY2(makeLinuxFile(source, QStringLiteral("a.txt"), 7, &why), qPrintable(why));
        const DirectoryNodePtr root = scanFolder(source);
        QVERIFY(root);
        QCOMPARE(root->fileCount(), 2);

        QList<PackagePtr> packages;
        PackageOrder order;
        order.size = 1 << 30;
        Packer::pack(order, Assorted, root, packages);
        QCOMPARE(packages.size(), 2);
        QCOMPARE(namesOf(packages.at(0)) + namesOf(packages.at(1)), QStringList({"A.txt", "a.txt"}));

        PackagePtr both(new Package);
        both->items << root->files().at(0) << root->files().at(1);
        const QString target = temp.filePath(QStringLiteral("target"));
        QVERIFY(makeFolder(target));
        Packager packager;
        QVERIFY(!packager.movePackage(QDir(target), both));
        QVERIFY2(packager.errorString().contains(QStringLiteral("differ only in case")), qPrintable(packager.errorString()));
        QVERIFY2(packager.errorString().contains(QDir::toNativeSeparators(source + QStringLiteral("/A.txt")))
                     && packager.errorString().contains(QDir::toNativeSeparators(source + QStringLiteral("/a.txt"))),
                 qPrintable(packager.errorString()));
        QVERIFY(!packager.leftItemsBehind());
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        // The CLI moves each into a package of its own, and puts nothing
        // back: both are there, each once.
        const QString volume = temp.filePath(QStringLiteral("vol"));
        QVERIFY(makeFolder(volume));
        const CliRun move = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1000000000"),
                                    QStringLiteral("--volume-root"), volume, QStringLiteral("--checksums"), source});
        QVERIFY2(move.exitCode == 0, qPrintable(move.out + move.err));
        const QString base = volume + QStringLiteral("/korvo_pack/1000000000/");
        QCOMPARE(QDir(base + QStringLiteral("1")).entryList(QDir::Files).size(), 1);
        QCOMPARE(QDir(base + QStringLiteral("2")).entryList(QDir::Files).size(), 1);
        QCOMPARE(runCli({QStringLiteral("verify"), base + QStringLiteral("1")}).exitCode, 0);
        QCOMPARE(runCli({QStringLiteral("verify"), base + QStringLiteral("2")}).exitCode, 0);
    }

    // A good copy whose names differ from the manifest's only in case is
    // good where the file system takes them for one name.
    void verifyByWindowsNames()
    {
        QTemporaryDir temp;
        const QString folder = temp.filePath(QStringLiteral("copy"));
        QVERIFY(makeFolder(folder) && makeFolder(folder + QStringLiteral("/Sub")));
        QVERIFY(writeFile(folder + QStringLiteral("/RW.TXT"), QByteArray("hello\n")));
        QVERIFY(writeFile(folder + QStringLiteral("/Sub/Inner.bin"), QByteArray("x")));
        // SHA-256 of "hello\n" and of "x".
        QVERIFY(writeFile(temp.filePath(QStringLiteral("copy.sha256")),
                          QByteArray("5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03  rw.txt\n"
                                     "2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881  sub/INNER.BIN\n")));
        const CliRun verify = runCli({QStringLiteral("verify"), folder});
        QVERIFY2(verify.exitCode == 0, qPrintable(verify.out + verify.err));
        QVERIFY2(verify.out.startsWith(QStringLiteral("OK: all 2 files")), qPrintable(verify.out));
    }

    // A folder that cannot be listed counts as empty and is said: here one
    // that is gone by the time the walk comes to it.
    void unreadableFolderIsSaid()
    {
        QTemporaryDir temp;
        const QString root = temp.filePath(QStringLiteral("root"));
        QVERIFY(makeFolder(root) && makeFolder(root + QStringLiteral("/gone")) && makeFolder(root + QStringLiteral("/kept")));
        QVERIFY(writeFile(root + QStringLiteral("/kept/f"), 3));
        std::atomic<bool> cancel(false);
        bool removed = false;
        // The walk lists the root, then its folders: the first to be listed
        // after the root loses its folder meanwhile.
        std::unique_ptr<FolderWalk> walk = createFolderWalk(ListingMethod::Native, NativePath::fromText(root),
                                                            platform::driveGeometry(NativePath::fromText(root)), 1,
                                                            FileSystemProbe());
        QStringList errors;
        walk->run(cancel, [&](DirectoryNode& folder, const FolderSums& sums) {
            if (folder.depth() == 0 && !removed)
                removed = QDir(root + QStringLiteral("/gone")).removeRecursively()
                          && QDir(root + QStringLiteral("/kept")).removeRecursively();
            if (sums.error != 0)
                errors << folder.fileName();
        });
        QVERIFY(removed);
        errors.sort();
        QCOMPARE(errors, QStringList({QStringLiteral("gone"), QStringLiteral("kept")}));
    }

    // Each level a move uses is held open: it cannot be renamed meanwhile.
    void heldLevelsCannotBeRenamed()
    {
        QTemporaryDir temp;
        const NativePath top = NativePath::fromText(temp.path());
        qint64 code = 0;
        platform::FolderHandle folder;
        QVERIFY(platform::FolderHandle::open(top, &folder, &code));
        platform::FolderHandle level;
        QCOMPARE(folder.openLevel(NativePath::fromText(QStringLiteral("a")), true, &level, &code),
                 platform::FolderLevel::Folder);
        platform::FolderHandle below;
        QCOMPARE(level.openLevel(NativePath::fromText(QStringLiteral("b")), true, &below, &code),
                 platform::FolderLevel::Folder);
        level = platform::FolderHandle(); // "a" stays held through "b"
        QVERIFY(!platform::moveWithoutReplacing(top.child(QStringLiteral("a")), top.child(QStringLiteral("moved")), &code));
        QVERIFY(!platform::moveWithoutReplacing(top.child(QStringLiteral("a/b")), top.child(QStringLiteral("a/c")), &code));
        below = platform::FolderHandle();
        QVERIFY(platform::moveWithoutReplacing(top.child(QStringLiteral("a")), top.child(QStringLiteral("moved")), &code));
    }
#endif
};

QTEST_GUILESS_MAIN(WindowsFilesTest)
#include "tst_windowsfiles.moc"
