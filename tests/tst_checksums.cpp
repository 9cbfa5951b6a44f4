#include "ChecksumManifest.h"
#include "ParallelHasher.h"
#include "Platform.h"
#include "ScanSupport.h"
#include "Sha256.h"
#include "TestSupport.h"

#include <QtTest>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

struct Shell
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a shell script in `folder`; $KORVO_CLI names korvo-cli. Names that
// are not UTF-8 reach korvo-cli through the script as raw bytes, which a
// QProcess argument list cannot carry.
Shell sh(const QByteArray& script, const QString& folder)
{
    Shell run;
    QProcess process;
    process.setWorkingDirectory(folder);
    // sha256sum and the shell speak English in UTF-8, whatever the caller's locale.
    QProcessEnvironment environment = toolEnvironment();
    environment.insert(QStringLiteral("KORVO_CLI"), cliProgram());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(script)});
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Makes the file (and its folders) named by raw bytes below `folder`, with
// `size` bytes of content that differs from file to file.
bool makeRawTree(const QString& folder, const QByteArray& relativePath, qint64 size)
{
    const QByteArrayList names = relativePath.split('/');
    QString parent = folder;
    for (int i = 0; i + 1 < names.size(); ++i) {
        makeRawFolder(parent, names.at(i)); // may exist already
        parent = QFile::decodeName(QFile::encodeName(parent) + '/' + names.at(i));
    }
    const QByteArray path = QFile::encodeName(folder) + '/' + relativePath;
    QByteArray content(int(size), Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i)
        content[i] = char((i * 31 + relativePath.size() * 7 + relativePath.at(0)) & 0xff);
    FILE* file = std::fopen(path.constData(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(content.constData(), 1, size_t(content.size()), file) == size_t(content.size());
    return std::fclose(file) == 0 && ok;
}

QByteArray shellQuoted(const QByteArray& bytes)
{
    QByteArray octal;
    for (const char c : bytes)
        octal += '\\' + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
    return "\"$(printf '" + octal + "')\"";
}

// Names that sha256sum escapes, where the system allows them.
#ifdef Q_OS_WIN
const QString OddName = QStringLiteral("d e");
const QString AddedName = QStringLiteral("new");
#else
const QString OddName = QStringLiteral("d\\e");
const QString AddedName = QStringLiteral("new\n");
#endif

#ifndef Q_OS_WIN
// Runs korvo-cli with the arguments, its standard output into the file
// `out`, and returns the peak of its resident memory in KiB, as the system
// counted it for that process alone; -1 when it could not be run.
long cliPeakKib(const QStringList& arguments, const QString& out, int* exitCode)
{
    QByteArrayList bytes{QFile::encodeName(cliProgram())};
    for (const QString& argument : arguments)
        bytes << QFile::encodeName(argument);
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray outPath = QFile::encodeName(out);
    const pid_t pid = ::fork();
    if (pid == 0) { // only calls that are safe after a fork until exec
        const int fd = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        if (fd < 0 || null < 0 || ::dup2(fd, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid)
        return -1;
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return usage.ru_maxrss;
}
#endif

} // namespace

class ChecksumsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    int serial = 0;

    QString freshFolder()
    {
        const QString path = temp.filePath(QString::number(++serial));
        return makeFolder(path) ? path : QString();
    }

private slots:
    void initTestCase() { QVERIFY(temp.isValid()); }

    // QDir leaves out names that are not UTF-8, so QTemporaryDir cannot
    // remove them.
    void cleanupTestCase()
    {
#ifndef Q_OS_WIN
        sh("find . -mindepth 1 -delete", temp.path());
#endif
    }

    void knownDigests()
    {
        QCOMPARE(Sha256::hash(QByteArray()).toHex(),
                 QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        QCOMPARE(Sha256::hash("abc").toHex(),
                 QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        // Fed in uneven pieces, and reused after a result.
        Sha256 sha;
        sha.addData("x", 1);
        sha.result();
        const QByteArray data(1000003, 'q');
        sha.addData(data.constData(), 3);
        sha.addData(data.constData() + 3, data.size() - 3);
        QCOMPARE(sha.result(), Sha256::hash(data));
    }

    // Files hashed on several threads come back in the order of the list,
    // each with its own digest (a big first file finishes last), gone files
    // as missing; the progress adds up to every byte; a consumer that says
    // stop gets nothing more.
    void parallelHashingKeepsOrder_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("stopAt"); // -1: take everything
        QTest::newRow("1 thread") << 1 << -1;
        QTest::newRow("4 threads") << 4 << -1;
        QTest::newRow("more threads than files") << 64 << -1;
        QTest::newRow("stopped at the fifth") << 3 << 4;
    }

    void parallelHashingKeepsOrder()
    {
        QFETCH(int, threads);
        QFETCH(int, stopAt);
        const QString folder = freshFolder();
        QVector<QByteArray> paths;
        QVector<QByteArray> digests;
        qint64 total = 0;
        for (int i = 0; i < 24; ++i) {
            const QString path = folder + QStringLiteral("/f%1").arg(i);
            paths.append("f" + QByteArray::number(i));
            if (i % 7 == 3) { // never made: missing
                digests.append(QByteArray());
                continue;
            }
            QByteArray content(i == 0 ? 9 << 20 : i * 1000, char('a' + i));
            QVERIFY(writeFile(path, content));
            digests.append(Sha256::hash(content));
            total += content.size();
        }
        QVector<int> seen;
        qint64 progressed = 0;
        ParallelHasher::hashFiles(
            NativePath::fromText(folder), paths, [&](qint64 bytes) { progressed += bytes; },
            [&](int index, const FileDigest& outcome) {
                seen.append(index);
                if (digests.at(index).isEmpty()) {
                    [&] { QVERIFY(outcome.result == platform::OpenResult::Missing); }();
                } else {
                    [&] {
                        QVERIFY(outcome.result == platform::OpenResult::Opened);
                        QCOMPARE(outcome.digest, digests.at(index));
                    }();
                }
                return index != stopAt;
            },
            threads);
        QVector<int> expected;
        for (int i = 0; i < (stopAt < 0 ? paths.size() : stopAt + 1); ++i)
            expected.append(i);
        QCOMPARE(seen, expected);
        if (stopAt < 0)
            QCOMPARE(progressed, total);
    }

    // A package moved with --checksums verifies with korvo-cli (in place,
    // from inside with ".", and as a copy elsewhere named by raw bytes) and
    // with sha256sum -c; its manifest lists the files in sorted-walk order
    // and matches sha256sum's own lines byte for byte.
    void movedPackageVerifies_data()
    {
        QTest::addColumn<QByteArrayList>("names");
        QTest::newRow("nested, sorted walk") << QByteArrayList{"a.txt", "b/c.txt", "b/d/e.bin", "b-c.txt", "big.bin"};
        QTest::newRow("blanks and empty") << QByteArrayList{" lead", "empty", "mid dle", "tail "};
        QTest::newRow("backslash and line breaks")
            << QByteArrayList{"back\\slash", "both\\\n", "cr\rname", "dir\\x/line\nbreak"};
        QTest::newRow("undecodable bytes") << QByteArrayList{"bad\xff", "w\xe9ird\\", "\xc3\x28/inner"};
        QTest::newRow("no files") << QByteArrayList{};
    }

    void movedPackageVerifies()
    {
#ifdef Q_OS_WIN
        QSKIP("names are bytes only on Linux, and this drives korvo-cli and sha256sum through a POSIX shell");
#endif
        if (QStandardPaths::findExecutable(QStringLiteral("sha256sum")).isEmpty())
            QSKIP("coreutils' sha256sum is needed to check the manifest against");
        QFETCH(QByteArrayList, names);
        const QString source = freshFolder();
        const QString volume = freshFolder();
        QVERIFY(makeFolder(source + QStringLiteral("/pkg")));
        for (int i = 0; i < names.size(); ++i) {
            const qint64 size = names.at(i) == "empty" ? 0 : names.at(i) == "big.bin" ? (3 << 20) + 17 : 100 + i;
            QVERIFY2(makeRawTree(source + QStringLiteral("/pkg"), names.at(i), size), names.at(i).constData());
        }
        const CliRun move = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1000000000000"),
                                    QStringLiteral("--volume-root"), volume, QStringLiteral("--checksums"), source});
        QVERIFY2(move.exitCode == 0, qPrintable(move.out + move.err));
        const QString base = volume + QStringLiteral("/korvo_pack/1000000000000");
        QVERIFY2(move.out.contains(base + QStringLiteral("/1.sha256 保存に成功しました。")), qPrintable(move.out));

        const QByteArray manifest = readAll(base + QStringLiteral("/1.sha256"));
        QByteArrayList lines = manifest.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // ends with a line feed
        QCOMPARE(lines.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray path = "pkg/" + names.at(i);
            const bool escaped = path.contains('\\') || path.contains('\n') || path.contains('\r');
            QByteArray written = path;
            written.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
            QCOMPARE(lines.at(i).startsWith('\\'), escaped);
            QVERIFY2(lines.at(i).endsWith("  " + written), lines.at(i).constData());
        }

        const CliRun inPlace = runCli({QStringLiteral("verify"), base + QStringLiteral("/1")});
        QVERIFY2(inPlace.exitCode == 0, qPrintable(inPlace.out + inPlace.err));
        QCOMPARE(inPlace.out, QStringLiteral("OK: all %1 files listed in %2 match.\n")
                                  .arg(names.size()).arg(base + QStringLiteral("/1.sha256")));
        const CliRun fromInside = runCli({QStringLiteral("verify"), QStringLiteral(".")}, base + QStringLiteral("/1"));
        QVERIFY2(fromInside.exitCode == 0, qPrintable(fromInside.out + fromInside.err));

        const QByteArray copy = shellQuoted("copy \xfe");
        const Shell copied = sh("cp -R 1 " + copy + " && cp 1.sha256 " + shellQuoted("copy \xfe.sha256") +
                                    " && \"$KORVO_CLI\" verify " + copy,
                                base);
        QVERIFY2(copied.exitCode == 0, (copied.out + copied.err).constData());

        if (names.isEmpty())
            return; // sha256sum refuses a manifest without lines
        const Shell checked = sh("sha256sum -c --strict ../1.sha256", base + QStringLiteral("/1"));
        QVERIFY2(checked.exitCode == 0 && checked.err.isEmpty(), (checked.out + checked.err).constData());
        QCOMPARE(checked.out.count(": OK\n"), names.size());
        // sha256sum's own lines for the same files, "./" dropped, sorted.
        const Shell own = sh("find . -type f -exec sha256sum {} + | sed 's#  \\./#  #'", base + QStringLiteral("/1"));
        QCOMPARE(own.exitCode, 0);
        QByteArrayList ownLines = own.out.split('\n');
        ownLines.removeAll(QByteArray());
        std::sort(ownLines.begin(), ownLines.end());
        std::sort(lines.begin(), lines.end());
        QCOMPARE(lines, ownLines);
    }

    // Every difference is named and turns the exit status to 1.
    void differencesAreReported_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArrayList>("expected"); // lines of the report
        QTest::newRow("flipped byte") << "flip" << QByteArrayList{"a.txt: changed"};
        QTest::newRow("truncated") << "truncate" << QByteArrayList{"sub/c.txt: changed"};
        QTest::newRow("removed") << "remove" << QByteArrayList{"sub/c.txt: missing"};
#ifdef Q_OS_WIN
        QTest::newRow("added") << "add" << QByteArrayList{"sub/new: unlisted"};
        QTest::newRow("file in place of a folder")
            << "folder" << QByteArrayList{"sub/c.txt: missing", "sub/d e: missing", "sub: unlisted"};
#else
        QTest::newRow("added") << "add" << QByteArrayList{"\\sub/new\\n: unlisted"};
        QTest::newRow("FIFO in place of a file")
            << "fifo" << QByteArrayList{"a.txt: unreadable (not a regular file)"};
        QTest::newRow("file in place of a folder")
            << "folder" << QByteArrayList{"sub/c.txt: missing", "\\sub/d\\\\e: missing", "sub: unlisted"};
#endif
        // Told as found: bad lines at their places among the files, a path
        // listed twice also when its file is missing.
        QTest::newRow("bad lines among findings")
            << "interleaved"
            << QByteArrayList{"sub/c.txt: missing", "M line 2: not a SHA-256 checksum line",
                              "M line 3: the file is listed twice", "a.txt: changed"};
        QTest::newRow("bad manifest lines")
            << "badlines"
            << QByteArrayList{"M line 4: the path leads outside the folder",
                              "M line 5: the path leads outside the folder", "M line 6: the file is listed twice",
                              "M line 7: not a SHA-256 checksum line"};
    }

    void differencesAreReported()
    {
        QFETCH(QString, change);
        QFETCH(QByteArrayList, expected);
        const QString folder = freshFolder();
        const QString package = folder + QStringLiteral("/3");
        QVERIFY(writeFile(package + QStringLiteral("/a.txt"), QByteArray("alpha")));
        QVERIFY(writeFile(package + QStringLiteral("/sub/c.txt"), 5000));
        QVERIFY(writeFile(package + QStringLiteral("/sub/") + OddName, QByteArray("delta")));
        const NativePath manifestPath = NativePath::fromText(folder + QStringLiteral("/3.sha256"));
        QString error;
        QVERIFY2(ChecksumManifest::write(NativePath::fromText(package), manifestPath, {}, &error), qPrintable(error));
        QCOMPARE(runCli({QStringLiteral("verify"), package}).exitCode, 0);

        const QString a = package + QStringLiteral("/a.txt");
        const QString c = package + QStringLiteral("/sub/c.txt");
        if (change == QLatin1String("flip")) {
            QVERIFY(writeFile(a, QByteArray("alphb")));
        } else if (change == QLatin1String("truncate")) {
            QFile file(c);
            QVERIFY(file.resize(4999));
        } else if (change == QLatin1String("remove")) {
            QVERIFY(QFile::remove(c));
        } else if (change == QLatin1String("add")) {
            QVERIFY(writeFile(package + QStringLiteral("/sub/") + AddedName, 1));
        } else if (change == QLatin1String("fifo")) {
            QVERIFY(QFile::remove(a));
#ifndef Q_OS_WIN
            QCOMPARE(::mkfifo(QFile::encodeName(a).constData(), 0644), 0);
#endif
        } else if (change == QLatin1String("folder")) {
            QVERIFY(QDir(package + QStringLiteral("/sub")).removeRecursively());
            QVERIFY(writeFile(package + QStringLiteral("/sub"), 1));
        } else if (change == QLatin1String("interleaved")) {
            QVERIFY(QFile::remove(c));
            QVERIFY(writeFile(a, QByteArray("alphb")));
            const QByteArrayList lines = readAll(manifestPath.toText()).split('\n');
            QVERIFY(writeFile(manifestPath.toText(), lines.at(1) + "\nnot a line\n" + lines.at(1) + '\n' +
                                                         lines.at(0) + '\n' + lines.at(2) + '\n'));
        } else if (change == QLatin1String("badlines")) {
            QFile file(folder + QStringLiteral("/3.sha256"));
            QVERIFY(file.open(QIODevice::Append));
            const QByteArray digest = Sha256::hash("x").toHex();
            file.write(digest + "  /etc/hostname\n" + digest + "  sub/../../x\n" + digest + "  ./a.txt\n" +
                       "not a line\n");
        }
        for (const bool json : {false, true}) {
            QStringList arguments{QStringLiteral("verify"), package};
            if (json)
                arguments.insert(1, QStringLiteral("--json"));
            const CliRun run = runCli(arguments);
            QCOMPARE(run.exitCode, 1);
            if (json) {
                const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
                QCOMPARE(object.value(QStringLiteral("ok")).toBool(true), false);
                QCOMPARE(object.value(QStringLiteral("listed")).toInt(), 3);
                int problems = object.value(QStringLiteral("badLines")).toArray().size();
                for (const char* key : {"changed", "missing", "unlisted", "unreadable"})
                    problems += object.value(QLatin1String(key)).toArray().size();
                QCOMPARE(problems, expected.size());
                continue;
            }
            // Windows writes its console lines with CR LF.
            QByteArrayList lines = run.out.toUtf8().replace("\r\n", "\n").split('\n');
            QCOMPARE(lines.takeLast(), QByteArray());
            QVERIFY2(lines.takeLast().startsWith("FAILED: "), qPrintable(run.out));
            for (QByteArray& line : lines)
                line.replace(manifestPath.storedBytes(), "M");
            QCOMPARE(lines, expected);
        }
    }

    // A link is never read, wherever it stands and whatever it reaches: a
    // listed file that is one or lies below one is unreadable, an unlisted
    // one is named, a link to a folder is not walked. Each row changes the
    // package 3 (a.txt, sub/c.txt) with a shell command; "outside" holds a
    // copy of the same files, so a followed link would match.
    void linksAreNeverFollowed_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArrayList>("expected"); // lines of the report
        const QByteArray linked = ": unreadable (its path holds a link, never followed)";
        QTest::newRow("link to a file with the right content")
            << QByteArray("rm 3/a.txt && ln -s ../outside/a.txt 3/a.txt")
            << QByteArrayList{"a.txt" + linked, "FAILED: 0 changed, 0 missing, 1 unreadable, 0 unlisted, "
                                                "0 bad manifest lines; 1 of 2 listed files match."};
        QTest::newRow("link as a folder on the path")
            << QByteArray("rm -r 3/sub && ln -s \"$PWD/outside/sub\" 3/sub")
            << QByteArrayList{"sub/c.txt" + linked, "sub: unlisted (not a regular file)",
                              "FAILED: 0 changed, 0 missing, 1 unreadable, 1 unlisted, "
                              "0 bad manifest lines; 1 of 2 listed files match."};
        QTest::newRow("copy made only of links")
            << QByteArray("rm 3/a.txt 3/sub/c.txt && ln -s \"$PWD/outside/a.txt\" 3/a.txt && "
                          "ln -s ../../outside/sub/c.txt 3/sub/c.txt")
            << QByteArrayList{"a.txt" + linked, "sub/c.txt" + linked,
                              "FAILED: 0 changed, 0 missing, 2 unreadable, 0 unlisted, "
                              "0 bad manifest lines; 0 of 2 listed files match."};
        QTest::newRow("dangling link") << QByteArray("rm 3/a.txt && ln -s nowhere 3/a.txt")
                                       << QByteArrayList{"a.txt" + linked,
                                                         "FAILED: 0 changed, 0 missing, 1 unreadable, 0 unlisted, "
                                                         "0 bad manifest lines; 1 of 2 listed files match."};
        QTest::newRow("link to a folder is not walked")
            << QByteArray("ln -s ../outside 3/extra")
            << QByteArrayList{"extra: unlisted (not a regular file)",
                              "FAILED: 0 changed, 0 missing, 0 unreadable, 1 unlisted, "
                              "0 bad manifest lines; 2 of 2 listed files match."};
    }

    void linksAreNeverFollowed()
    {
#ifdef Q_OS_WIN
        QSKIP("made with POSIX symbolic links, which Wine cannot make; Windows refuses reparse points alike");
#endif
        QFETCH(QByteArray, change);
        QFETCH(QByteArrayList, expected);
        const QString folder = freshFolder();
        for (const QString& top : {QStringLiteral("/3"), QStringLiteral("/outside")}) {
            QVERIFY(writeFile(folder + top + QStringLiteral("/a.txt"), QByteArray("alpha")));
            QVERIFY(writeFile(folder + top + QStringLiteral("/sub/c.txt"), 5000));
        }
        QString error;
        QVERIFY2(ChecksumManifest::write(NativePath::fromText(folder + QStringLiteral("/3")),
                                         NativePath::fromText(folder + QStringLiteral("/3.sha256")), {}, &error),
                 qPrintable(error));
        const Shell changed = sh(change, folder);
        QVERIFY2(changed.exitCode == 0, changed.err.constData());
        const CliRun run = runCli({QStringLiteral("verify"), folder + QStringLiteral("/3")});
        QCOMPARE(run.exitCode, 1);
        QByteArrayList lines = run.out.toUtf8().split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines, expected);
    }

    // A manifest is read line by line: one too large is refused before a
    // byte is read (never "OK: all 0 files"), an overlong line is a bad line
    // that costs no memory, and lines split across read blocks are whole.
    void manifestReadInBoundedMemory_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // on stdout, or stderr when refused
        QTest::newRow("3 GiB, sparse") << "sparse" << 1
                                       << "is larger than 1 GiB, more than any package folder lists";
        QTest::newRow("overlong line") << "overlong" << 1 << "M line 2: the line is too long\nFAILED: 0 changed, "
                                                            "0 missing, 0 unreadable, 0 unlisted, 1 bad manifest "
                                                            "lines; 2 of 2 listed files match.\n";
        QTest::newRow("lines across read blocks") << "blocks" << 0 << "OK: all 2 files listed in M match.\n";
    }

    void manifestReadInBoundedMemory()
    {
        QFETCH(QString, kind);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        const QString folder = freshFolder();
        QVERIFY(writeFile(folder + QStringLiteral("/7/a"), QByteArray("alpha")));
        QVERIFY(writeFile(folder + QStringLiteral("/7/b"), QByteArray("beta")));
        const QString manifest = folder + QStringLiteral("/7.sha256");
        const QByteArray lineA = ChecksumManifest::formatLine(Sha256::hash("alpha"), "a");
        QByteArray lineB = ChecksumManifest::formatLine(Sha256::hash("beta"), "b");
        QFile file(manifest);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("sparse")) {
            QVERIFY(file.resize(qint64(3) << 30)); // a hole: no disk space taken
        } else if (kind == QLatin1String("overlong")) {
            file.write(lineA + QByteArray(ChecksumManifest::MaxLineLength + 10, 'a') + '\n' + lineB);
        } else {
            // A long comment that makes the first line straddle the first
            // block's end, the last line without its line feed.
            const QByteArray comment = '#' + QByteArray((1 << 20) - 30, 'c') + '\n';
            lineB.chop(1);
            file.write(comment + lineA + "\r\n" + lineB);
        }
        file.close();
        const CliRun run = runCli({QStringLiteral("verify"), folder + QStringLiteral("/7")});
        QCOMPARE(run.exitCode, exitCode);
        if (kind == QLatin1String("sparse")) {
            QVERIFY2(run.err.contains(output), qPrintable(run.err));
            QVERIFY(run.out.isEmpty());
        } else {
            QCOMPARE(QString(run.out).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                         .replace(QDir::toNativeSeparators(manifest), QStringLiteral("M"))
                         .replace(manifest, QStringLiteral("M")),
                     output);
        }
    }

    // A path holding a byte no manifest line can hold as it is names no
    // file, never a shorter one: "a\0zzz" is a bad line, not a check of
    // "a" (which is then unlisted). parse(), which find and the manifest
    // inside an image go through, keeps no entry for it either.
    void unholdableBytesMakeBadLines_data()
    {
        QTest::addColumn<QByteArray>("name"); // the file made
        QTest::addColumn<QByteArray>("line"); // the manifest's one line
        QTest::addColumn<QByteArrayList>("expected");
        const QByteArray digest = Sha256::hash("alpha").toHex();
        const QByteArray nul = "M line 1: the path holds a NUL byte, which no file name can";
        const QByteArray summary = "FAILED: 0 changed, 0 missing, 0 unreadable, 1 unlisted, 1 bad manifest lines; "
                                   "0 of 0 listed files match.";
        QTest::newRow("NUL after the name") << QByteArray("a") << digest + "  a" + QByteArray(1, '\0') + "zzz"
                                            << QByteArrayList{nul, "a: unlisted", summary};
        QTest::newRow("NUL in an escaped line")
            << QByteArray("a") << '\\' + digest + "  a" + QByteArray(1, '\0') + "\\\\"
            << QByteArrayList{nul, "a: unlisted", summary};
#ifndef Q_OS_WIN
        QTest::newRow("carriage return not escaped")
            << QByteArray("a\rb") << digest + "  a\rb"
            << QByteArrayList{"M line 1: the path holds a carriage return that is not escaped", "\\a\\rb: unlisted",
                              summary};
#endif
    }

    void unholdableBytesMakeBadLines()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, line);
        QFETCH(QByteArrayList, expected);
        const QString folder = freshFolder();
        QVERIFY(makeFolder(folder + QStringLiteral("/4")));
        QVERIFY(writeFile(folder + QStringLiteral("/4/") + QFile::decodeName(name), QByteArray("alpha")));
        const QString manifest = folder + QStringLiteral("/4.sha256");
        QVERIFY(writeFile(manifest, line + '\n'));
        const CliRun run = runCli({QStringLiteral("verify"), folder + QStringLiteral("/4")});
        QCOMPARE(run.exitCode, 1);
        QByteArrayList lines = run.out.toUtf8().replace("\r\n", "\n").split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        for (QByteArray& printed : lines)
            printed.replace(NativePath::fromText(manifest).storedBytes(), "M");
        QCOMPARE(lines, expected);

        QVector<ChecksumManifest::Entry> entries;
        QVector<ChecksumManifest::BadLine> badLines;
        ChecksumManifest::parse(line, entries, badLines);
        QCOMPARE(entries.size(), 0);
        QCOMPARE(badLines.size(), 1);
        QCOMPARE("M line 1: " + badLines.first().reason.toUtf8(), expected.first());
    }

    // Memory grows with the folder, not with the manifest: a manifest
    // 200,000 lines longer (their files all missing, as on a wrong disc)
    // adds at most some 160 bytes a line to the peak, with and without
    // --json, and every line is still reported. Alone the growth is some 6
    // to 10 MB; on a busy machine the allocator's per-thread arenas add as
    // much again. Before lines were read in batches and told as found, each
    // line cost some 300 bytes (60 MB, 95 MB with --json).
    void memoryBoundedByBatch_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("json") << true;
    }

    void memoryBoundedByBatch()
    {
#ifdef Q_OS_WIN
        QSKIP("measures the peak memory of a child process through wait4");
#elif defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer keeps freed memory in quarantine: the peak would measure it, not korvo-cli");
#else
        QFETCH(bool, json);
        const QString folder = freshFolder();
        QVERIFY(makeFolder(folder + QStringLiteral("/9")));
        const QByteArray digest = Sha256::hash("x").toHex();
        const int few = 20000;
        const int many = 220000;
        long peaks[2] = {0, 0};
        QByteArray out;
        for (int run = 0; run < 2; ++run) {
            QByteArray text;
            for (int i = 0; i < (run == 0 ? few : many); ++i)
                text += digest + "  folder" + QByteArray::number(i / 1000) + "/file" + QByteArray::number(i) + '\n';
            QVERIFY(writeFile(folder + QStringLiteral("/9.sha256"), text));
            QStringList arguments{QStringLiteral("verify"), folder + QStringLiteral("/9")};
            if (json)
                arguments.insert(1, QStringLiteral("--json"));
            int exitCode = -1;
            peaks[run] = cliPeakKib(arguments, folder + QStringLiteral("/out"), &exitCode);
            QCOMPARE(exitCode, 1);
            out = readAll(folder + QStringLiteral("/out"));
        }
        const long growth = peaks[1] - peaks[0];
        qInfo("peak %ld KiB for %d lines, %ld KiB for %d", peaks[0], few, peaks[1], many);
        QVERIFY2(growth < 32 * 1024, qPrintable(QStringLiteral("peak %1 KiB for %2 lines, %3 KiB for %4")
                                                    .arg(peaks[0]).arg(few).arg(peaks[1]).arg(many)));
        if (json) {
            const QJsonObject object = QJsonDocument::fromJson(out).object();
            QCOMPARE(object.value(QStringLiteral("missing")).toArray().size(), many);
            QCOMPARE(object.value(QStringLiteral("missing")).toArray().last().toString(),
                     QStringLiteral("folder%1/file%2").arg((many - 1) / 1000).arg(many - 1));
            QCOMPARE(object.value(QStringLiteral("listed")).toInt(), many);
        } else {
            QCOMPARE(out.count(": missing\n"), many);
            QVERIFY(out.startsWith("folder0/file0: missing\nfolder0/file1: missing\n"));
            QVERIFY(out.endsWith(QStringLiteral("FAILED: 0 changed, %1 missing, 0 unreadable, 0 unlisted, "
                                                "0 bad manifest lines; 0 of %1 listed files match.\n")
                                     .arg(many).toUtf8()));
        }
#endif
    }

    void usageAndUnreadableManifest_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no folder") << QStringList{} << 2 << "expected FOLDER";
        QTest::newRow("three paths") << QStringList{"a", "b", "c"} << 2 << "expected FOLDER";
        QTest::newRow("unknown option") << QStringList{"--quick", "a"} << 2 << "unknown option '--quick'";
        QTest::newRow("no manifest") << QStringList{"nowhere"} << 1 << "cannot read the manifest";
    }

    void usageAndUnreadableManifest()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const CliRun run = runCli(QStringList{QStringLiteral("verify")} + arguments, freshFolder());
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }

    // An existing manifest, or a link in its place, is never written
    // through or replaced; a manifest that cannot be finished is not left.
    void manifestNeverReplaced()
    {
        const QString folder = freshFolder();
        QVERIFY(writeFile(folder + QStringLiteral("/5/a"), 10));
        const NativePath manifest = NativePath::fromText(folder + QStringLiteral("/5.sha256"));
        QVERIFY(writeFile(manifest.toText(), QByteArray("keep me")));
        QString error;
        QVERIFY(!ChecksumManifest::write(NativePath::fromText(folder + QStringLiteral("/5")), manifest, {}, &error));
        QVERIFY2(error.contains(QStringLiteral("cannot create")), qPrintable(error));
        QCOMPARE(readAll(manifest.toText()), QByteArray("keep me"));

#ifdef Q_OS_WIN
        QSKIP("the rest needs POSIX links and user switching");
#else
        // Through move: a dangling link named 1.sha256 takes number 1 as a
        // listing of that name would, so the package goes to folder 2 with
        // its manifest beside it, and the link is left as it was.
        const QString source = freshFolder();
        const QString volume = freshFolder();
        QVERIFY(writeFile(source + QStringLiteral("/item"), 10));
        const QString base = volume + QStringLiteral("/korvo_pack/CD/L");
        QVERIFY(makeFolder(base));
        const QString target = volume + QStringLiteral("/target");
        QVERIFY(QFile::link(target, base + QStringLiteral("/1.sha256")));
        const CliRun move = runCli({QStringLiteral("move"), QStringLiteral("--label"), QStringLiteral("L"),
                                    QStringLiteral("--volume-root"), volume, QStringLiteral("--checksums"), source});
        QCOMPARE(move.exitCode, 0);
        QVERIFY2(move.out.contains(QStringLiteral("パッケージ2を")) &&
                     move.out.contains(QStringLiteral("2.sha256 保存に成功しました。")),
                 qPrintable(move.out));
        QVERIFY(QFileInfo::exists(base + QStringLiteral("/2/item")));
        QVERIFY(!QFileInfo::exists(base + QStringLiteral("/1")));
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(QFileInfo(base + QStringLiteral("/1.sha256")).symLinkTarget(), target);

        // A file that cannot be read: the manifest is refused and removed.
        const QString unreadable = freshFolder();
        QVERIFY(writeFile(unreadable + QStringLiteral("/6/a"), 10));
        QVERIFY(writeFile(unreadable + QStringLiteral("/6/b"), 10));
        QVERIFY(QFile::setPermissions(unreadable + QStringLiteral("/6/b"), QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(temp.path(), QFileDevice::Permissions(0x7777)));
        QVERIFY(QFile::setPermissions(unreadable, QFileDevice::Permissions(0x7777)));
        const NativePath unfinished = NativePath::fromText(unreadable + QStringLiteral("/6.sha256"));
        QByteArray outcome;
        QString why;
        const bool ran = runUnprivileged(
            [&] {
                QString reason;
                const bool written = ChecksumManifest::write(NativePath::fromText(unreadable + QStringLiteral("/6")),
                                                             unfinished, {}, &reason);
                return QByteArray(written ? "written" : "refused: ") + reason.toUtf8();
            },
            &outcome, &why);
        QVERIFY2(ran, qPrintable(why));
        QVERIFY2(outcome.startsWith("refused: cannot read "), outcome.constData());
        QVERIFY(!QFileInfo::exists(unfinished.toText()));
#endif
    }
};

QTEST_GUILESS_MAIN(ChecksumsTest)
#include "tst_checksums.moc"
