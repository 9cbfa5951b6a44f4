#include "ImageFormat.h"
#include "Platform.h"
#include "PackageTarget.h"
#include "ScanSupport.h"
#include "SizeFormat.h"
#include "TestSupport.h"
#include "TracedRun.h"
#include "TreeInventory.h"

#include <QtTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#endif

#include <algorithm>

#include <cerrno>

using namespace korvo;
using namespace korvo::test;

namespace {

using Run = CliRun;

} // namespace

class PackCliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    QString source;
    QString volume;
    qint64 cluster = 0;

    // Top-level items of 3, 2, 2 and 1 clusters, a folder of 2 clusters and
    // one item of 9 clusters, which no package of 4 clusters can take.
    void makeTree()
    {
        QVERIFY(temp.isValid());
        source = temp.filePath(QStringLiteral("src"));
        volume = temp.filePath(QStringLiteral("vol"));
        QVERIFY(QDir(source).removeRecursively() && QDir(volume).removeRecursively());
        QVERIFY(makeFolder(source) && makeFolder(volume));
        cluster = platform::driveGeometry(NativePath::fromText(QFileInfo(source).absoluteFilePath())).clusterSize();
        QVERIFY(cluster > 0);
        QVERIFY(writeFile(source + QStringLiteral("/c3"), 3 * cluster));
        QVERIFY(writeFile(source + QStringLiteral("/b2"), 2 * cluster));
        QVERIFY(writeFile(source + QStringLiteral("/a2 名前"), 2 * cluster - 7));
        QVERIFY(writeFile(source + QStringLiteral("/d1"), cluster));
        QVERIFY(writeFile(source + QStringLiteral("/dir/x"), cluster));
        QVERIFY(writeFile(source + QStringLiteral("/dir/.y"), 5));
        QVERIFY(writeFile(source + QStringLiteral("/huge"), 9 * cluster));
    }

    QString limit() const { return QString::number(4 * cluster); }

private slots:
    void init() { makeTree(); }

    void packJson()
    {
        const Run run = runCli({QStringLiteral("pack"), QStringLiteral("--limit"), limit(), QStringLiteral("--sort"),
                                QStringLiteral("name-asc"), QStringLiteral("--json"), source});
        QCOMPARE(run.exitCode, 0);
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.keys().size(), 9);
        QVERIFY(object.value(QStringLiteral("image")).isNull());
        QCOMPARE(object.value(QStringLiteral("unreadableFolderCount")).toInt(), 0);
        QCOMPARE(object.value(QStringLiteral("order")).toString(), limit());
        QCOMPARE(qint64(object.value(QStringLiteral("limit")).toDouble()), 4 * cluster);
        QCOMPARE(object.value(QStringLiteral("sort")).toString(), QStringLiteral("name-asc"));
        QCOMPARE(object.value(QStringLiteral("excluded")).toArray(), QJsonArray{QStringLiteral("huge")});
        QCOMPARE(object.value(QStringLiteral("lowerBound")).toInt(), 3); // 10 clusters in packages of 4
        // By name, next fit: a2 名前 (2) b2 (2) | c3 (3) d1 (1) | dir (2).
        const QJsonArray packages = object.value(QStringLiteral("packages")).toArray();
        QCOMPARE(packages.size(), 3);
        const QJsonObject first = packages[0].toObject();
        QCOMPARE(first.value(QStringLiteral("number")).toInt(), 1);
        QCOMPARE(first.value(QStringLiteral("items")).toArray(),
                 (QJsonArray{QStringLiteral("a2 名前"), QStringLiteral("b2")}));
        QCOMPARE(qint64(first.value(QStringLiteral("size")).toDouble()), 4 * cluster - 7);
        QCOMPARE(qint64(first.value(QStringLiteral("sizeOnDisk")).toDouble()), 4 * cluster);
        QCOMPARE(packages[1].toObject().value(QStringLiteral("items")).toArray(),
                 (QJsonArray{QStringLiteral("c3"), QStringLiteral("d1")}));
        QCOMPARE(packages[2].toObject().value(QStringLiteral("items")).toArray(), QJsonArray{QStringLiteral("dir")});
        QCOMPARE(qint64(packages[2].toObject().value(QStringLiteral("size")).toDouble()), cluster + 5);

        // A built-in order by name; its limit is the table's, not its label's.
        const Run builtIn = runCli({QStringLiteral("pack"), QStringLiteral("--order"), QStringLiteral("PACK_200MB"),
                                    QStringLiteral("--json"), source});
        QCOMPARE(builtIn.exitCode, 0);
        const QJsonObject all = QJsonDocument::fromJson(builtIn.out.toUtf8()).object();
        QCOMPARE(all.value(QStringLiteral("order")).toString(), QStringLiteral("PACK_200MB"));
        QCOMPARE(qint64(all.value(QStringLiteral("limit")).toDouble()), qint64(300000000));
        QCOMPARE(all.value(QStringLiteral("sort")).toString(), QStringLiteral("assorted"));
        QCOMPARE(all.value(QStringLiteral("packages")).toArray().size(), 1);
        QCOMPARE(all.value(QStringLiteral("lowerBound")).toInt(), 1);
        QCOMPARE(all.value(QStringLiteral("packages")).toArray()[0].toObject().value(QStringLiteral("items"))
                     .toArray().size(), 6);
    }

    // Best fit, and the fewest mode, which keeps best fit's packages where
    // they are the fewest.
    void packText_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::newRow("assorted") << QStringLiteral("assorted");
        QTest::newRow("fewest") << QStringLiteral("fewest");
    }
    void packText()
    {
        QFETCH(QString, sort);
        const Run run = runCli({QStringLiteral("pack"), QStringLiteral("--limit"), limit(), QStringLiteral("--name"),
                                QStringLiteral("four"), QStringLiteral("--sort"), sort, source});
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("four: %1, sort %2, 3 packages").arg(formatSize(4 * cluster), sort));
        QCOMPARE(lines.value(1), QStringLiteral("パッケージ数：3（どのように詰めても最低3個必要なので、これが最少です。）"));
        // Best fit in listed order: c3 first (largest, 3), then d1 fills the rest.
        QVERIFY2(run.out.contains(QStringLiteral("#1  2 items  size %1  on disk %2  100.0%\n    c3\n    d1\n")
                                      .arg(formatSize(4 * cluster), formatSize(4 * cluster))),
                 qPrintable(run.out));
        QVERIFY(run.out.contains(QStringLiteral("    dir/\n")));
        QVERIFY(run.out.contains(QStringLiteral("Left out (larger than the limit on their own): 1\n    huge  %1\n")
                                     .arg(formatSize(9 * cluster))));
    }

    // The disc presets by name, from the same table as the window's list.
    void discOrders_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("DVD") << QStringLiteral("DVD") << qint64(4700372992);
        QTest::newRow("DVD_DL") << QStringLiteral("DVD_DL") << qint64(8543666176);
        QTest::newRow("BD") << QStringLiteral("BD") << qint64(25025314816);
        QTest::newRow("BD_DL") << QStringLiteral("BD_DL") << qint64(50050629632);
    }
    void discOrders()
    {
        QFETCH(QString, order);
        QFETCH(qint64, bytes);
        const Run run = runCli({QStringLiteral("pack"), QStringLiteral("--order"), order, QStringLiteral("--json"), source});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(object.value(QStringLiteral("order")).toString(), order);
        QCOMPARE(qint64(object.value(QStringLiteral("limit")).toDouble()), bytes);
        QCOMPARE(object.value(QStringLiteral("excluded")).toArray().size(), 0);
        QVERIFY(runCli({QStringLiteral("pack"), QStringLiteral("--help")}).out.contains(order + QStringLiteral(" (")));
    }

    void limitUnits_data()
    {
        QTest::addColumn<QString>("limit");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("plain bytes") << QStringLiteral("700000000") << qint64(700000000);
        QTest::newRow("M") << QStringLiteral("700M") << qint64(700000000);
        QTest::newRow("G with fraction") << QStringLiteral("4.7G") << qint64(4700000000);
        QTest::newRow("GB") << QStringLiteral("25GB") << qint64(25000000000);
        QTest::newRow("lower case kb") << QStringLiteral("3kb") << qint64(3000);
        QTest::newRow("TB") << QStringLiteral("2TB") << qint64(2000000000000);
        QTest::newRow("MiB") << QStringLiteral("700MiB") << qint64(700) * 1024 * 1024;
        QTest::newRow("GiB") << QStringLiteral("4GiB") << (qint64(4) << 30);
        QTest::newRow("GiB with fraction") << QStringLiteral("1.5GiB") << qint64(1610612736);
        QTest::newRow("fraction of a byte dropped") << QStringLiteral("0.1KiB") << qint64(102);
        QTest::newRow("largest") << QStringLiteral("9223372036854775807") << qint64(9223372036854775807);
    }

    // --limit takes decimal and binary units; --json shows the bytes, and
    // the order keeps the number of bytes as its name.
    void limitUnits()
    {
        QFETCH(QString, limit);
        QFETCH(qint64, bytes);
        const Run run = runCli({QStringLiteral("pack"), QStringLiteral("--limit"), limit, QStringLiteral("--json"), source});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
        // The name is exact where a JSON number (a double) would not be.
        QCOMPARE(object.value(QStringLiteral("order")).toString(), QString::number(bytes));
        QCOMPARE(object.value(QStringLiteral("limit")).toDouble(), double(bytes));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder"); // below the test folder; empty: src
        QTest::newRow("order and limit") << QStringList{QStringLiteral("pack"), QStringLiteral("--order"),
                                                         QStringLiteral("CD"), QStringLiteral("--limit"),
                                                         QStringLiteral("5")} << QString();
        QTest::newRow("unknown order") << QStringList{QStringLiteral("pack"), QStringLiteral("--order"),
                                                       QStringLiteral("HD_DVD")} << QString();
        QTest::newRow("negative limit") << QStringList{QStringLiteral("move"), QStringLiteral("--limit"),
                                                        QStringLiteral("-1")} << QString();
        QTest::newRow("limit not a number") << QStringList{QStringLiteral("move"), QStringLiteral("--limit"),
                                                            QStringLiteral("1e6")} << QString();
        for (const char* form : {"4.7", "1.G", "12X", "5 M", "+5M", "M", "700MB0", "4GiBB", "10000000000000T",
                                 "9223372036854775808", "８M"})
            QTest::newRow(form) << QStringList{QStringLiteral("move"), QStringLiteral("--limit"), QString::fromUtf8(form)} << QString();
        QTest::newRow("name without limit") << QStringList{QStringLiteral("pack"), QStringLiteral("--name"),
                                                            QStringLiteral("x")} << QString();
        QTest::newRow("unknown sort") << QStringList{QStringLiteral("pack"), QStringLiteral("--sort"),
                                                      QStringLiteral("random")} << QString();
        QTest::newRow("label with slash") << QStringList{QStringLiteral("move"), QStringLiteral("--label"),
                                                          QStringLiteral("../../elsewhere")} << QString();
        QTest::newRow("label dot dot") << QStringList{QStringLiteral("move"), QStringLiteral("--label"),
                                                       QStringLiteral("..")} << QString();
        QTest::newRow("order name with backslash") << QStringList{QStringLiteral("move"), QStringLiteral("--limit"),
                                                                   QStringLiteral("100000"), QStringLiteral("--name"),
                                                                   QStringLiteral("a\\b")} << QString();
        QTest::newRow("package out of range") << QStringList{QStringLiteral("move"), QStringLiteral("--packages"),
                                                              QStringLiteral("1,9")} << QString();
        QTest::newRow("package list not numbers") << QStringList{QStringLiteral("move"), QStringLiteral("--packages"),
                                                                  QStringLiteral("first")} << QString();
        // A file stands for no folder of packages: its folder is not meant.
        for (const char* command : {"pack", "move"})
            QTest::newRow(qPrintable(QStringLiteral("%1 given a file").arg(QLatin1String(command))))
                << QStringList{QLatin1String(command)} << QStringLiteral("src/c3");
    }

    // Wrong usage exits with 2 before anything moves.
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        const QStringList before = treeInventory(temp.path());
        QStringList all = arguments;
        if (arguments.first() == QStringLiteral("move"))
            all << QStringLiteral("--volume-root") << volume;
        const Run run = runCli(all << (folder.isEmpty() ? source : temp.filePath(folder)));
        QCOMPARE(run.exitCode, 2);
        // Refused for the row's reason, not for an option the command lacks.
        QVERIFY2(!run.err.isEmpty() && !run.err.contains(QStringLiteral("Unknown option")), qPrintable(run.err));
        if (!folder.isEmpty())
            QVERIFY2(run.err.contains(QStringLiteral("expected a folder")), qPrintable(run.err));
        // A wrong size names the accepted forms.
        if (arguments.contains(QStringLiteral("--limit")) && !arguments.contains(QStringLiteral("--order"))
            && !arguments.contains(QStringLiteral("--name")))
            QVERIFY2(run.err.contains(QStringLiteral("4.7G")) && run.err.contains(QStringLiteral("700MiB")),
                     qPrintable(run.err));
        QCOMPARE(treeInventory(temp.path()), before);
    }

    void dryRunTouchesNothing()
    {
        const QStringList before = treeInventory(temp.path());
        const Run run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), limit(), QStringLiteral("--label"),
                                QStringLiteral("L"), QStringLiteral("--listing"), QStringLiteral("--dry-run"),
                                QStringLiteral("--volume-root"), volume, source});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(treeInventory(temp.path()), before);
        const QString base = PackageTarget::baseFolder(volume, limit(), QStringLiteral("L"));
        const QString folder1 = PackageTarget::packageFolder(base, 1);
        QVERIFY2(run.out.contains(QStringLiteral("#1 -> ") + folder1 + QStringLiteral("\n    ")
                                  + QDir::toNativeSeparators(source + QStringLiteral("/c3")) + QStringLiteral(" -> ")
                                  + QDir::toNativeSeparators(QDir(folder1).absoluteFilePath(QStringLiteral("c3")))
                                  + QStringLiteral("\n")),
                 qPrintable(run.out));
        QVERIFY(run.out.contains(QStringLiteral("    listing ") + PackageTarget::listingPath(base, 3) +
                                 QStringLiteral("\n")));

        // Without --volume-root, where the scanned folder's packages go.
        const Run defaulted = runCli({QStringLiteral("move"), QStringLiteral("--dry-run"), source});
        QCOMPARE(defaulted.exitCode, 0);
        const QString root = PackageTarget::volumeRoot(NativePath::fromText(source)).toText();
        QVERIFY(QDir::isAbsolutePath(root));
        QVERIFY2(defaulted.out.startsWith(QStringLiteral("#1 -> %1").arg(
                     PackageTarget::baseFolder(root, QStringLiteral("CD"), QString()))),
                 qPrintable(defaulted.out));
        QCOMPARE(treeInventory(temp.path()), before);
    }

    // Numbers continue after the largest folder or listing already there;
    // a package keeps its number when only some are moved.
    void movesWithNumbersAndListings()
    {
        const QString base = PackageTarget::baseFolder(volume, limit(), QStringLiteral("L"));
        for (int i = 1; i <= 4; ++i)
            QVERIFY(makeFolder(base + QString::number(i)));
        QVERIFY(writeFile(base + QStringLiteral("5.xml"), QByteArray("<old/>")));
        const QStringList c3d1 = treeInventory(source, {QStringLiteral("c3"), QStringLiteral("d1")});
        const QStringList dir = treeInventory(source, {QStringLiteral("dir")});

        const Run run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), limit(), QStringLiteral("--label"),
                                QStringLiteral("L"), QStringLiteral("--sort"), QStringLiteral("name-asc"),
                                QStringLiteral("--packages"), QStringLiteral("2-3"),
                                QStringLiteral("--listing"), QStringLiteral("--volume-root"), volume, source});
        QCOMPARE(run.exitCode, 0);
        // By name: #1 a2 名前, b2 | #2 c3, d1 | #3 dir; base 5, so #2 goes to 7.
        const QString folder7 = PackageTarget::packageFolder(base, 7);
        const QString folder8 = PackageTarget::packageFolder(base, 8);
        QCOMPARE(run.out, QStringLiteral("パッケージ7を%1へ移動完了。\n    %2 保存に成功しました。\n"
                                         "パッケージ8を%3へ移動完了。\n    %4 保存に成功しました。\n")
                              .arg(folder7, PackageTarget::listingPath(base, 7), folder8,
                                   PackageTarget::listingPath(base, 8)));
        QCOMPARE(treeInventory(folder7), c3d1);
        QCOMPARE(treeInventory(folder8), dir);
        QVERIFY(!QFileInfo::exists(base + QStringLiteral("6")));
        QVERIFY(QFileInfo::exists(source + QStringLiteral("/b2")));
        QVERIFY(!QFileInfo::exists(folder7 + QStringLiteral("7.xml"))); // beside the folder, not in it

        // The listing describes the package in its folder: its items by name.
        QFile listing(PackageTarget::listingPath(base, 7));
        QVERIFY(listing.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&listing);
        QStringList names;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.attributes().hasAttribute(QStringLiteral("name")))
                names << xml.attributes().value(QStringLiteral("name")).toString();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY2(names.contains(QStringLiteral("c3")) && names.contains(QStringLiteral("d1")),
                 qPrintable(names.join(QLatin1Char(','))));
    }

    // A move killed at some point (SIGKILL, or SIGTERM, which lets the
    // package finish) never leaves a package split: a second move is
    // refused while a journal is there, `recover` undoes the interrupted
    // package (even when it is killed itself at one of its steps, and a
    // second `recover` finishes its work), and then every package is whole,
    // either back in the folder or in its own numbered folder with its
    // listing and manifest, and no journal or temporary file is left.
    void killedMoveLeavesNoPackageSplit_data()
    {
        QTest::addColumn<bool>("terminate"); // SIGTERM, else SIGKILL
        QTest::addColumn<QString>("waitFor"); // a name in the package base folder
        QTest::addColumn<int>("items");       // killed once it holds that many
        QTest::addColumn<QString>("recoverKilledAt"); // "call:N": the first recover dies at its Nth such call
        QTest::newRow("first item moved") << false << QStringLiteral("1") << 1 << QStringLiteral("renameat2:1");
        QTest::newRow("halfway") << false << QStringLiteral("1") << 6000 << QStringLiteral("renameat2:3000");
        QTest::newRow("while hashing") << false << QStringLiteral(".1.sha256.korvo-part") << 0
                                       << QStringLiteral("unlinkat:1");
        QTest::newRow("while imaging") << false << QStringLiteral(".1.iso.korvo-part") << 0 << QStringLiteral("fsync:2");
        QTest::newRow("second package") << false << QStringLiteral("2") << 1 << QStringLiteral("renameat2:1");
        QTest::newRow("terminated") << true << QStringLiteral("1") << 1 << QString();
    }

    void killedMoveLeavesNoPackageSplit()
    {
#ifdef Q_OS_WIN
        QSKIP("killing a process midway is tried on Linux: Wine's slow file calls would make it minutes");
#else
        QFETCH(bool, terminate);
        const int signal = terminate ? SIGTERM : SIGKILL;
        QFETCH(QString, waitFor);
        QFETCH(int, items);
        QFETCH(QString, recoverKilledAt);
        const bool image = waitFor.contains(QStringLiteral(".iso"));
        if (image && !ImageFormats::available())
            QSKIP(qPrintable(ImageFormats::unavailableReason()));
        // Two packages of 12,000 one-byte files each, by name.
        const int perPackage = 12000;
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("src"));
        QVERIFY(makeFolder(src) && makeFolder(here.filePath(QStringLiteral("vol"))));
        for (int i = 0; i < 2 * perPackage; ++i)
            QVERIFY(writeFile(QStringLiteral("%1/f%2").arg(src).arg(i, 5, 10, QLatin1Char('0')), QByteArray("x")));
        const QStringList before = treeInventory(src);
        QStringList move{QStringLiteral("move"), QStringLiteral("--limit"),
                               QString::number(perPackage * cluster), QStringLiteral("--sort"),
                               QStringLiteral("name-asc"), QStringLiteral("--listing"), QStringLiteral("--checksums"),
                               QStringLiteral("--volume-root"), here.filePath(QStringLiteral("vol")), src};
        if (image)
            move.insert(1, QStringLiteral("--image=iso"));
        const QString base = here.filePath(QStringLiteral("vol/korvo_pack/%1").arg(perPackage * cluster));

        QProcess process;
        process.start(cliProgram(), move);
        QVERIFY(process.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        const QString watched = base + QLatin1Char('/') + waitFor;
        while (process.state() == QProcess::Running && clock.elapsed() < 120000) {
            const QFileInfo info(watched);
            if (info.exists() && (!info.isDir() || QDir(watched).count() >= uint(items) + 2))
                break;
        }
        QVERIFY2(process.state() == QProcess::Running, "the move ended before it could be stopped");
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        const bool journalLeft = !QDir(base).entryList({QStringLiteral(".*.korvo-move")}, QDir::Files | QDir::Hidden).isEmpty();
        // A kill in the first package is caught in the act; SIGTERM lets it finish.
        if (signal == SIGKILL && waitFor == QStringLiteral("1") && items == 1)
            QVERIFY(journalLeft);
        if (signal == SIGTERM) {
            QCOMPARE(process.exitCode(), 1);
            QVERIFY(!journalLeft && !QFileInfo::exists(base + QStringLiteral("/2")));
        }
        // What was being written is not there under its name.
        if (waitFor.endsWith(QStringLiteral("korvo-part")))
            QVERIFY(!QFileInfo::exists(base + QLatin1Char('/') + waitFor.mid(1).chopped(11)));

        if (journalLeft) {
            const Run refused = runCli(move);
            QCOMPARE(refused.exitCode, 1);
            QVERIFY2(refused.err.contains(QStringLiteral("korvo_pack/%1/.").arg(perPackage * cluster))
                         && refused.err.contains(QStringLiteral("korvo-cli recover")),
                     qPrintable(refused.out + refused.err));
        }
        const QStringList recover{QStringLiteral("recover"), here.filePath(QStringLiteral("vol"))};
        if (journalLeft && !recoverKilledAt.isEmpty() && straceAvailable()) {
            const QStringList call = recoverKilledAt.split(QLatin1Char(':'));
            const Run killed = runCliTraced({QStringLiteral("-e"), QStringLiteral("trace=") + call.first(),
                                             QStringLiteral("-e"),
                                             QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call.first(), call.last())},
                                            recover);
            QVERIFY2(killed.exitCode == -1, qPrintable(killed.out + killed.err));
        }
        const Run recovered = runCli(recover);
        QVERIFY2(recovered.exitCode == 0, qPrintable(recovered.out + recovered.err));

        // Each package whole in one place; only finished folders are left.
        QStringList found = treeInventory(src);
        for (int package = 0; package < 2; ++package) {
            const QString folder = QStringLiteral("%1/%2").arg(base).arg(package + 1);
            const QStringList inFolder = treeInventory(folder);
            const int atHome = int(std::count_if(found.cbegin(), found.cend(), [&](const QString& line) {
                return line.midRef(1, 5).toInt() / perPackage == package;
            }));
            QVERIFY2(inFolder.isEmpty() ? atHome == perPackage : atHome == 0 && inFolder.size() == perPackage,
                     qPrintable(QStringLiteral("package %1: %2 at home, %3 in its folder")
                                    .arg(package + 1).arg(atHome).arg(inFolder.size())));
            if (!inFolder.isEmpty()) {
                QVERIFY(QFileInfo::exists(folder + QStringLiteral(".xml")));
                QVERIFY(QFileInfo::exists(folder + QStringLiteral(".sha256")));
                QCOMPARE(QFileInfo::exists(folder + QStringLiteral(".iso")), image);
            }
            for (const QString& line : inFolder)
                found << line;
        }
        std::sort(found.begin(), found.end());
        QCOMPARE(found, before);
        const QStringList leftOvers = QDir(base).entryList({QStringLiteral("*.korvo-*")}, QDir::Files | QDir::Hidden);
        QVERIFY2(leftOvers.isEmpty(), qPrintable(leftOvers.join(QLatin1Char(' '))));
#endif
    }

    // Names that are not valid UTF-8 and a name that shows like them stay
    // three items in the JSON of pack and move (each byte that is not text
    // as its \udcXX escape), and each moves under its exact name.
    void namesThatAreNotTextStayApart()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows names are UTF-16 text");
#else
        QTemporaryDir here;
        const QString odd = here.filePath(QStringLiteral("odd"));
        const QString volume = here.filePath(QStringLiteral("vol"));
        const auto removeAll = qScopeGuard([&] { removeTree(here.path()); });
        const QByteArray lookalike("x\xef\xbf\xbd");
        QVERIFY(makeFolder(odd) && makeFolder(volume));
        for (const QByteArray& name : {QByteArray("x\xfe"), QByteArray("x\xff"), lookalike})
            QVERIFY(writeRawFile(odd, name, cluster));
        const QStringList names{QStringLiteral("x\\udcfe"), QStringLiteral("x\\udcff"), QStringLiteral("x\uFFFD")};
        const QStringList common{QStringLiteral("--limit"), QString::number(cluster), QStringLiteral("--sort"),
                                 QStringLiteral("name-asc"), QStringLiteral("--json")};

        const Run pack = runCli(QStringList{QStringLiteral("pack")} + common + QStringList{odd});
        QCOMPARE(pack.exitCode, 0);
        const Run move = runCli(QStringList{QStringLiteral("move")} + common
                                + QStringList{QStringLiteral("--label"), QStringLiteral("L"),
                                              QStringLiteral("--volume-root"), volume, odd});
        QCOMPARE(move.exitCode, 0);
        for (const Run& run : {pack, move}) {
            QJsonParseError error;
            QJsonDocument::fromJson(run.out.toUtf8(), &error);
            QCOMPARE(error.error, QJsonParseError::NoError);
            for (int i = 0; i < names.size(); ++i)
                QVERIFY2(run.out.count(QStringLiteral("\"items\": [\"%1\"]").arg(names[i])) == 1, qPrintable(run.out));
        }
        // By name the bytes FE and FF come before the lookalike's EF BF BD
        // only as shown texts; whatever the order, each folder holds one of
        // the three, under its own bytes.
        const QByteArray base = QFile::encodeName(PackageTarget::baseFolder(volume, QString::number(cluster),
                                                                            QStringLiteral("L")));
        QStringList moved;
        for (int n = 1; n <= 3; ++n)
            moved += exactTreeInventory(base + QByteArray::number(n));
        moved.sort();
        QCOMPARE(moved.size(), 3);
        QCOMPARE(moved.filter(QStringLiteral("x%FE|")).size(), 1);
        QCOMPARE(moved.filter(QStringLiteral("x%FF|")).size(), 1);
        QCOMPARE(moved.filter(QStringLiteral("x%EF%BF%BD|")).size(), 1);
        QCOMPARE(exactTreeInventory(QFile::encodeName(odd)), QStringList());

        // Arguments given as bytes that are not text, passed by a shell:
        // a label or order name is refused, as it would become another
        // name; a volume root is taken by its bytes, so the manifest goes
        // beside its package and not into the lookalike folder.
        QVERIFY(makeFolder(here.filePath(QStringLiteral("src"))));
        QVERIFY(writeFile(here.filePath(QStringLiteral("src/a")), cluster));
        QVERIFY(::mkdir(QFile::encodeName(here.path()) + "/v\xff", 0755) == 0);
        QVERIFY(::mkdir(QFile::encodeName(here.path()) + "/v" + lookalike.mid(1), 0755) == 0);
        auto shell = [&](const QString& options) {
            QProcess process;
            process.setWorkingDirectory(here.path());
            process.start(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("exec \"$0\" move --limit %1 %2 src")
                                                     .arg(cluster).arg(options), cliProgram()});
            process.waitForFinished(60000);
            return qMakePair(process.exitCode(), QString::fromUtf8(process.readAllStandardError()));
        };
        for (const QString& option : {QStringLiteral("--label \"$(printf 'L\\377')\""),
                                      QStringLiteral("--name \"$(printf '\\377')\"")}) {
            const auto refused = shell(option + QStringLiteral(" --volume-root v"));
            QCOMPARE(refused.first, 2);
            QVERIFY2(refused.second.contains(QStringLiteral("must be text")), qPrintable(refused.second));
        }
        const auto outcome = shell(QStringLiteral("--checksums --volume-root \"$(printf 'v\\377')\""));
        QVERIFY2(outcome.first == 0, qPrintable(outcome.second));
        const QByteArray oddBase = QFile::encodeName(here.path()) + "/v\xff/korvo_pack/" + QByteArray::number(cluster);
        QCOMPARE(exactTreeInventory(oddBase).filter(QRegularExpression(QStringLiteral("^(1/a|1\\.sha256)\\|"))).size(), 2);
        QCOMPARE(exactTreeInventory(QFile::encodeName(here.path()) + "/v" + lookalike.mid(1)), QStringList());
#endif
    }

    // A listing goes only into a file it creates: a listing name taken
    // already (here by a link that leads nowhere yet) counts for the numbers
    // like any listing, so nothing is written through it and it stays as it
    // was.
    void listingNeverReplacesAnEntry()
    {
        const QString base = PackageTarget::baseFolder(volume, limit(), QString());
        QVERIFY(makeFolder(base) && makeFolder(temp.filePath(QStringLiteral("elsewhere"))));
        QVERIFY(QFile::link(temp.filePath(QStringLiteral("elsewhere/made.xml")), base + QStringLiteral("3.xml")));
        const QStringList before = treeInventory(temp.path());

        // By name: #1 a2 名前, b2 | #2 c3, d1 | #3 dir, which goes to folder 3 + 3.
        const Run run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), limit(), QStringLiteral("--sort"),
                                QStringLiteral("name-asc"), QStringLiteral("--packages"), QStringLiteral("3"),
                                QStringLiteral("--listing"), QStringLiteral("--volume-root"), volume, source});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("パッケージ6を%1へ移動完了。\n    %2 保存に成功しました。\n")
                              .arg(PackageTarget::packageFolder(base, 6), PackageTarget::listingPath(base, 6)));
        // The package and its listing; the link and the folder it leads to
        // are as they were.
        const QString moved = QStringLiteral("vol/korvo_pack/%1/6").arg(limit());
        QStringList expected = movedInventory(before, QStringLiteral("src"), {QStringLiteral("dir")}, moved);
        QStringList now = treeInventory(temp.path());
        const QString listing = QStringLiteral("vol/korvo_pack/%1/6.xml|").arg(limit());
        QCOMPARE(now.size(), expected.size() + 1);
        now.erase(std::remove_if(now.begin(), now.end(), [&](const QString& line) { return line.startsWith(listing); }),
                  now.end());
        QCOMPARE(now, expected);
    }

    // A listing that cannot be written for want of space (the package has
    // moved) fails the run, and the last line says which package's listing
    // was not saved rather than "all done".
    void fullDiskListingIsTheLastLine()
    {
#ifdef Q_OS_WIN
        QSKIP("a full volume is made with a small tmpfs, which needs Linux");
#else
        if (!runningAsRoot())
            QSKIP("mounting a small file system (tmpfs) needs root");
        QTemporaryDir here;
        const QByteArray mnt = QFile::encodeName(here.filePath(QStringLiteral("mnt")));
        QVERIFY(makeFolder(here.filePath(QStringLiteral("mnt"))));
        QCOMPARE(::mount("tmpfs", mnt.constData(), "tmpfs", 0, "size=64k,mode=0755"), 0);
        const auto unmount = qScopeGuard([&] { ::umount2(mnt.constData(), MNT_DETACH); });
        // 15 of its 16 pages taken: the journal takes the last one.
        const QString src = QFile::decodeName(mnt) + QStringLiteral("/src");
        QVERIFY(writeFile(src + QStringLiteral("/big"), 14 * 4096) && writeFile(src + QStringLiteral("/small"), 4096));
        const Run run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1G"),
                                QStringLiteral("--listing"), QStringLiteral("--volume-root"), QFile::decodeName(mnt), src});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(QStringLiteral("移動完了。")) && run.out.contains(QStringLiteral("保存に失敗しました。")),
                 qPrintable(run.out));
        QVERIFY2(run.out.endsWith(QStringLiteral("パッケージ1の一覧またはチェックサムの保存に失敗しました。\n")),
                 qPrintable(run.out));
        QVERIFY(!QFileInfo::exists(QFile::decodeName(mnt) + QStringLiteral("/korvo_pack/1000000000/1.xml")));
#endif
    }

    // When the packages' folders cannot be numbered (here the order's folder
    // is a file), nothing moves, the reason names the level, the JSON names
    // no listing, and the exit status is 1.
    void failedPackages()
    {
        QVERIFY(writeFile(volume + QStringLiteral("/korvo_pack/") + limit(), QByteArray("in the way")));
        const QStringList before = treeInventory(temp.path());
        const QStringList arguments{QStringLiteral("move"), QStringLiteral("--limit"), limit(), QStringLiteral("--sort"),
                                    QStringLiteral("name-asc"), QStringLiteral("--listing"),
                                    QStringLiteral("--volume-root"), volume, source};
        const Run run = runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        const QString base = PackageTarget::baseFolder(volume, limit(), QString());
#ifdef Q_OS_WIN
        // Windows may report the file on the way as a path not found, and
        // the failure then comes when a package's folder is made.
        QVERIFY2(run.out.contains(QStringLiteral("移動失敗。")) && !run.out.contains(QStringLiteral("移動完了。")),
                 qPrintable(run.out));
        const QString reason;
#else
        const QString reason = QStringLiteral("The base folder level is not a folder. path:%1/korvo_pack/%2.")
                                   .arg(volume, limit());
        // The last line sums up what failed.
        QVERIFY2(run.out.startsWith(QStringLiteral("パッケージを%1へ移動失敗。\n%2\nパッケージ#1").arg(base, reason)),
                 qPrintable(run.out));
        QVERIFY2(run.out.endsWith(QStringLiteral("の移動に失敗しました。\n")), qPrintable(run.out));
#endif
        QCOMPARE(treeInventory(temp.path()), before);

        QStringList withJson = arguments;
        withJson.insert(1, QStringLiteral("--json"));
        const Run json = runCli(withJson);
        QCOMPARE(json.exitCode, 1);
        const QJsonArray packages =
            QJsonDocument::fromJson(json.out.toUtf8()).object().value(QStringLiteral("packages")).toArray();
        QCOMPARE(packages.size(), 3);
        for (const QJsonValue& package : packages) {
            const QJsonObject object = package.toObject();
            QCOMPARE(object.value(QStringLiteral("moved")).toBool(true), false);
            QVERIFY(object.value(QStringLiteral("listing")).isNull());
            if (!reason.isEmpty())
                QCOMPARE(object.value(QStringLiteral("error")).toString(), reason);
        }
        QCOMPARE(treeInventory(temp.path()), before);
    }
};

QTEST_GUILESS_MAIN(PackCliTest)
#include "tst_packcli.moc"
