#include "Platform.h"
#include "ScanSupport.h"
#include "SizeFormat.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>

using namespace korvo;
using namespace korvo::test;

namespace {

using Run = CliRun;

} // namespace

class CliScanTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString folder_;
    qint64 cluster_ = 0;

    qint64 onDisk(qint64 size) const { return DriveGeometry(1, cluster_).roundToClusters(size); }

private slots:
    void initTestCase()
    {
#ifdef Q_OS_WIN
        // Windows allows no quotation mark in a name.
        const QString name = QStringLiteral("data 'quoted' ü");
#else
        const QString name = QStringLiteral("data \"quoted\"");
#endif
        folder_ = QFileInfo(dir_.filePath(name)).absoluteFilePath();
        QVERIFY(writeFile(folder_ + QStringLiteral("/a.txt"), 1536));
        QVERIFY(writeFile(folder_ + QStringLiteral("/sub/b.bin"), 10));
        QVERIFY(makeFolder(folder_ + QStringLiteral("/sub/empty")));
        cluster_ = platform::driveGeometry(NativePath::fromText(QFileInfo(folder_).absoluteFilePath())).clusterSize();
        QVERIFY(cluster_ > 0);
    }

    void printsWhatTheWindowShows()
    {
        const Run run = runCli({QStringLiteral("scan"), folder_});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString()); // not a terminal: no progress lines
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.at(0), QStringLiteral("場所：") + folder_);
        QCOMPARE(lines.at(1), QStringLiteral("サイズ：1.51 KiB (1,546 バイト)"));
        QCOMPARE(lines.at(2), QStringLiteral("ディスク上のサイズ：") + formatSize(onDisk(1536) + onDisk(10)));
        QCOMPARE(lines.at(3), QStringLiteral("内容：ファイル数：2 フォルダ数：2"));
        QVERIFY2(QRegularExpression(QStringLiteral("^列挙完了 経過時間：[0-9.e+-]+ 秒。$")).match(lines.at(4)).hasMatch(),
                 qPrintable(lines.at(4)));
        QCOMPARE(lines.at(5), QString());

        // A file stands for the folder that holds it.
        const Run viaFile = runCli({QStringLiteral("scan"), folder_ + QStringLiteral("/sub/b.bin")});
        QCOMPARE(viaFile.exitCode, 0);
        QVERIFY(viaFile.out.startsWith(QStringLiteral("場所：") + folder_ + QStringLiteral("/sub\n")));
        QVERIFY(viaFile.out.contains(QStringLiteral("内容：ファイル数：1 フォルダ数：1\n")));
    }

    void json_data()
    {
        QTest::addColumn<QStringList>("threads");
        QTest::newRow("default threads") << QStringList();
        QTest::newRow("three threads") << QStringList{QStringLiteral("--threads"), QStringLiteral("3")};
    }
    void json()
    {
        QFETCH(QStringList, threads);
        const Run run = runCli(QStringList{QStringLiteral("scan"), QStringLiteral("--json")} + threads
                               + QStringList{folder_ + QStringLiteral("/")});
        QCOMPARE(run.exitCode, 0);
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value(QStringLiteral("path")).toString(), folder_);
        QCOMPARE(object.value(QStringLiteral("totalSize")).toDouble(), 1546.0);
        QCOMPARE(object.value(QStringLiteral("totalSizeOnDisk")).toDouble(), double(onDisk(1536) + onDisk(10)));
        QCOMPARE(object.value(QStringLiteral("totalFileCount")).toInt(), 2);
        QCOMPARE(object.value(QStringLiteral("totalSubdirectoryCount")).toInt(), 2);
        QCOMPARE(object.value(QStringLiteral("fileCount")).toInt(), 2);
        QCOMPARE(object.value(QStringLiteral("directoryCount")).toInt(), 2);
        QVERIFY(object.value(QStringLiteral("listingSeconds")).isDouble());
        QVERIFY(object.value(QStringLiteral("totallingSeconds")).toDouble() >= 0);
        QCOMPARE(object.value(QStringLiteral("unreadableFolderCount")).toInt(), 0);
        QCOMPARE(object.value(QStringLiteral("unreadableFolders")).toArray(), QJsonArray());
        QCOMPARE(object.size(), 11);
    }

    void folderArgumentAsBytes()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows arguments are UTF-16 text");
#else
        // "r\xff" is not valid UTF-8; "r" + U+FFFD is its lookalike. The
        // argument must reach the scan as its bytes, not as decoded text.
        const QString top = dir_.filePath(QStringLiteral("raw"));
        QVERIFY(makeFolder(top));
        QVERIFY(makeRawFolder(top, "r\xff") && writeRawFile(top, "r\xff/x", 7));
        QVERIFY(makeRawFolder(top, "r\xef\xbf\xbd") && writeRawFile(top, "r\xef\xbf\xbd/y", 3));
        auto cleanUp = qScopeGuard([&] { removeTree(top); });
        // The shell appends the byte 0xff to the argument it is given.
        auto scanWithByte = [&](const QString& before, const QString& after, const QString& workingFolder) {
            QProcess process;
            process.setWorkingDirectory(workingFolder);
            process.start(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("exec \"$0\" scan --json \"$1$(printf '\\377')$2\""),
                           test::cliProgram(), before, after});
            process.waitForFinished(60000);
            return qMakePair(process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()
                                                                   + process.readAllStandardError()));
        };
        const QString shown = QStringLiteral("r") + QChar(0xFFFD);
        const auto absolute = scanWithByte(top + QStringLiteral("/r"), QString(), dir_.path());
        QCOMPARE(absolute.first, 0);
        const QJsonObject object = QJsonDocument::fromJson(absolute.second.toUtf8()).object();
        QCOMPARE(object.value(QStringLiteral("totalSize")).toInt(), 7);
        QCOMPARE(object.value(QStringLiteral("path")).toString(), top + QLatin1Char('/') + shown);

        // Relative, cleaned of "." and ".." levels, and a file standing for
        // its folder.
        const auto viaFile = scanWithByte(QStringLiteral("./sub/../r"), QStringLiteral("/x"), top);
        QCOMPARE(viaFile.first, 0);
        QCOMPARE(QJsonDocument::fromJson(viaFile.second.toUtf8()).object().value(QStringLiteral("totalSize")).toInt(), 7);

        const auto missing = scanWithByte(top + QStringLiteral("/gone"), QString(), dir_.path());
        QCOMPARE(missing.first, 1);
        QVERIFY2(missing.second.contains(QStringLiteral("no such file or folder: ") + top + QStringLiteral("/gone")
                                         + QChar(0xFFFD)),
                 qPrintable(missing.second));
#endif
    }

    void unreadableFoldersAreSaid_data()
    {
        QTest::addColumn<QStringList>("arguments"); // before the folder
        QTest::addColumn<bool>("json");
        QTest::newRow("scan") << QStringList{QStringLiteral("scan"), QStringLiteral("--json")} << true;
        QTest::newRow("pack") << QStringList{QStringLiteral("pack"), QStringLiteral("--json")} << true;
        QTest::newRow("move") << QStringList{QStringLiteral("move"), QStringLiteral("--dry-run"), QStringLiteral("--json")}
                              << true;
        QTest::newRow("export") << QStringList{QStringLiteral("export")} << false;
    }

    // A folder that cannot be listed counts as empty, and every command that
    // scans says so: one warning per folder on stderr with the system's
    // reason, and its count and paths in the JSON.
    void unreadableFoldersAreSaid()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine: a folder cannot be made unreadable, as Wine does not enforce Windows access rights");
#else
        QFETCH(QStringList, arguments);
        QFETCH(bool, json);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString top = temp.filePath(QStringLiteral("top"));
        QVERIFY(writeFile(top + QStringLiteral("/locked/inside.txt"), 50));
        QVERIFY(makeFolder(top + QStringLiteral("/listOnly/sub")));
        QVERIFY(writeFile(top + QStringLiteral("/open.txt"), 5));
        const QString program = reachableCopy(cliProgram(), temp.path());
        QVERIFY(!program.isEmpty());
        QVERIFY(handOverToUnprivilegedUser(temp.path()));
        QVERIFY(QFile::setPermissions(top + QStringLiteral("/locked"), QFileDevice::Permissions()));
        // May be listed, not searched: its subfolder cannot be opened.
        QVERIFY(QFile::setPermissions(top + QStringLiteral("/listOnly"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(top + QStringLiteral("/locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QFile::setPermissions(top + QStringLiteral("/listOnly"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });

        // Run as a user whom the permissions stop (root's child becomes "nobody"),
        // from the test's folder, which that user can reach.
        QStringList command{program};
        command << arguments;
        if (arguments.first() == QLatin1String("move"))
            command << QStringLiteral("--volume-root") << temp.path();
        command << top;
        if (!json)
            command << temp.filePath(QStringLiteral("listing.txt"));
        QString line = QStringLiteral("cd '%1' && ").arg(temp.path());
        for (const QString& word : command)
            line += QStringLiteral("'%1' ").arg(word);
        const QByteArray shell = (line + QStringLiteral("2>'%1'; echo \"exit $?\"").arg(temp.filePath(QStringLiteral("err"))))
                                     .toLocal8Bit();
        QByteArray output;
        QString why;
        const bool ran = runUnprivileged(
            [&] {
                QByteArray result;
                if (FILE* pipe = ::popen(shell.constData(), "r")) {
                    char buffer[4096];
                    size_t n;
                    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                        result.append(buffer, int(n));
                    ::pclose(pipe);
                }
                return result;
            },
            &output, &why);
        if (!ran)
            QSKIP(qPrintable(why));
        QFile errFile(temp.filePath(QStringLiteral("err")));
        QVERIFY(errFile.open(QIODevice::ReadOnly));
        const QString err = QString::fromLocal8Bit(errFile.readAll());
        const QString out = QString::fromUtf8(output);
        QVERIFY2(out.endsWith(QStringLiteral("exit 0\n")), qPrintable(out + err));

        const QString reason = qt_error_string(EACCES);
        QCOMPARE(err, QStringLiteral("korvo-cli: cannot read folder '%1/listOnly/sub': %2\n"
                                     "korvo-cli: cannot read folder '%1/locked': %2\n")
                          .arg(top, reason));
        if (json) {
            const QJsonObject object =
                QJsonDocument::fromJson(out.left(out.lastIndexOf(QStringLiteral("exit"))).toUtf8()).object();
            QCOMPARE(object.value(QStringLiteral("unreadableFolderCount")).toInt(), 2);
            QCOMPARE(object.value(QStringLiteral("unreadableFolders")).toArray(),
                     (QJsonArray{top + QStringLiteral("/listOnly/sub"), top + QStringLiteral("/locked")}));
        }
#endif
    }

    void failuresAndUsage()
    {
        const Run missing = runCli({QStringLiteral("scan"), dir_.filePath(QStringLiteral("missing"))});
        QCOMPARE(missing.exitCode, 1);
        QCOMPARE(missing.out, QString());
        QVERIFY2(missing.err.contains(QStringLiteral("no such file or folder")), qPrintable(missing.err));
        QVERIFY(missing.err.contains(dir_.filePath(QStringLiteral("missing"))));

        for (const QStringList& arguments :
             {QStringList{QStringLiteral("scan")}, QStringList{QStringLiteral("scan"), QStringLiteral("--bogus"), folder_},
              QStringList{QStringLiteral("scan"), folder_, folder_},
              QStringList{QStringLiteral("scan"), QStringLiteral("--threads"), QStringLiteral("0"), folder_},
              QStringList{QStringLiteral("scan"), folder_, QStringLiteral("--threads")}}) {
            const Run run = runCli(arguments);
            QVERIFY2(run.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") + run.err));
            QCOMPARE(run.out, QString());
            QVERIFY(run.err.contains(QStringLiteral("Usage: korvo-cli scan")));
        }

        const Run help = runCli({QStringLiteral("scan"), QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains(QStringLiteral("--json")));
        QCOMPARE(help.err, QString());
    }
};

QTEST_GUILESS_MAIN(CliScanTest)
#include "tst_cliscan.moc"
