#include "TestSupport.h"
#include "TreeInventory.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace korvo;
using namespace korvo::test;

// Every korvo-cli command reads its arguments the same way: an option with
// one dash or two, its value after it or joined with "=", "--" ending the
// options, help asked for before or after a wrong option, and one wording
// for an unknown option, a missing value and a value a flag does not take.
class CliArgumentsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        QVERIFY(writeFile(temp.filePath(QStringLiteral("F/a")), 10));
        QVERIFY(writeFile(temp.filePath(QStringLiteral("-d/b")), 20));
        QVERIFY(makeFolder(temp.filePath(QStringLiteral("V"))));
    }

    void spellings_data()
    {
        QTest::addColumn<QString>("line"); // the arguments, parted by blanks, run in the test folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // on stdout or stderr
        QTest::newRow("value joined") << "scan --threads=2 --json F" << 0 << "\"totalSize\": 10";
        QTest::newRow("value after") << "scan --threads 2 F" << 0 << "ファイル数：1";
        QTest::newRow("one dash") << "pack -json -limit=8K F" << 0 << "\"limit\": 8000";
        QTest::newRow("later value counts") << "pack --limit 1K --limit=8K --json F" << 0 << "\"limit\": 8000";
        QTest::newRow("options ended") << "scan --json -- -d" << 0 << "\"totalSize\": 20";
        QTest::newRow("dash folder without --") << "verify -d" << 2 << "unknown option '-d'";
        QTest::newRow("help") << "verify -h" << 0 << "Usage: korvo-cli verify";
        QTest::newRow("help before wrong option") << "export --help --fast" << 0 << "Usage: korvo-cli export";
        QTest::newRow("help after wrong option") << "recover --fast --help F" << 2 << "unknown option '--fast'";
        QTest::newRow("unknown option") << "move --fast F" << 2 << "korvo-cli move: unknown option '--fast'";
        QTest::newRow("option of another command") << "find --limit 1 x F" << 2 << "unknown option '--limit'";
        QTest::newRow("missing value") << "image --format" << 2 << "--format needs iso or zip";
        QTest::newRow("missing value of a shared option") << "move F --sort" << 2 << "--sort needs one of:";
        QTest::newRow("flag with a value") << "export --elements=yes F out.xml" << 2 << "--elements takes no value";
        QTest::newRow("joined value checked") << "image --format=tar F" << 2 << "--format takes iso or zip, not 'tar'";
        QTest::newRow("value that looks like an option") << "pack --limit -1 F" << 2 << "--limit needs a size of 0";
        QTest::newRow("pattern after --") << "find -- -x F" << 1 << "no file matches";
        QTest::newRow("move, every option joined")
            << "move --dry-run --json --limit=8K --label=L --volume-root=V --packages=1 F" << 0 << "\"label\": \"L\"";
    }

    // Each row runs in the test folder, and nothing there changes.
    void spellings()
    {
        QFETCH(QString, line);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        const QStringList before = treeInventory(temp.path());
        const CliRun run = runCli(line.split(QLatin1Char(' ')), temp.path());
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
        QVERIFY2((run.out + run.err).contains(said), qPrintable(run.out + run.err));
        if (exitCode == 2)
            QVERIFY2(run.out.isEmpty() && run.err.endsWith(QStringLiteral("--help'.\n")), qPrintable(run.err));
        QCOMPARE(treeInventory(temp.path()), before);
    }
};

QTEST_GUILESS_MAIN(CliArgumentsTest)
#include "tst_cliarguments.moc"
