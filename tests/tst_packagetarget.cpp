#include "PackageMover.h"
#include "PackageTarget.h"
#include "Platform.h"
#include "TreeInventory.h"
#include "ScanSupport.h"
#include "TestSupport.h"

#include <QtTest>

#include <cerrno>
#include <limits>

#ifndef Q_OS_WIN
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

// A scanned folder src/ (a.txt, b.bin, d/x) whose packages go to the
// volume vol/, under korvo_pack/CD/L.
struct MoveSetup
{
    QTemporaryDir temp;
    QString source = temp.filePath(QStringLiteral("src"));
    QString volume = temp.filePath(QStringLiteral("vol"));
    QString base = temp.filePath(QStringLiteral("vol/korvo_pack/CD/L"));
    DirectoryNodePtr root;

    bool make()
    {
        root = temp.isValid() && writeFile(source + QStringLiteral("/a.txt"), 100)
                       && writeFile(source + QStringLiteral("/b.bin"), 300)
                       && writeFile(source + QStringLiteral("/d/x"), 200) && makeFolder(volume)
                   ? scanFolder(source)
                   : DirectoryNodePtr();
        return root;
    }

    PackageMover mover() const
    {
        return PackageMover(root, NativePath::fromText(volume), QStringLiteral("CD"), QStringLiteral("L"));
    }

    PackagePtr package(const QStringList& names) const
    {
        PackagePtr package(new Package);
        for (const FileNodePtr& file : root->files()) {
            if (names.contains(file->fileName()))
                package->items << file;
        }
        for (const DirectoryNodePtr& folder : root->subdirectories()) {
            if (names.contains(folder->fileName()))
                package->items << folder;
        }
        return package;
    }

    QStringList inventory() const { return treeInventory(temp.path()); }
    // The relative path of package folder N.
    static QString folder(int number) { return QStringLiteral("vol/korvo_pack/CD/L/%1").arg(number); }
};

// Moves the named items into a folder the mover makes from number `wanted`
// on; the number it took, or -1.
int moveFrom(PackageMover& mover, int wanted, const PackagePtr& package)
{
    PackageFolder folder;
    if (!mover.createPackageFolder(wanted, &folder) || !mover.moveItems(folder, package)
        || !mover.finishPackage(folder))
        return -1;
    return folder.number;
}

} // namespace

class PackageTargetTest : public QObject
{
    Q_OBJECT
private slots:
    void layoutTexts()
    {
#ifdef Q_OS_WIN
        const QString base = PackageTarget::baseFolder(QStringLiteral("C:/"), QStringLiteral("CD"), QStringLiteral("L"));
        QCOMPARE(base, QStringLiteral("C:\\korvo_pack\\CD\\L\\"));
        QCOMPARE(PackageTarget::packageFolder(base, 3), QStringLiteral("C:\\korvo_pack\\CD\\L\\3\\"));
        QCOMPARE(PackageTarget::listingPath(base, 3), QStringLiteral("C:\\korvo_pack\\CD\\L\\3.xml"));
        // A volume root given as a folder (korvo-cli --volume-root) is written
        // with backslashes only, like the drive root.
        QCOMPARE(PackageTarget::baseFolder(QStringLiteral("D:/data/vol/"), QStringLiteral("CD"), QString()),
                 QStringLiteral("D:\\data\\vol\\korvo_pack\\CD\\\\"));
#else
        const QString base =
            PackageTarget::baseFolder(QStringLiteral("/mnt/disk"), QStringLiteral("CD"), QStringLiteral("L"));
        QCOMPARE(base, QStringLiteral("/mnt/disk/korvo_pack/CD/L/"));
        QCOMPARE(PackageTarget::packageFolder(base, 3), QStringLiteral("/mnt/disk/korvo_pack/CD/L/3/"));
        QCOMPARE(PackageTarget::listingPath(base, 3), QStringLiteral("/mnt/disk/korvo_pack/CD/L/3.xml"));
        // The file system root stays absolute.
        QCOMPARE(PackageTarget::baseFolder(QStringLiteral("/"), QStringLiteral("PACK_200MB"), QStringLiteral("x")),
                 QStringLiteral("/korvo_pack/PACK_200MB/x/"));
        // An empty label puts the packages right under the order's folder.
        const QString unlabelled =
            PackageTarget::baseFolder(QStringLiteral("/v/"), QStringLiteral("CD"), QString());
        QCOMPARE(unlabelled, QStringLiteral("/v/korvo_pack/CD//"));
        QCOMPARE(QDir::cleanPath(PackageTarget::packageFolder(unlabelled, 1)), QStringLiteral("/v/korvo_pack/CD/1"));
        QCOMPARE(QDir::cleanPath(PackageTarget::listingPath(unlabelled, 1)),
                 QStringLiteral("/v/korvo_pack/CD/1.xml"));
#endif
    }

    // The largest number among folders and listings, "5" and "5.xml" alike;
    // other names, hidden entries and a missing folder count nothing.
    void folderNumberBase()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        PackageMover mover(DirectoryNodePtr(), NativePath::fromText(temp.path()), QStringLiteral("CD"),
                           QStringLiteral("L"));
        const QString base = temp.filePath(QStringLiteral("korvo_pack/CD/L/"));
        int number = -1;
        QVERIFY(mover.findNumberBase(&number));
        QCOMPARE(number, 0);
        QVERIFY(makeFolder(base));
        QVERIFY(mover.findNumberBase(&number));
        QCOMPARE(number, 0);
        for (int i = 1; i <= 4; ++i)
            QVERIFY(makeFolder(base + QString::number(i)));
        QVERIFY(writeFile(base + QStringLiteral("5.xml"), QByteArray("<korvo/>")));
        QVERIFY(writeFile(base + QStringLiteral("notes.txt"), QByteArray("x")));
        QVERIFY(makeFolder(base + QStringLiteral("12abc")));
        QVERIFY(writeFile(base + QStringLiteral(".99"), QByteArray("hidden")));
        QVERIFY(mover.findNumberBase(&number));
        QCOMPARE(number, 5);
        QVERIFY(makeFolder(base + QStringLiteral("40.old.d")));
        QVERIFY(mover.findNumberBase(&number));
        QCOMPARE(number, 40);
        QVERIFY(mover.errorString().isEmpty());

        QCOMPARE(PackageTarget::folderNumber(5, 0), 6);
        QCOMPARE(PackageTarget::folderNumber(5, 3), 9);
        QCOMPARE(PackageTarget::folderNumber(std::numeric_limits<int>::max() - 1, 0),
                 std::numeric_limits<int>::max());
        QCOMPARE(PackageTarget::folderNumber(std::numeric_limits<int>::max(), 0), -1);
    }

    // A package only goes into a folder it makes: a number whose folder or
    // listing is there by the time of the move (another move, made after
    // this one's numbers were counted) is skipped, later ones stay as they are.
    void takesTheNextFreeNumber_data()
    {
        QTest::addColumn<QStringList>("existing"); // "N/" a folder, "name@" a dangling link, else a file
        QTest::addColumn<int>("expected");
        QTest::newRow("numbers free") << QStringList() << 1;
        QTest::newRow("folder taken") << QStringList{QStringLiteral("1/")} << 2;
        QTest::newRow("listing taken") << QStringList{QStringLiteral("1.xml")} << 2;
        QTest::newRow("listing a dangling link") << QStringList{QStringLiteral("1.xml@")} << 2;
        QTest::newRow("file named as the folder") << QStringList{QStringLiteral("1")} << 2;
        QTest::newRow("next listing taken too") << QStringList{QStringLiteral("1/"), QStringLiteral("2.xml")} << 3;
        QTest::newRow("later numbers") << QStringList{QStringLiteral("2/"), QStringLiteral("3.xml")} << 1;
    }

    void takesTheNextFreeNumber()
    {
        QFETCH(QStringList, existing);
        QFETCH(int, expected);
        MoveSetup setup;
        QVERIFY(setup.make());
        for (QString entry : existing) {
            const QString path = setup.base + QLatin1Char('/') + entry;
            if (entry.endsWith(QLatin1Char('/')))
                QVERIFY(makeFolder(path));
            else if (entry.endsWith(QLatin1Char('@')))
                QVERIFY(makeFolder(setup.base) && QFile::link(setup.temp.filePath(QStringLiteral("none")), path.chopped(1)));
            else
                QVERIFY(writeFile(path, QStringLiteral("already here: %1").arg(entry).toUtf8()));
        }
        const QStringList before = setup.inventory();

        PackageMover mover = setup.mover();
        QCOMPARE(moveFrom(mover, 1, setup.package({QStringLiteral("a.txt"), QStringLiteral("d")})), expected);
        QCOMPARE(setup.inventory(), movedInventory(before, QStringLiteral("src"),
                                                   {QStringLiteral("a.txt"), QStringLiteral("d")},
                                                   MoveSetup::folder(expected)));
    }

    // Two moves to one label whose numbers were counted before either ran:
    // the second takes the numbers after the first's, and nothing mixes.
    void twoMovesFromOneBase()
    {
        MoveSetup setup;
        QVERIFY(setup.make());
        PackageMover first = setup.mover();
        PackageMover second = setup.mover();
        int firstBase = -1;
        int secondBase = -1;
        QVERIFY(first.findNumberBase(&firstBase) && second.findNumberBase(&secondBase));
        QCOMPARE(firstBase, 0);
        QCOMPARE(secondBase, 0);
        const QStringList before = setup.inventory();

        QCOMPARE(moveFrom(first, PackageTarget::folderNumber(firstBase, 0), setup.package({QStringLiteral("a.txt")})), 1);
        QCOMPARE(moveFrom(second, PackageTarget::folderNumber(secondBase, 0), setup.package({QStringLiteral("d")})), 2);
        QCOMPARE(moveFrom(second, PackageTarget::folderNumber(secondBase, 1), setup.package({QStringLiteral("b.bin")})),
                 3);
        QStringList expected = movedInventory(before, QStringLiteral("src"), {QStringLiteral("a.txt")},
                                              MoveSetup::folder(1));
        expected = movedInventory(expected, QStringLiteral("src"), {QStringLiteral("d")}, MoveSetup::folder(2));
        expected = movedInventory(expected, QStringLiteral("src"), {QStringLiteral("b.bin")}, MoveSetup::folder(3));
        QCOMPARE(setup.inventory(), expected);
    }

    // A base folder that may be written and entered but not listed fails
    // the move with the system's reason instead of counting from 0; a
    // volume where korvo_pack cannot be made names that reason too.
    void baseFolderProblemsCarryTheSystemsReason()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine: a folder cannot be made unreadable or unwritable, as Wine does not enforce Windows access rights");
#else
        MoveSetup setup;
        QVERIFY(setup.make());
        QVERIFY(makeFolder(setup.base + QStringLiteral("/1")));
        QVERIFY(writeFile(setup.base + QStringLiteral("/1.xml"), QByteArray("<korvo/>")));
        const QString readOnly = setup.temp.filePath(QStringLiteral("ro"));
        QVERIFY(makeFolder(readOnly));
        QVERIFY(handOverToUnprivilegedUser(setup.temp.path()));
        const QStringList before = setup.inventory();
        const QByteArray base = QFile::encodeName(setup.base);
        QCOMPARE(::chmod(base.constData(), 0333), 0);
        QCOMPARE(::chmod(QFile::encodeName(readOnly).constData(), 0555), 0);

        auto attempt = [&] {
            PackageMover mover = setup.mover();
            int number = -1;
            const bool listed = mover.findNumberBase(&number);
            const QByteArray listing = listed ? QByteArray("listed") : mover.errorString().toUtf8();
            PackageMover elsewhere(setup.root, NativePath::fromText(readOnly), QStringLiteral("CD"), QString());
            PackageFolder folder;
            const bool created = elsewhere.createPackageFolder(1, &folder);
            return listing + '|' + (created ? QByteArray("created") : elsewhere.errorString().toUtf8());
        };
        QByteArray output;
        QString why;
        const bool ran = runUnprivileged(attempt, &output, &why);
        ::chmod(base.constData(), 0755);
        QVERIFY2(ran, qPrintable(why));
        const QList<QByteArray> parts = output.split('|');
        QCOMPARE(parts.size(), 2);
        QCOMPARE(QString::fromUtf8(parts.at(0)),
                 QStringLiteral("List folder failed. path:%1 winError:%2 (%3).\r\n")
                     .arg(setup.base).arg(EACCES).arg(platform::errorText(EACCES)));
        QCOMPARE(QString::fromUtf8(parts.at(1)),
                 QStringLiteral("Create folder failed. path:%1/korvo_pack winError:%2 (%3).\r\n")
                     .arg(readOnly).arg(EACCES).arg(platform::errorText(EACCES)));
        QCOMPARE(setup.inventory(), before);
#endif
    }

    // A level of the base folder that is a link, or another user's folder,
    // stops the move with a line naming it; nothing reaches the place it
    // leads to.
    void linkedOrForeignLevelsStopTheMove_data()
    {
        QTest::addColumn<QString>("level");
        QTest::addColumn<bool>("link");
        QTest::addColumn<QString>("reason");
        QTest::newRow("korvo_pack a link") << QStringLiteral("vol/korvo_pack") << true
                                           << QStringLiteral("is a link; it is never followed");
        QTest::newRow("label a link") << QStringLiteral("vol/korvo_pack/CD/L") << true
                                      << QStringLiteral("is a link; it is never followed");
        QTest::newRow("order another user's") << QStringLiteral("vol/korvo_pack/CD") << false
                                              << QStringLiteral("belongs to another user");
    }

    void linkedOrForeignLevelsStopTheMove()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine makes no symbolic links and keeps no owners");
#else
        QFETCH(QString, level);
        QFETCH(bool, link);
        QFETCH(QString, reason);
        if (!link && !runningAsRoot())
            QSKIP("giving a folder to another user needs root");
        MoveSetup setup;
        QVERIFY(setup.make());
        const QString elsewhere = setup.temp.filePath(QStringLiteral("elsewhere"));
        const QString path = setup.temp.filePath(level);
        QVERIFY(makeFolder(elsewhere) && makeFolder(QFileInfo(path).path()));
        if (link)
            QVERIFY(QFile::link(elsewhere, path));
        else
            QVERIFY(makeFolder(path) && ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
        const QStringList before = setup.inventory();

        PackageMover mover = setup.mover();
        PackageFolder folder;
        QVERIFY(!mover.createPackageFolder(1, &folder));
        QCOMPARE(mover.errorString(),
                 QStringLiteral("The base folder level %1. path:%2.\r\n").arg(reason, path));
        QCOMPARE(setup.inventory(), before);
#endif
    }

    // Once made, the package folder is the one its items move into, even
    // when a level of its path is swapped for a link meanwhile.
    void itemsGoIntoTheFolderMadeForThem()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine makes no symbolic links");
#else
        MoveSetup setup;
        QVERIFY(setup.make());
        const QString elsewhere = setup.temp.filePath(QStringLiteral("elsewhere"));
        QVERIFY(makeFolder(elsewhere + QStringLiteral("/CD/L")));
        PackageMover mover = setup.mover();
        PackageFolder folder;
        QVERIFY(mover.createPackageFolder(1, &folder));
        const QString pack = setup.temp.filePath(QStringLiteral("vol/korvo_pack"));
        QVERIFY(QDir().rename(pack, pack + QStringLiteral(".kept")));
        QVERIFY(QFile::link(elsewhere, pack));
        QVERIFY2(mover.moveItems(folder, setup.package({QStringLiteral("a.txt"), QStringLiteral("d")})),
                 qPrintable(mover.errorString()));
        QVERIFY(QFileInfo::exists(pack + QStringLiteral(".kept/CD/L/1/a.txt")));
        QVERIFY(QFileInfo::exists(pack + QStringLiteral(".kept/CD/L/1/d/x")));
        QCOMPARE(QDir(elsewhere + QStringLiteral("/CD/L")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
#endif
    }

    void singleFolderNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << QStringLiteral("CD") << true;
        QTest::newRow("japanese with blank") << QStringLiteral("写真 2024") << true;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("dots inside") << QStringLiteral("a..b") << true;
        QTest::newRow("slash") << QStringLiteral("a/b") << false;
        QTest::newRow("leading slash") << QStringLiteral("/etc") << false;
        QTest::newRow("backslash") << QStringLiteral("a\\b") << false;
        QTest::newRow("dot") << QStringLiteral(".") << false;
        QTest::newRow("dot dot") << QStringLiteral("..") << false;
        QTest::newRow("nul") << QString(QStringLiteral("..") + QChar(0) + QStringLiteral("x")) << false;
#ifdef Q_OS_WIN
        QTest::newRow("dot dot blank") << QStringLiteral(".. ") << false;
        QTest::newRow("drive") << QStringLiteral("C:") << false;
#endif
    }

    void singleFolderNames()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QString error;
        QCOMPARE(PackageTarget::isSingleFolderName(text, &error), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        if (!accepted)
            QVERIFY(error.contains(QStringLiteral("not a single folder name")));
    }

    // The volume root is the mount point of the scanned folder's file
    // system, an absolute path, reached through links to the real folder.
    void volumeRoot()
    {
#ifdef Q_OS_WIN
        QCOMPARE(rootOf(QStringLiteral("C:/Windows/System32")), QStringLiteral("C:/"));
#else
        QCOMPARE(rootOf(QStringLiteral("/")), QStringLiteral("/"));
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString outer = rootOf(temp.path());
        QVERIFY(QDir::isAbsolutePath(outer));
        QVERIFY(QDir(outer).exists());
        if (!runningAsRoot())
            QSKIP("mounting a file system (tmpfs) to find its mount point needs root");
        const QString mountPoint = temp.filePath(QStringLiteral("mnt"));
        QVERIFY(makeFolder(mountPoint));
        QCOMPARE(::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=1m,mode=0755"), 0);
        struct Unmount
        {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{QFile::encodeName(mountPoint)};
        QVERIFY(makeFolder(mountPoint + QStringLiteral("/a/b/c")));
        QCOMPARE(rootOf(mountPoint + QStringLiteral("/a/b/c")), mountPoint);
        QCOMPARE(rootOf(mountPoint), mountPoint);
        QCOMPARE(rootOf(temp.path()), outer);
        // A link into the mounted file system leads to its mount point.
        const QString link = temp.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(mountPoint + QStringLiteral("/a/b"), link));
        QCOMPARE(rootOf(link), mountPoint);
#endif
    }

    // A user gets the highest folder above the scanned one that is theirs
    // alone: never one that another user owns or that others may write to
    // (where korvo_pack could be planted), sticky or not, nor one whose
    // korvo_pack is a link.
    void volumeRootForAUser()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows keeps the drive root");
#else
        if (!runningAsRoot())
            QSKIP("mounting a file system (tmpfs) whose folders belong to another user needs root");
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        QCOMPARE(::chmod(QFile::encodeName(temp.path()).constData(), 0755), 0);
        const QString mnt = temp.filePath(QStringLiteral("mnt"));
        QVERIFY(makeFolder(mnt));
        QCOMPARE(::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=1m,mode=0755"), 0);
        struct Unmount
        {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{QFile::encodeName(mnt)};
        // mnt/a (root's), mnt/a/home and the scanned mnt/a/home/scan (the
        // user's), mnt/a/shared (root's, sticky and world-writable) holding
        // the user's mine/scan, and mnt/x/y (root's).
        const QString home = mnt + QStringLiteral("/a/home");
        const QString mine = mnt + QStringLiteral("/a/shared/mine");
        QVERIFY(makeFolder(home + QStringLiteral("/scan")) && makeFolder(mnt + QStringLiteral("/x/y"))
                && makeFolder(mine + QStringLiteral("/scan")));
        for (const QString& folder : {home, home + QStringLiteral("/scan"), mine, mine + QStringLiteral("/scan")})
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        auto mode = [&](const QString& relative, mode_t bits) {
            return ::chmod(QFile::encodeName(mnt + relative).constData(), bits) == 0;
        };
        QVERIFY(mode(QStringLiteral("/a/shared"), 01777));

        const QString scanned = home + QStringLiteral("/scan");
        QCOMPARE(rootAsUser(scanned), home);
        QCOMPARE(rootAsUser(mine + QStringLiteral("/scan")), mine);
        // Folders others may write to are passed over, the mount point's
        // korvo_pack too, however open.
        QVERIFY(mode(QStringLiteral("/a"), 0777));
        QVERIFY(makeFolder(mnt + QStringLiteral("/korvo_pack")) && mode(QStringLiteral("/korvo_pack"), 0777));
        QCOMPARE(rootAsUser(scanned), home);
        // A home others may write to, or whose korvo_pack is a link, is not
        // taken either: the mount point then, where making korvo_pack says why.
        QVERIFY(mode(QStringLiteral("/a/home"), 0775));
        QCOMPARE(rootAsUser(scanned), mnt);
        QVERIFY(mode(QStringLiteral("/a/home"), 0755));
        QVERIFY(QFile::link(mnt + QStringLiteral("/x"), home + QStringLiteral("/korvo_pack")));
        QCOMPARE(rootAsUser(scanned), mnt);
        QCOMPARE(rootAsUser(mnt + QStringLiteral("/x/y")), mnt);
#endif
    }

private:
    static QString rootOf(const QString& folder)
    {
        return PackageTarget::volumeRoot(NativePath::fromText(folder)).toText();
    }

    // The volume root as the user "nobody" sees it; empty when the check
    // could not run.
    static QString rootAsUser(const QString& folder)
    {
        QByteArray output;
        QString why;
        if (!runUnprivileged([&folder] { return rootOf(folder).toUtf8(); }, &output, &why)) {
            qWarning("%s", qPrintable(why));
            return QString();
        }
        return QString::fromUtf8(output);
    }
};

QTEST_GUILESS_MAIN(PackageTargetTest)
#include "tst_packagetarget.moc"
