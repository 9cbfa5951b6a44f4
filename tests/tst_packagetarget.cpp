#include "PackageTarget.h"
#include "TestSupport.h"

#include <QtTest>

#include <limits>

#ifndef Q_OS_WIN
#include <sys/mount.h>
#endif

using namespace korvo;
using namespace korvo::test;

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
        const QString base = temp.filePath(QStringLiteral("korvo_pack/CD/L/"));
        QCOMPARE(PackageTarget::findFolderNumberBase(base), 0);
        QVERIFY(makeFolder(base));
        QCOMPARE(PackageTarget::findFolderNumberBase(base), 0);
        for (int i = 1; i <= 4; ++i)
            QVERIFY(makeFolder(base + QString::number(i)));
        QVERIFY(writeFile(base + QStringLiteral("5.xml"), QByteArray("<korvo/>")));
        QVERIFY(writeFile(base + QStringLiteral("notes.txt"), QByteArray("x")));
        QVERIFY(makeFolder(base + QStringLiteral("12abc")));
        QVERIFY(writeFile(base + QStringLiteral(".99"), QByteArray("hidden")));
        QCOMPARE(PackageTarget::findFolderNumberBase(base), 5);
        QVERIFY(makeFolder(base + QStringLiteral("40.old.d")));
        QCOMPARE(PackageTarget::findFolderNumberBase(base), 40);

        QCOMPARE(PackageTarget::folderNumber(5, 0), 6);
        QCOMPARE(PackageTarget::folderNumber(5, 3), 9);
        QCOMPARE(PackageTarget::folderNumber(std::numeric_limits<int>::max() - 1, 0),
                 std::numeric_limits<int>::max());
        QCOMPARE(PackageTarget::folderNumber(std::numeric_limits<int>::max(), 0), -1);
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
        QCOMPARE(PackageTarget::volumeRoot(QStringLiteral("C:/Windows/System32")), QStringLiteral("C:/"));
#else
        QCOMPARE(PackageTarget::volumeRoot(QStringLiteral("/")), QStringLiteral("/"));
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString outer = PackageTarget::volumeRoot(temp.path());
        QVERIFY(QDir::isAbsolutePath(outer));
        QVERIFY(QDir(outer).exists());
        if (!runningAsRoot())
            QSKIP("mounting a file system (tmpfs) to find its mount point needs root");
        const QString mountPoint = temp.filePath(QStringLiteral("mnt"));
        QVERIFY(makeFolder(mountPoint));
        QCOMPARE(::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=1m"), 0);
        struct Unmount
        {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{QFile::encodeName(mountPoint)};
        QVERIFY(makeFolder(mountPoint + QStringLiteral("/a/b/c")));
        QCOMPARE(PackageTarget::volumeRoot(mountPoint + QStringLiteral("/a/b/c")), mountPoint);
        QCOMPARE(PackageTarget::volumeRoot(mountPoint), mountPoint);
        QCOMPARE(PackageTarget::volumeRoot(temp.path()), outer);
        // A link into the mounted file system leads to its mount point.
        const QString link = temp.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(mountPoint + QStringLiteral("/a/b"), link));
        QCOMPARE(PackageTarget::volumeRoot(link), mountPoint);
#endif
    }
};

QTEST_GUILESS_MAIN(PackageTargetTest)
#include "tst_packagetarget.moc"
