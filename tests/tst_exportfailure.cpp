#include "Exporter.h"
#include "TestSupport.h"
#include "TreeBuilder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

using namespace korvo;
using korvo::test::TreeBuilder;

namespace {

ExporterPtr makeExporter(const QString& format)
{
    if (format == QLatin1String("txt"))
        return createTxtExporter(TxtExporterSettings());
    XmlExporterSettings settings;
    settings.output[DirectoryList] = true;
    return createXmlExporter(settings);
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

    void fullDiskIsReportedAndTheOlderFileKept_data() { formats_data(); }
    void fullDiskIsReportedAndTheOlderFileKept()
    {
#ifndef Q_OS_LINUX
        QSKIP("needs a small file system mounted for the test (a Linux tmpfs; under Wine a Windows program "
              "cannot mount one)");
#else
        if (!test::runningAsRoot())
            QSKIP("needs root to mount a small tmpfs that fills up during the export");
        QFETCH(QString, format);
        const QString disk = dir.filePath(QStringLiteral("small-") + format);
        QVERIFY(QDir().mkpath(disk));
        if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a tmpfs is not permitted here");
        mounted = disk;

        const QString path = disk + QStringLiteral("/list.") + format;
        QVERIFY(test::writeFile(path, QByteArray("older content")));
        const ExporterPtr exporter = makeExporter(format);
        QString error;
        QVERIFY(!exporter->exportTo(path, largeTree(), &error));
        QVERIFY2(error.contains(QStringLiteral("space"), Qt::CaseInsensitive), qPrintable(error));
        QVERIFY(exporter->progress() < 100.0); // it stopped at the first failed write
        QCOMPARE(test::readAll(path), QByteArray("older content"));
        QCOMPARE(entries(disk), QStringList{QStringLiteral("list.") + format}); // no temporary file left
#endif
    }
};

QTEST_GUILESS_MAIN(ExportFailureTest)
#include "tst_exportfailure.moc"
