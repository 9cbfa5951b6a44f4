// Recovery from journals, as input from a stranger: what recover and move
// refuse, the lock that keeps them apart, and what an undo keeps, says and
// makes lasting.

#include "HeldMove.h"
#include "PackageListing.h"
#include "PackageMoveJob.h"
#include "PackageMover.h"
#include "Platform.h"
#include "ScanSupport.h"
#include "TestSupport.h"
#include "TracedRun.h"
#include "TreeInventory.h"

#include <QtTest>

#include <thread>

#ifndef Q_OS_WIN
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

QByteArray hex(const QString& text)
{
    return QFile::encodeName(text).toHex();
}

// The identity of an entry as a journal writes it: "VOLUME INDEX".
QByteArray identityText(const QString& path)
{
    FileIdentity identity;
    if (!platform::identityOf(NativePath::fromText(path), &identity, nullptr, nullptr, nullptr))
        return "0 0";
    return QByteArray::number(identity.volume) + ' ' + QByteArray::number(identity.index);
}

PackagePtr packageOf(const DirectoryNodePtr& root, const QStringList& names)
{
    PackagePtr package(new Package);
    for (const FileNodePtr& file : root->files()) {
        if (names.contains(file->fileName()))
            package->items << file;
    }
    return package;
}

} // namespace

class RecoverTest : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    QString here;    // a fresh folder of its own for each case: under Wine the
                     // working folder of an ended process is not removed at once
    int cases = 0;
    QString src;     // the scanned folder: a.txt, b.txt
    QString outside; // victim.txt, secret.txt: nothing may touch them
    QString volume;
    QString base;    // volume/korvo_pack/CD/L, each level made 0755
    QString folder;  // base/1, holding a.txt as if it had moved there

    QString path(const QString& relative) const { return here + QLatin1Char('/') + relative; }

    // A journal in `text` with its placeholders filled in.
    QByteArray filled(QByteArray text) const
    {
        const QList<QPair<QByteArray, QByteArray>> values{
            {"{SRC}", hex(src)},
            {"{SRCA}", hex(src + QStringLiteral("/a.txt"))},
            {"{FOLDER}", hex(folder)},
            {"{FOLDERA}", hex(folder + QStringLiteral("/a.txt"))},
            {"{FOLDERSECRET}", hex(folder + QStringLiteral("/secret.txt"))},
            {"{XML}", hex(base + QStringLiteral("/1.xml"))},
            {"{OUT}", hex(outside)},
            {"{VICTIM}", hex(outside + QStringLiteral("/victim.txt"))},
            {"{SECRET}", hex(outside + QStringLiteral("/secret.txt"))},
            {"{ID}", identityText(folder + QStringLiteral("/a.txt"))},
            {"{SID}", identityText(outside + QStringLiteral("/secret.txt"))}};
        for (const auto& value : values)
            text.replace(value.first, value.second);
        return text;
    }

    static QByteArray validJournal()
    {
        return "korvo-move 2\nnumber 1\nfolder\nsource {SRC}\noutput " + hex(QStringLiteral("1.xml")) + "\nitem " +
               hex(QStringLiteral("a.txt")) + " {ID}\nend\n";
    }

    // Run from inside the temporary folder: a relative path that a journal
    // might name stays inside it.
    CliRun recover() const { return runCli({QStringLiteral("recover"), volume}, outside); }
    CliRun moveOther() const
    {
        return runCli({QStringLiteral("move"), QStringLiteral("--order"), QStringLiteral("CD"), QStringLiteral("--label"),
                       QStringLiteral("L"), QStringLiteral("--volume-root"), volume, path(QStringLiteral("other"))});
    }

    // Moves a.txt and b.txt into folder 1 in this process, with a listing,
    // and leaves the journal as a killed move would.
    void interruptedMove(const QString& label)
    {
        const DirectoryNodePtr root = scanFolder(src);
        QVERIFY(root);
        PackageMover mover(root, NativePath::fromText(volume), QStringLiteral("CD"), label);
        PackageFolder made;
        QVERIFY2(mover.createPackageFolder(1, &made), qPrintable(mover.errorString()));
        const PackagePtr package = packageOf(root, {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
        QVERIFY2(mover.moveItems(made, package), qPrintable(mover.errorString()));
        QString reason;
        QVERIFY2(PackageListing::writeListing(made, package, XmlExporterSettings(), &reason), qPrintable(reason));
    }

private slots:
    void init()
    {
        QVERIFY(temp.isValid());
        here = temp.filePath(QString::number(++cases));
        QVERIFY(makeFolder(here));
        src = path(QStringLiteral("src"));
        outside = path(QStringLiteral("outside"));
        volume = path(QStringLiteral("vol"));
        base = volume + QStringLiteral("/korvo_pack/CD/L");
        folder = base + QStringLiteral("/1");
        QVERIFY(writeFile(src + QStringLiteral("/b.txt"), 200));
        QVERIFY(writeFile(folder + QStringLiteral("/a.txt"), 100));
        QVERIFY(writeFile(outside + QStringLiteral("/victim.txt"), QByteArray("victim")));
        QVERIFY(writeFile(outside + QStringLiteral("/secret.txt"), QByteArray("secret")));
        QVERIFY(writeFile(path(QStringLiteral("other/o.txt")), 10));
#ifndef Q_OS_WIN
        for (const QString& level : {volume, volume + QStringLiteral("/korvo_pack"), volume + QStringLiteral("/korvo_pack/CD"), base, folder})
            QCOMPARE(::chmod(QFile::encodeName(level).constData(), 0755), 0);
#endif
    }

    // A journal that korvo could not have written for this user, or that
    // names anything but the package's own folder, files and items, is
    // refused whole by recover and by move beside it: nothing anywhere
    // changes and both exit 1. Journals korvo writes (both versions) are
    // taken; a base folder of another user is not entered at all.
    void journalsFromStrangers_data()
    {
        QTest::addColumn<QString>("setup"); // what the journal's name is, or what is done to its folders
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<QString>("rule"); // in the refusal; empty: the journal is taken
        const QByteArray valid = validJournal();
        const QByteArray head = "korvo-move 2\nnumber 1\nfolder\nsource {SRC}\n";
        const QByteArray item = "item " + hex(QStringLiteral("a.txt")) + " {ID}\n";
        QTest::newRow("korvo's") << "file" << valid << "";
        QTest::newRow("korvo's, first version")
            << "file" << QByteArray("korvo-move 1\nnumber 1\nfolder {FOLDER}\noutput {XML}\nitem {SRCA} {FOLDERA} {ID}\nend\n")
            << "";
        QTest::newRow("absolute output") << "file"
                                         << QByteArray("korvo-move 1\nnumber 1\nfolder {FOLDER}\noutput {VICTIM}\nend\n")
                                         << "outside its base folder";
        QTest::newRow("relative output") << "file"
                                         << "korvo-move 1\nnumber 1\nfolder {FOLDER}\noutput " + hex("victim.txt") + "\nend\n"
                                         << "outside its base folder";
        QTest::newRow("climbing output") << "file" << head + "output " + hex("../../../../outside/victim.txt") + "\n" + item + "end\n"
                                         << "not one kept beside package 1";
        QTest::newRow("foreign output") << "notes" << head + "output " + hex("notes.txt") + "\nend\n"
                                        << "not one kept beside package 1";
        QTest::newRow("output cut at NUL") << "file" << head + "output " + QByteArray("1.xml\0zzz", 9).toHex() + "\nend\n"
                                           << "a line is not one korvo writes";
        QTest::newRow("items of two folders")
            << "file"
            << QByteArray("korvo-move 1\nnumber 1\nfolder {FOLDER}\nitem {SRCA} {FOLDERA} {ID}\n"
                          "item {SECRET} {FOLDERSECRET} {SID}\nend\n")
            << "more than one folder";
        QTest::newRow("item into another folder")
            << "file" << QByteArray("korvo-move 1\nnumber 1\nfolder {FOLDER}\nitem {SRCA} {OUT} {ID}\nend\n")
            << "goes elsewhere than into its package folder";
        QTest::newRow("climbing item") << "file" << head + "item " + hex("../secret.txt") + " {SID}\nend\n"
                                       << "not a single plain name";
        // Version 3 names pieces of split folders by paths of plain names.
        const QByteArray head3 = "korvo-move 3\nnumber 1\nfolder\nsource {SRC}\n";
        QTest::newRow("a piece, third version") << "file" << head3 + item + "end\n" << "";
        QTest::newRow("climbing piece") << "file" << head3 + "item " + hex("sub/../../outside/secret.txt") + " {SID}\nend\n"
                                        << "not made of plain names";
        QTest::newRow("absolute piece") << "file" << head3 + "item " + hex("/outside/secret.txt") + " {SID}\nend\n"
                                        << "not made of plain names";
        QTest::newRow("piece inside an item")
            << "file" << head3 + "item " + hex("sub") + " {ID}\nitem " + hex("sub/a.txt") + " {SID}\nend\n"
            << "lies inside another item";
        QTest::newRow("folder elsewhere") << "file" << QByteArray("korvo-move 1\nnumber 1\nfolder {OUT}\nend\n")
                                          << "its package folder is not";
        QTest::newRow("number not its name") << "file" << QByteArray("korvo-move 2\nnumber 2\nend\n")
                                             << "not the one in its name";
        QTest::newRow("cut in a line") << "file" << valid.left(valid.indexOf("item") + 9) << "in the middle of a line";
        QTest::newRow("no end") << "file" << valid.left(valid.indexOf("end")) << "no end line";
        QTest::newRow("huge") << "huge" << valid << "larger than any journal";
#ifndef Q_OS_WIN
        QTest::newRow("a link") << "link" << valid << "is a link";
        QTest::newRow("a FIFO") << "fifo" << valid << "not a regular file";
        QTest::newRow("another user's") << "owner" << valid << "belongs to another user";
        QTest::newRow("in a folder others may write") << "shared" << valid << "may be written by other users";
        QTest::newRow("in another user's folder") << "base owner" << valid << "";
#endif
        QTest::newRow("a folder") << "folder" << valid << "not a regular file";
    }

    void journalsFromStrangers()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, journal);
        QFETCH(QString, rule);
        const QString name = base + QStringLiteral("/.1.korvo-move");
        const QByteArray text = filled(journal);
        if (setup == QLatin1String("link")) {
            QVERIFY(writeFile(outside + QStringLiteral("/journal"), text));
            QVERIFY(QFile::link(outside + QStringLiteral("/journal"), name));
        } else if (setup == QLatin1String("folder")) {
            QVERIFY(makeFolder(name + QStringLiteral("/inside")));
        } else if (setup == QLatin1String("fifo")) {
#ifndef Q_OS_WIN
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
#endif
        } else {
            QVERIFY(writeFile(name, text));
        }
        if (setup == QLatin1String("notes"))
            QVERIFY(writeFile(base + QStringLiteral("/notes.txt"), QByteArray("notes")));
        if (setup == QLatin1String("huge"))
            QVERIFY(QFile::resize(name, (qint64(256) << 20) + 1));
#ifndef Q_OS_WIN
        if ((setup == QLatin1String("owner") || setup == QLatin1String("base owner")) && !runningAsRoot())
            QSKIP("giving a file to another user needs root");
        if (setup == QLatin1String("owner"))
            QCOMPARE(::lchown(QFile::encodeName(name).constData(), 65534, 65534), 0);
        if (setup == QLatin1String("base owner"))
            QCOMPARE(::lchown(QFile::encodeName(base).constData(), 65534, 65534), 0);
        if (setup == QLatin1String("shared"))
            QCOMPARE(::chmod(QFile::encodeName(base).constData(), 0777), 0);
#endif
        const QStringList before = treeInventory(here);

        const CliRun recovered = recover();
        const QString said = recovered.out + recovered.err;
        if (setup == QLatin1String("base owner")) {
            // Not entered: nothing is said of it, nothing changes.
            QVERIFY2(recovered.exitCode == 0 && recovered.out.contains(QStringLiteral("中断された移動はありません")), qPrintable(said));
            QCOMPARE(treeInventory(here), before);
            const CliRun moved = moveOther();
            QVERIFY2(moved.exitCode == 1 && moved.out.contains(QStringLiteral("belongs to another user")),
                     qPrintable(moved.out + moved.err));
            QCOMPARE(treeInventory(here), before);
            return;
        }
        if (rule.isEmpty()) {
            QVERIFY2(recovered.exitCode == 0, qPrintable(said));
            QVERIFY(QFileInfo::exists(src + QStringLiteral("/a.txt")) && !QFileInfo::exists(folder));
            return;
        }
        QVERIFY2(recovered.exitCode == 1 && said.contains(rule), qPrintable(said));
        if (setup != QLatin1String("shared"))
            QVERIFY2(said.contains(QStringLiteral("Journal refused, nothing was changed. path:%1")
                                       .arg(QDir::toNativeSeparators(name))),
                     qPrintable(said));
        QCOMPARE(treeInventory(here), before);

        // A move beside it refuses with the same words, and moves nothing.
        const CliRun moved = moveOther();
        QVERIFY2(moved.exitCode == 1 && (moved.out + moved.err).contains(rule), qPrintable(moved.out + moved.err));
        QCOMPARE(treeInventory(here), before);
    }

    // While a move holds its base folder, recover and a second move beside
    // it wait a little, then refuse with a clear line and touch nothing;
    // the move then ends whole.
    void oneWriterPerBaseFolder()
    {
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), 100));
        QVERIFY(writeFile(src + QStringLiteral("/c.txt"), 300));
        const DirectoryNodePtr root = scanFolder(src);
        PackageMoveRequest request;
        request.root = root;
        request.volumeRoot = NativePath::fromText(volume);
        request.orderName = QStringLiteral("CD");
        request.label = QStringLiteral("L");
        request.packages << PackageMoveRequest::Chosen{
            0, packageOf(root, {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")})};
        PackageMoveJob job(request);
        HeldMove held(QStringLiteral("b.txt"));
        PackageMoveJob::Outcome outcome = PackageMoveJob::BaseFailed;
        std::thread mover([&] { outcome = job.run(); });
        QTRY_VERIFY(held.reached());
        const QStringList other = treeInventory(path(QStringLiteral("other")));

        const CliRun recovered = recover();
        const CliRun moved = moveOther();
        held.release();
        mover.join();

        const QString busy = QStringLiteral("%1 は別の korvo が使用中です").arg(QDir::toNativeSeparators(base));
        QVERIFY2(recovered.exitCode == 1 && recovered.out.contains(busy), qPrintable(recovered.out + recovered.err));
        QVERIFY2(moved.exitCode == 1 && moved.out.contains(busy), qPrintable(moved.out + moved.err));
        QCOMPARE(treeInventory(path(QStringLiteral("other"))), other);
        QCOMPARE(outcome, PackageMoveJob::Finished);
        QVERIFY(job.results().first().succeeded());
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"a.txt", "b.txt", "c.txt"}));
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"1"});
    }

    // An item whose old name is taken again stays in the package folder,
    // and so do the listing and the journal that name it; a package folder
    // that vanished is reported with its items. A label holding "%1" stays
    // as it is in every line.
    void undoKeepsWhatItCannotFinish_data()
    {
        QTest::addColumn<bool>("vanished");
        QTest::newRow("old name taken") << false;
        QTest::newRow("package folder gone") << true;
    }

    void undoKeepsWhatItCannotFinish()
    {
        QFETCH(bool, vanished);
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), 100));
        const QString label = QStringLiteral("L%1%2");
        interruptedMove(label);
        const QString labelBase = volume + QStringLiteral("/korvo_pack/CD/") + label;
        const QString packageFolder = labelBase + QStringLiteral("/1");
        if (vanished)
            QVERIFY(QDir().rename(packageFolder, outside + QStringLiteral("/lost")));
        else
            QVERIFY(writeFile(src + QStringLiteral("/a.txt"), QByteArray("new")));

        const CliRun recovered = recover();
        QCOMPARE(recovered.exitCode, 1);
        const QString head = QStringLiteral("パッケージ1を%1から元に戻せませんでした（%2個の項目を戻しました）。\n")
                                 .arg(QDir::toNativeSeparators(packageFolder),
                                      vanished ? QStringLiteral("0") : QStringLiteral("1"));
        QVERIFY2(recovered.out.startsWith(head), qPrintable(recovered.out));
        QVERIFY(QFileInfo::exists(labelBase + QStringLiteral("/.1.korvo-move")));
        if (vanished) {
            QVERIFY2(recovered.out.contains(QStringLiteral("The package folder is gone. path:%1.").arg(QDir::toNativeSeparators(packageFolder))),
                     qPrintable(recovered.out));
            QCOMPARE(recovered.out.count(QStringLiteral("Item neither in its old place nor in the package folder")), 2);
            return;
        }
        QVERIFY2(recovered.out.contains(QStringLiteral("Item left in the package folder: its old name is taken again."))
                     && recovered.out.contains(
                         QStringLiteral("Kept beside the package while not every item is back: 1.xml.")),
                 qPrintable(recovered.out));
        QVERIFY(QFileInfo::exists(labelBase + QStringLiteral("/1.xml")));
        QVERIFY(QFileInfo::exists(packageFolder + QStringLiteral("/a.txt")));
        QVERIFY(QFileInfo::exists(src + QStringLiteral("/b.txt")));

        // Once the name is free again, the package goes home whole.
        QVERIFY(QFile::remove(src + QStringLiteral("/a.txt")));
        QCOMPARE(recover().exitCode, 0);
        QCOMPARE(QDir(labelBase).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(QFile(src + QStringLiteral("/a.txt")).size(), 100);
    }

#ifndef Q_OS_WIN
    // A package whose journal cannot be removed once its items have moved
    // is not finished: its line and the last line say so and name recover,
    // a second move refuses to start, and recover puts it back whole.
    void unfinishedPackageIsAFailure()
    {
        if (!straceAvailable())
            QSKIP("strace, which scripts/setup installs, is not there");
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), 100));
        const QStringList before = treeInventory(src);
        const QStringList move{QStringLiteral("move"), QStringLiteral("--order"), QStringLiteral("CD"),
                               QStringLiteral("--label"), QStringLiteral("L"), QStringLiteral("--volume-root"), volume, src};
        // The first unlink of the move is the journal's removal.
        const CliRun run = runCliTraced({QStringLiteral("-e"), QStringLiteral("trace=unlinkat,unlink"), QStringLiteral("-e"),
                                         QStringLiteral("inject=unlinkat,unlink:error=EIO:when=1")},
                                        move);
        QCOMPARE(run.exitCode, 1);
        const QString journal = base + QStringLiteral("/.1.korvo-move");
        QVERIFY2(run.out.contains(QStringLiteral("パッケージ1を%1/へ移動しましたが、完了できませんでした。\n"
                                                 "Remove journal failed. path:%2 winError:%3 (%4).")
                                      .arg(folder, journal, QString::number(EIO), qt_error_string(EIO))),
                 qPrintable(run.out));
        QVERIFY2(run.out.endsWith(QStringLiteral("パッケージ1の移動に失敗しました。\nRun 'korvo-cli recover \"%1\"' to undo "
                                                 "it before moving again.\n").arg(base)),
                 qPrintable(run.out));
        QVERIFY(QFileInfo::exists(journal));

        const CliRun again = runCli(move);
        QVERIFY2(again.exitCode == 1 && again.err.contains(QStringLiteral("パッケージ1の移動が中断されたままです")),
                 qPrintable(again.out + again.err));
        QCOMPARE(recover().exitCode, 0);
        QCOMPARE(treeInventory(src), before);
    }

    // A journal that cannot be written for want of space says so, with
    // the system's own code and text; nothing moves.
    void fullDiskJournal()
    {
        if (!runningAsRoot())
            QSKIP("mounting a small file system (tmpfs) needs root");
        const QByteArray mnt = QFile::encodeName(path(QStringLiteral("mnt")));
        QVERIFY(makeFolder(path(QStringLiteral("mnt"))));
        QCOMPARE(::mount("tmpfs", mnt.constData(), "tmpfs", 0, "size=64k,mode=0755"), 0);
        const auto unmount = qScopeGuard([&] { ::umount2(mnt.constData(), MNT_DETACH); });
        const QString full = QFile::decodeName(mnt) + QStringLiteral("/src");
        QVERIFY(writeFile(full + QStringLiteral("/big"), 15 * 4096) && writeFile(full + QStringLiteral("/small"), 4096));
        const QStringList before = treeInventory(full);
        const CliRun run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QStringLiteral("1G"),
                                   QStringLiteral("--volume-root"), QFile::decodeName(mnt), full});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(QStringLiteral("Write journal failed. path:%1/korvo_pack/1000000000/.1.korvo-move "
                                                 "winError:%2 (%3).")
                                      .arg(QFile::decodeName(mnt), QString::number(ENOSPC), qt_error_string(ENOSPC))),
                 qPrintable(run.out));
        QCOMPARE(treeInventory(full), before);
    }

    // Every folder level a move makes is made lasting in its parent before
    // anything goes into it, and recover makes the items' return lasting
    // before it removes anything of the package.
    void levelsAndReturnsAreSynced()
    {
        if (!straceAvailable())
            QSKIP("strace, which scripts/setup installs, is not there");
        QVERIFY(removeTree(volume) && makeFolder(volume));
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), 100));
        const QString log = path(QStringLiteral("strace.log"));
        const QStringList calls{QStringLiteral("-y"), QStringLiteral("-e"), QStringLiteral("trace=mkdirat,mkdir,fsync,unlinkat,rmdir")};
        QCOMPARE(runCliTraced(calls, {QStringLiteral("move"), QStringLiteral("--order"), QStringLiteral("CD"),
                                      QStringLiteral("--label"), QStringLiteral("L"), QStringLiteral("--volume-root"),
                                      volume, src}, log).exitCode, 0);
        QString trace = QString::fromUtf8(readAll(log));
        const auto at = [&trace](const QString& pattern, int from) {
            return trace.indexOf(QRegularExpression(pattern), from);
        };
        QString level = QRegularExpression::escape(volume);
        for (const QString& name : {QStringLiteral("korvo_pack"), QStringLiteral("CD"), QStringLiteral("L")}) {
            const int made = at(QStringLiteral("mkdirat\\(\\d+<%1>, \"%2\"").arg(level, name), 0);
            const int synced = at(QStringLiteral("fsync\\(\\d+<%1>\\) = 0").arg(level), made);
            level += QLatin1Char('/') + name;
            const int used = at(QStringLiteral("<%1>").arg(level), made);
            QVERIFY2(made >= 0 && synced > made && used > synced, qPrintable(name + QStringLiteral(":\n") + trace));
        }

        QVERIFY(removeTree(volume) && makeFolder(volume));
        QVERIFY(writeFile(src + QStringLiteral("/a.txt"), 100));
        interruptedMove(QStringLiteral("L"));
        QCOMPARE(runCliTraced(calls, {QStringLiteral("recover"), volume}, log).exitCode, 0);
        trace = QString::fromUtf8(readAll(log));
        const int sourceSynced = at(QStringLiteral("fsync\\(\\d+<%1>\\) = 0").arg(QRegularExpression::escape(src)), 0);
        const int folderGone = at(QStringLiteral("<%1>, \"1\", AT_REMOVEDIR").arg(QRegularExpression::escape(base)), 0);
        QVERIFY2(sourceSynced >= 0 && folderGone > sourceSynced, qPrintable(trace));
    }
#endif
};

QTEST_GUILESS_MAIN(RecoverTest)
#include "tst_recover.moc"
