#include "ImageFormat.h"
#include "LinuxTools.h"
#include "PackageImage.h"
#include "TestSupport.h"

#include <QtTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

ToolRun runTool(const QString& program, const QStringList& arguments, const QString& folder = QString())
{
    return runLinuxTool(program, arguments, folder);
}

// Odd names as bytes: Japanese, an emoji, accented letters composed (NFC)
// and decomposed (NFD, as macOS writes them), 120 characters, blanks, and
// on Linux names equal but for case (Windows holds one of them).
QList<QByteArray> oddNames()
{
    QList<QByteArray> names{QStringLiteral("日本語の名前.txt").toUtf8(), QByteArray(116, 'n') + ".txt",
                            "with  two blanks.txt", "Case.txt", QStringLiteral("😀 絵文字.txt").toUtf8(),
                            QStringLiteral("café ñandú.txt").toUtf8(), QStringLiteral("cafe\u0301 décomposé.txt").toUtf8(),
                            QStringLiteral("深い/フォルダ/その下/file.dat").toUtf8()};
#ifndef Q_OS_WIN
    names << "case.txt";
#endif
    return names;
}

// A name that is not UTF-8 (Linux names are bytes): neither Joliet nor ZIP
// can hold it.
const QByteArray notUtf8 = "bad\xff\xfe name.bin";

bool writeBytesNamed(const QByteArray& path, const QByteArray& content)
{
#ifdef Q_OS_WIN
    return writeFile(QString::fromUtf8(path), content);
#else
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const bool ok = fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return fd >= 0 && ::close(fd) == 0 && ok;
#endif
}

// The names an isoinfo listing or unzip -Z1 gives, without folders.
QSet<QByteArray> listedFiles(const QByteArray& listing, const QSet<QByteArray>& folders)
{
    QSet<QByteArray> names;
    for (QByteArray line : listing.split('\n')) {
        while (line.startsWith('/'))
            line.remove(0, 1);
        if (!line.isEmpty() && !line.endsWith('/') && !folders.contains(line))
            names.insert(line);
    }
    return names;
}

} // namespace

class ImagesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    QString source;
    QString volume;

    int trees = 0;

    QString base(const QString& limit) const { return volume + QStringLiteral("/korvo_pack/") + limit; }

    // The odd names below src, one package; with a name that is not UTF-8
    // too, where names are bytes.
    void makeOddTree(bool withNotUtf8 = false)
    {
        // A new pair of folders each time: Qt cannot remove the names that
        // are not UTF-8 (cleanupTestCase does).
        ++trees;
        source = temp.filePath(QStringLiteral("src%1").arg(trees));
        volume = temp.filePath(QStringLiteral("vol%1").arg(trees));
        QVERIFY(makeFolder(source + QStringLiteral("/深い/フォルダ/その下")) && makeFolder(volume));
        int i = 0;
        QList<QByteArray> names = oddNames();
        if (withNotUtf8)
            names << notUtf8;
        for (const QByteArray& name : names)
            QVERIFY(writeBytesNamed(QFile::encodeName(source) + '/' + name, "content " + QByteArray::number(++i)));
        QVERIFY(writeFile(source + QStringLiteral("/large.bin"), qint64(3) << 20));
    }

    CliRun move(const QString& format, const QStringList& more = {})
    {
        return runCli(QStringList{QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1G"),
                                  QStringLiteral("--checksums"), QStringLiteral("--image"), format,
                                  QStringLiteral("--volume-root"), volume}
                      + more + QStringList{source});
    }

private slots:
    void init()
    {
        if (!ImageFormats::available())
            QSKIP(qPrintable(ImageFormats::unavailableReason()));
        QVERIFY(temp.isValid());
    }

    // Readers nobody here wrote see every file and name as it went in: the
    // files xorriso extracts pass sha256sum -c, Rock Ridge keeps each exact
    // name, Joliet holds the Japanese ones for Windows, and the image
    // verifies with the manifest beside it and with the one inside. Under
    // Wine the Linux tools read what the Windows build wrote.
    void isoReadByOtherReaders()
    {
        for (const char* tool : {"xorriso", "isoinfo", "sha256sum"}) {
            if (linuxTool(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing (scripts/setup installs it)").arg(QLatin1String(tool))));
        }
#ifndef Q_OS_WIN
        // A warning of the image library fails the image: Joliet cannot hold
        // a name that is not UTF-8 (Rock Ridge could), so no ISO is made.
        makeOddTree(true);
        const CliRun refused = move(QStringLiteral("iso"));
        QVERIFY2(refused.exitCode == 1 && refused.out.contains(QStringLiteral("cannot be converted to UTF-16BE"))
                     && refused.out.contains(QStringLiteral("パッケージ1のイメージの作成に失敗しました。")),
                 qPrintable(refused.out));
        QCOMPARE(QDir(base(QStringLiteral("1000000000"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("1"), QStringLiteral("1.sha256")}));
#endif
        makeOddTree();
        const CliRun run = move(QStringLiteral("iso"), {QStringLiteral("--label"), QStringLiteral("Photos 2024")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        const QString iso = base(QStringLiteral("1000000000/Photos 2024")) + QStringLiteral("/1.iso");
        QVERIFY2(run.out.contains(QDir::toNativeSeparators(iso) + QStringLiteral(" 保存に成功しました。"))
                     || run.out.contains(iso + QStringLiteral(" 保存に成功しました。")),
                 qPrintable(run.out));

        const QString extracted = temp.filePath(QStringLiteral("extracted%1").arg(trees));
        QVERIFY(runTool(QStringLiteral("xorriso"), {QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"),
                                                    toolPath(iso), QStringLiteral("-extract"), QStringLiteral("/"), toolPath(extracted)})
                    .exitCode == 0);
        const ToolRun sums = runTool(QStringLiteral("sha256sum"), {QStringLiteral("-c"), QStringLiteral("1.sha256")}, extracted);
        QVERIFY2(sums.exitCode == 0, sums.out.constData());
        QCOMPARE(sums.out.count(": OK\n"), oddNames().size() + 1);

        QSet<QByteArray> expected;
        for (const QByteArray& name : oddNames())
            expected.insert(name);
        expected << "large.bin" << "1.sha256";
        const QSet<QByteArray> folders{QStringLiteral("深い").toUtf8(), QStringLiteral("深い/フォルダ").toUtf8(),
                                       QStringLiteral("深い/フォルダ/その下").toUtf8()};
        const ToolRun rockRidge = runTool(QStringLiteral("isoinfo"), {QStringLiteral("-R"), QStringLiteral("-f"), QStringLiteral("-i"), toolPath(iso)});
        QCOMPARE(listedFiles(rockRidge.out, folders), expected);
        // Joliet: names as UTF-16, up to 103 characters.
        const ToolRun joliet = runTool(QStringLiteral("xorriso"), {QStringLiteral("-read_fs"), QStringLiteral("norock"),
                                                                   QStringLiteral("-indev"), toolPath(iso), QStringLiteral("-find"), QStringLiteral("/")});
        QVERIFY(joliet.out.contains(QStringLiteral("'/日本語の名前.txt'").toUtf8()));
        QVERIFY(joliet.out.contains(QStringLiteral("'/😀 絵文字.txt'").toUtf8()));
        QVERIFY(joliet.out.contains("'/with  two blanks.txt'") && joliet.out.contains("'/Case.txt'"));
        QVERIFY(joliet.out.contains(QStringLiteral("/深い/フォルダ/その下/file.dat").toUtf8()));
        QVERIFY(!joliet.out.contains(QByteArray(116, 'n') + ".txt"));
        const ToolRun jolietInfo = runTool(QStringLiteral("isoinfo"), {QStringLiteral("-J"), QStringLiteral("-f"), QStringLiteral("-i"), toolPath(iso)});
        QVERIFY(jolietInfo.out.contains("/Case.txt\n") && jolietInfo.out.contains("/large.bin\n"));
        QVERIFY(runTool(QStringLiteral("isoinfo"), {QStringLiteral("-d"), QStringLiteral("-i"), toolPath(iso)})
                    .out.contains("Volume id: PHOTOS_2024_1\n"));

        QCOMPARE(runCli({QStringLiteral("verify"), iso}).exitCode, 0);
        QVERIFY(QFile::rename(QFileInfo(iso).path() + QStringLiteral("/1.sha256"), temp.filePath(QStringLiteral("1.sha256"))));
        const CliRun inside = runCli({QStringLiteral("verify"), iso});
        QVERIFY2(inside.exitCode == 0 && inside.out.contains(QStringLiteral("1.sha256 in ")), qPrintable(inside.out + inside.err));
    }

    // A ZIP passes unzip -t and keeps its UTF-8 names, Japanese, emoji and
    // accented ones (outside any DOS code page) exactly, decomposed ones
    // too; its reader gives those back composed, and verify still matches
    // them with the manifest. A name that is not UTF-8, which a ZIP cannot
    // hold, fails the image and says why.
    void zipReadByUnzip()
    {
        if (linuxTool(QStringLiteral("unzip")).isEmpty())
            QSKIP("unzip is missing (scripts/setup installs it)");
#ifndef Q_OS_WIN
        makeOddTree(true);
        const CliRun refused = move(QStringLiteral("zip"));
        QVERIFY2(refused.exitCode == 1 && refused.out.contains(QStringLiteral("is not UTF-8")), qPrintable(refused.out));
        QVERIFY(refused.out.contains(QStringLiteral("パッケージ1のイメージの作成に失敗しました。")));
#endif
        makeOddTree();
        const CliRun run = move(QStringLiteral("zip"));
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        const QString zip = base(QStringLiteral("1000000000")) + QStringLiteral("/1.zip");
        const ToolRun test = runTool(QStringLiteral("unzip"), {QStringLiteral("-t"), toolPath(zip)});
        QVERIFY2(test.exitCode == 0, test.out.constData());
        QSet<QByteArray> expected;
        for (const QByteArray& name : oddNames())
            expected.insert(name);
        expected << "large.bin" << "1.sha256";
        const QSet<QByteArray> folders{QStringLiteral("深い").toUtf8(), QStringLiteral("深い/フォルダ").toUtf8(),
                                       QStringLiteral("深い/フォルダ/その下").toUtf8()};
        QCOMPARE(listedFiles(runTool(QStringLiteral("unzip"), {QStringLiteral("-Z1"), toolPath(zip)}).out, folders), expected);
        const CliRun verified = runCli({QStringLiteral("verify"), zip});
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        // The manifest inside the ZIP is matched the same way.
        QVERIFY(QFile::remove(base(QStringLiteral("1000000000")) + QStringLiteral("/1.sha256")));
        QCOMPARE(runCli({QStringLiteral("verify"), zip}).exitCode, 0);
    }

    // One flipped byte in a file's data fails verify, for both formats,
    // with the manifest beside the image and with the one inside.
    void flippedByteFailsVerify_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("manifestBeside");
        QTest::newRow("iso, manifest beside") << QStringLiteral("iso") << true;
        QTest::newRow("iso, manifest inside") << QStringLiteral("iso") << false;
        QTest::newRow("zip, manifest beside") << QStringLiteral("zip") << true;
        QTest::newRow("zip, manifest inside") << QStringLiteral("zip") << false;
    }

    void flippedByteFailsVerify()
    {
        QFETCH(QString, format);
        QFETCH(bool, manifestBeside);
        source = temp.filePath(QStringLiteral("flip/src"));
        volume = temp.filePath(QStringLiteral("flip/vol"));
        QVERIFY(QDir(temp.filePath(QStringLiteral("flip"))).removeRecursively() && makeFolder(volume));
        // Text that ZIP cannot shrink much, so that a flipped byte in the
        // middle falls into the file's data.
        QByteArray text;
        for (int i = 0; text.size() < 200000; ++i)
            text += QByteArray::number(qint64(i) * 2654435761u % 1000003) + ' ';
        QVERIFY(writeFile(source + QStringLiteral("/a.txt"), text));
        QVERIFY(move(format).exitCode == 0);
        const QString image = base(QStringLiteral("1000000000")) + QStringLiteral("/1.") + format;
        if (!manifestBeside)
            QVERIFY(QFile::remove(base(QStringLiteral("1000000000")) + QStringLiteral("/1.sha256")));
        QCOMPARE(runCli({QStringLiteral("verify"), image}).exitCode, 0);
        QFile file(image);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const int at = format == QStringLiteral("iso") ? bytes.indexOf(text.mid(100000, 64)) : bytes.size() / 2;
        QVERIFY(at > 0);
        bytes[at] = char(bytes.at(at) ^ 0x20);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();
        const CliRun flipped = runCli({QStringLiteral("verify"), QStringLiteral("--json"), image});
        QCOMPARE(flipped.exitCode, 1);
        const QJsonObject report = QJsonDocument::fromJson(flipped.out.toUtf8()).object();
        QCOMPARE(report.value(QStringLiteral("ok")).toBool(true), false);
        QVERIFY2(report.value(QStringLiteral("changed")).toArray().contains(QStringLiteral("a.txt"))
                     || report.contains(QStringLiteral("error")),
                 qPrintable(flipped.out));
    }

    // The manifest beside an image is read line by line as for a folder:
    // "a\0zzz" is a bad line, never a check of "a"; a path listed twice is
    // one too, whether its file is in the image or not; each is told at
    // its place among the files.
    void imageManifestLinesInOrder()
    {
        QTemporaryDir here;
        source = here.filePath(QStringLiteral("src"));
        volume = here.filePath(QStringLiteral("vol"));
        QVERIFY(writeFile(source + QStringLiteral("/a"), QByteArray("alpha")) && makeFolder(volume));
        QVERIFY(move(QStringLiteral("zip")).exitCode == 0);
        const QString manifest = base(QStringLiteral("1000000000")) + QStringLiteral("/1.sha256");
        const QByteArray digest = readAll(manifest).left(64);
        QCOMPARE(digest.size(), 64);
        QVERIFY(QFile::remove(manifest));
        QVERIFY(writeFile(manifest, digest + "  a" + QByteArray(1, '\0') + "zzz\nnot a line\n" + digest + "  a\n" +
                                        digest + "  a\n" + digest + "  gone\n" + digest + "  gone\n"));
        const CliRun run = runCli({QStringLiteral("verify"), base(QStringLiteral("1000000000")) + QStringLiteral("/1.zip")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(QString(run.out)
                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                     .replace(QDir::toNativeSeparators(manifest), QStringLiteral("M"))
                     .replace(manifest, QStringLiteral("M")),
                 QStringLiteral("M line 1: the path holds a NUL byte, which no file name can\n"
                                "M line 2: not a SHA-256 checksum line\n"
                                "M line 4: the file is listed twice\n"
                                "gone: missing\n"
                                "M line 6: the file is listed twice\n"
                                "FAILED: 0 changed, 1 missing, 0 unreadable, 0 unlisted, 4 bad manifest lines; "
                                "1 of 2 listed files match.\n"));
    }

    // find: a file three folders deep in package 1 is found there and
    // nowhere else, from the listings, or from the manifests alone.
    void findSearchesListingsAndManifests_data()
    {
        QTest::addColumn<QString>("written");
        QTest::newRow("listings") << QStringLiteral("--listing");
        QTest::newRow("manifests only") << QStringLiteral("--checksums");
    }

    void findSearchesListingsAndManifests()
    {
        QFETCH(QString, written);
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("src"));
        QVERIFY(writeFile(src + QStringLiteral("/A/x/y/Target.txt"), QByteArray("12345")));
        QVERIFY(writeFile(src + QStringLiteral("/A/fill"), qint64(100000)));
        QVERIFY(writeFile(src + QStringLiteral("/B/target.txt.old"), qint64(100000)));
        QVERIFY(writeFile(src + QStringLiteral("/B/x/not target.txt"), QByteArray("1")));
        QVERIFY(makeFolder(here.filePath(QStringLiteral("vol"))));
        const CliRun moved = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("150000"),
                                     QStringLiteral("--sort"), QStringLiteral("name-asc"), written,
                                     QStringLiteral("--volume-root"), here.filePath(QStringLiteral("vol")), src});
        QVERIFY2(moved.exitCode == 0, qPrintable(moved.out + moved.err));
        const QString pack = here.filePath(QStringLiteral("vol/korvo_pack"));
        // The package folders are gone (on discs by now): the listings answer.
        QVERIFY(QDir(pack + QStringLiteral("/150000/1")).removeRecursively());
        const CliRun found = runCli({QStringLiteral("find"), QStringLiteral("target.TXT"), pack});
        QVERIFY2(found.exitCode == 0, qPrintable(found.out + found.err));
        const QString size = written == QStringLiteral("--listing") ? QStringLiteral("5") : QStringLiteral("-");
        QCOMPARE(found.out, QStringLiteral("1\t%1\tA/x/y/Target.txt\t%2\n")
                                .arg(QDir::toNativeSeparators(pack + QStringLiteral("/150000/1")), size));
        const CliRun byPath = runCli({QStringLiteral("find"), QStringLiteral("--json"), QStringLiteral("--regex"),
                                      QStringLiteral("^b/.*txt$"), pack});
        const QJsonArray matches = QJsonDocument::fromJson(byPath.out.toUtf8()).object().value(QStringLiteral("matches")).toArray();
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches.at(0).toObject().value(QStringLiteral("number")).toInt(), 2);
        QCOMPARE(matches.at(0).toObject().value(QStringLiteral("path")).toString(), QStringLiteral("B/x/not target.txt"));
        QCOMPARE(runCli({QStringLiteral("find"), QStringLiteral("nothing*"), pack}).exitCode, 1);
    }

    // find reads a listing whichever way it was written: the tree or only
    // the file list, fields as attributes or as elements, indented or not.
    void findReadsEveryListingLayout_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("size");
        QTest::newRow("tree") << QStringList{QStringLiteral("--sections"), QStringLiteral("tree,top")} << QStringLiteral("5");
        QTest::newRow("tree as elements, one line")
            << QStringList{QStringLiteral("--sections"), QStringLiteral("top,tree,files"), QStringLiteral("--elements"),
                           QStringLiteral("--indent"), QStringLiteral("0")}
            << QStringLiteral("5");
        QTest::newRow("file list") << QStringList{QStringLiteral("--sections"), QStringLiteral("files"),
                                                  QStringLiteral("--omit-file"), QString()}
                                   << QStringLiteral("5");
        QTest::newRow("file list as elements, no sizes")
            << QStringList{QStringLiteral("--sections"), QStringLiteral("files"), QStringLiteral("--elements")}
            << QStringLiteral("-");
    }

    void findReadsEveryListingLayout()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, size);
        QTemporaryDir here;
        QVERIFY(writeFile(here.filePath(QStringLiteral("1/A/x/y/Target.txt")), QByteArray("12345")));
        QVERIFY(writeFile(here.filePath(QStringLiteral("1/A/other.txt")), QByteArray("1")));
        const CliRun exported = runCli(QStringList{QStringLiteral("export")} + options
                                       + QStringList{here.filePath(QStringLiteral("1")), here.filePath(QStringLiteral("1.xml"))});
        QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
        const CliRun found = runCli({QStringLiteral("find"), QStringLiteral("t*t.txt"), here.path()});
        QCOMPARE(found.out, QStringLiteral("1\t%1\tA/x/y/Target.txt\t%2\n")
                                .arg(QDir::toNativeSeparators(here.filePath(QStringLiteral("1"))), size));
    }

    // An image that cannot be made (a link in the package; on Windows,
    // where a shortcut is a plain file, a name of 80 Japanese characters,
    // more than the image library takes into Rock Ridge) is reported on the
    // package's line and leaves nothing: the package stays moved; an image
    // packed for its order fits it and is not flagged.
    void failedAndOversizedImages()
    {
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("src"));
        QVERIFY(writeFile(src + QStringLiteral("/ok/file"), qint64(100000)));
        QVERIFY(writeFile(src + QStringLiteral("/linked/file"), QByteArray("x")));
#ifdef Q_OS_WIN
        const QString failing = QString(80, QChar(0x65e5)) + QStringLiteral(".txt");
        const QString why = QStringLiteral("cannot finish the image");
        QVERIFY(writeFile(src + QStringLiteral("/linked/") + failing, QByteArray("y")));
#else
        const QString failing = QStringLiteral("link");
        const QString why = QStringLiteral("link");
        QVERIFY(QFile::link(QStringLiteral("file"), src + QStringLiteral("/linked/link")));
#endif
        QVERIFY(makeFolder(here.filePath(QStringLiteral("vol"))));
        const CliRun run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("180000"),
                                   QStringLiteral("--sort"), QStringLiteral("name-asc"), QStringLiteral("--image"),
                                   QStringLiteral("iso"), QStringLiteral("--json"), QStringLiteral("--volume-root"),
                                   here.filePath(QStringLiteral("vol")), src});
        QCOMPARE(run.exitCode, 1);
        const QJsonArray packages = QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("packages")).toArray();
        QCOMPARE(packages.size(), 2);
        const QJsonObject linked = packages.at(0).toObject();
        QVERIFY(linked.value(QStringLiteral("moved")).toBool());
        QVERIFY(linked.value(QStringLiteral("image")).isNull());
        QVERIFY2(linked.value(QStringLiteral("error")).toString().contains(why), qPrintable(run.out));
        const QJsonObject ok = packages.at(1).toObject();
        const QString image = QDir::fromNativeSeparators(ok.value(QStringLiteral("image")).toString());
        QVERIFY2(image.endsWith(QStringLiteral("/2.iso")), qPrintable(image));
        // Packed by what it takes in its image, the image fits the order.
        QVERIFY(!ok.value(QStringLiteral("imageTooLarge")).toBool());
        const QString base = here.filePath(QStringLiteral("vol/korvo_pack/180000"));
        const qint64 isoSize = QFileInfo(base + QStringLiteral("/2.iso")).size();
        QVERIFY2(isoSize > 100000 && isoSize <= 180000, qPrintable(QString::number(isoSize)));
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("2.iso")}));
        QVERIFY(QFileInfo::exists(base + QStringLiteral("/1/linked/") + failing));

        // The same on the package's line in text.
        QVERIFY(writeFile(src + QStringLiteral("/big"), qint64(100000)));
        const CliRun text = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("180000"),
                                    QStringLiteral("--image"), QStringLiteral("iso"), QStringLiteral("--volume-root"),
                                    here.filePath(QStringLiteral("vol")), src});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(text.out.contains(QDir::toNativeSeparators(QStringLiteral("/3.iso 保存に成功しました。")))
                     && !text.out.contains(QStringLiteral("超えています")),
                 qPrintable(text.out));
    }

#ifdef Q_OS_LINUX
    // A disk that fills up while the image is written: the image fails on
    // the package's line and leaves no file of its own; the package has
    // moved and its journal is gone. (A small file system to fill is
    // mounted on Linux; a Windows program cannot mount one.)
    void fullDiskFailsOnlyTheImage()
    {
        if (!runningAsRoot())
            QSKIP("needs root to mount a small tmpfs that fills up while the image is written");
        QTemporaryDir here;
        const QString disk = here.filePath(QStringLiteral("disk"));
        QVERIFY(makeFolder(disk));
        if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("mounting a tmpfs is not permitted here");
        const auto unmount = qScopeGuard([&disk] { ::umount(QFile::encodeName(disk).constData()); });
        QVERIFY(writeFile(disk + QStringLiteral("/src/item/data"), qint64(520000)));
        const CliRun run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1G"),
                                   QStringLiteral("--image"), QStringLiteral("iso"), QStringLiteral("--volume-root"),
                                   disk, disk + QStringLiteral("/src")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(QStringLiteral("1.iso 保存に失敗しました。 cannot finish the image: No space left on device"))
                     && run.out.contains(QStringLiteral("パッケージ1のイメージの作成に失敗しました。")),
                 qPrintable(run.out));
        const QString base = disk + QStringLiteral("/korvo_pack/1000000000");
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{QStringLiteral("1")});
        QVERIFY(QFileInfo(base + QStringLiteral("/1/item/data")).size() == 520000);
    }
#endif

    // korvo-cli image: the image of a package moved before, beside it, with
    // its manifest inside; never replacing one; refusing what is not a
    // package folder. Killed midway, it leaves what recover removes.
    void imageOfAMovedPackage()
    {
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("src"));
        QVERIFY(writeFile(src + QStringLiteral("/dir/a"), QByteArray("a")));
        QVERIFY(makeFolder(here.filePath(QStringLiteral("vol"))));
        QCOMPARE(runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1G"), QStringLiteral("--checksums"),
                         QStringLiteral("--volume-root"), here.filePath(QStringLiteral("vol")), src})
                     .exitCode, 0);
        const QString folder = here.filePath(QStringLiteral("vol/korvo_pack/1000000000/1"));
        const CliRun made = runCli({QStringLiteral("image"), folder});
        QVERIFY2(made.exitCode == 0 && made.out.contains(QStringLiteral("with its manifest inside")), qPrintable(made.out + made.err));
        QVERIFY(QFile::remove(folder + QStringLiteral(".sha256")));
        QCOMPARE(runCli({QStringLiteral("verify"), folder + QStringLiteral(".iso")}).exitCode, 0);
        const CliRun again = runCli({QStringLiteral("image"), folder});
        QVERIFY2(again.exitCode == 1 && again.err.contains(QStringLiteral("never replaced")), qPrintable(again.err));
        QCOMPARE(runCli({QStringLiteral("image"), src}).exitCode, 1);
        QCOMPARE(runCli({QStringLiteral("image"), QStringLiteral("--format"), QStringLiteral("tar"), folder}).exitCode, 2);

#ifndef Q_OS_WIN
        // A large sparse file keeps the image busy long enough to be killed.
        QFile sparse(folder + QStringLiteral("/dir/sparse"));
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 30));
        sparse.close();
        QProcess process;
        process.start(cliProgram(), {QStringLiteral("image"), QStringLiteral("--format=zip"), folder});
        QVERIFY(process.waitForStarted());
        const QString part = here.filePath(QStringLiteral("vol/korvo_pack/1000000000/.1.zip.korvo-part"));
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(part) && process.state() == QProcess::Running && clock.elapsed() < 60000)
            QThread::msleep(1);
        QVERIFY2(process.state() == QProcess::Running, "the image was done before it could be killed");
        ::kill(pid_t(process.processId()), SIGKILL);
        QVERIFY(process.waitForFinished(60000));
        QVERIFY(QFileInfo::exists(part) && !QFileInfo::exists(folder + QStringLiteral(".zip")));
        QCOMPARE(runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1G"),
                         QStringLiteral("--volume-root"), here.filePath(QStringLiteral("vol")), src}).exitCode, 1);
        const CliRun recovered = runCli({QStringLiteral("recover"), here.filePath(QStringLiteral("vol"))});
        QVERIFY2(recovered.exitCode == 0 && recovered.out.contains(QStringLiteral("書きかけのイメージを削除しました")),
                 qPrintable(recovered.out + recovered.err));
        QCOMPARE(QDir(here.filePath(QStringLiteral("vol/korvo_pack/1000000000")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("1"), QStringLiteral("1.iso")}));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/dir/a")));
#endif
    }

    void cleanupTestCase()
    {
#ifndef Q_OS_WIN
        runTool(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), temp.path()});
#endif
    }

    void volumeIds()
    {
        QCOMPARE(PackageImage::volumeId(QStringLiteral("Photos 2024"), 3), QStringLiteral("PHOTOS_2024_3"));
        QCOMPARE(PackageImage::volumeId(QStringLiteral("写真"), 12), QStringLiteral("KORVO_12"));
        QCOMPARE(PackageImage::volumeId(QStringLiteral("a-very-long-label-that-goes-on-and-on"), 2147483647),
                 QStringLiteral("A_VERY_LONG_LABEL_THA_2147483647"));
    }
};

QTEST_GUILESS_MAIN(ImagesTest)
#include "tst_images.moc"
