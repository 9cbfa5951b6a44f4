#include "DirectoryNode.h"
#include "FileNode.h"
#include "NodeTimes.h"
#include "Package.h"
#include "ScanSupport.h"

#include <QThread>
#include <QtTest>

using namespace korvo;

namespace {

// A chain of `levels` folders, each holding one file, built in memory.
DirectoryNodePtr makeChain(int levels, DirectoryNodePtr* keep = nullptr, int keepDepth = -1)
{
    const DirectoryNodePtr root = DirectoryNodePtr::create(DirectoryNodePtr(), QStringLiteral("/"), QString(),
                                                           NodeTimes());
    DirectoryNodePtr current = root;
    for (int i = 1; i < levels; ++i) {
        const DirectoryNodePtr next =
            DirectoryNodePtr::create(current, QStringLiteral("/deep"), QStringLiteral("d"), NodeTimes());
        next->appendFile(FileNodePtr::create(QStringLiteral("/deep/d"), QStringLiteral("f"), 1, 1, NodeTimes()));
        current->appendSubdirectory(next);
        if (i == keepDepth && keep)
            *keep = next;
        current = next;
    }
    return root;
}

// The node at a path of names below `root` ("P/2019/a1"); null if none.
PackagablePtr nodeAt(const DirectoryNodePtr& root, const QString& path)
{
    DirectoryNodePtr folder = root;
    const QStringList names = path.split(QLatin1Char('/'));
    for (int i = 0; i < names.size() && folder; ++i) {
        const bool last = i == names.size() - 1;
        for (const FileNodePtr& file : folder->files()) {
            if (last && file->fileName() == names.at(i))
                return file;
        }
        DirectoryNodePtr next;
        for (const DirectoryNodePtr& sub : folder->subdirectories()) {
            if (sub->fileName() == names.at(i))
                next = sub;
        }
        if (last)
            return next;
        folder = next;
    }
    return PackagablePtr();
}

} // namespace

class NodesTest : public QObject
{
    Q_OBJECT
private slots:
    void deepTreeIsReleasedWithoutRecursion()
    {
        // 100,000 levels released on a thread with a 256 KiB stack: one
        // nested destructor per level would overflow it many times over.
        DirectoryNodePtr root = makeChain(100000);
        QCOMPARE(root->subdirectory(0)->subdirectory(0)->depth(), 2);
        QThread* thread = QThread::create([&root] { root.reset(); });
        thread->setStackSize(256 * 1024);
        thread->start();
        QVERIFY(thread->wait(60000));
        delete thread;
        QVERIFY(root.isNull());
    }

    void heldSubtreeOutlivesItsRoot()
    {
        DirectoryNodePtr kept;
        DirectoryNodePtr root = makeChain(1000, &kept, 500);
        QVERIFY(kept);
        QCOMPARE(kept->depth(), 500);
        QVERIFY(!kept->isRoot());
        root.reset();
        // The parent went with the root; the held node keeps everything below.
        QVERIFY(kept->isRoot());
        QVERIFY(!kept->isLastSubdirectory());
        int below = 0;
        for (DirectoryNodePtr node = kept; node->subdirectoryCount() > 0; node = node->subdirectory(0)) {
            QCOMPARE(node->fileCount(), 1);
            ++below;
        }
        QCOMPARE(below, 499);
    }

    // Pieces of split folders taken out package after package, the lists
    // not read in between (as during a move): each folder emptied goes, and
    // so does each folder above it left empty; every figure stays right.
    void removePiecesOverSeveralPackages()
    {
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QStringList files{QStringLiteral("r"),         QStringLiteral("P/2019/a1"), QStringLiteral("P/2019/a2"),
                                QStringLiteral("P/2019/a3"), QStringLiteral("P/2019/b/x1"),
                                QStringLiteral("P/2019/b/x2"), QStringLiteral("P/2020/c1"), QStringLiteral("Q/q")};
        for (int i = 0; i < files.size(); ++i) {
            const QString path = temporary.filePath(files.at(i));
            QFile file(path);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(QByteArray(10 * (i + 1), 'x')), qint64(10 * (i + 1)));
        }
        const DirectoryNodePtr root = test::scanFolder(temporary.path());
        QVERIFY(root);
        auto packageOf = [&root](const QStringList& paths) {
            PackagePtr package(new Package);
            for (const QString& path : paths)
                package->items << nodeAt(root, path);
            return package;
        };
        const PackagePtr first = packageOf({QStringLiteral("P/2019/a1"), QStringLiteral("P/2020/c1"),
                                            QStringLiteral("P/2019/b/x1")});
        const PackagePtr second = packageOf({QStringLiteral("P/2019/a2"), QStringLiteral("P/2019/a3")});
        const PackagePtr third = packageOf({QStringLiteral("P/2019/b/x2"), QStringLiteral("Q")});
        for (const PackagePtr& package : {first, second, third}) {
            for (const PackagablePtr& item : package->items)
                QVERIFY(item);
        }

        root->remove(first);
        root->remove(second);
        QCOMPARE(test::invariantViolation(root), QString());
        QVERIFY(nodeAt(root, QStringLiteral("P/2019/b/x2")));
        QVERIFY(!nodeAt(root, QStringLiteral("P/2020")));
        QCOMPARE(nodeAt(root, QStringLiteral("P")).dynamicCast<DirectoryNode>()->subdirectoryCount(), 1);
        QCOMPARE(nodeAt(root, QStringLiteral("P/2019")).dynamicCast<DirectoryNode>()->fileCount(), 0);
        QCOMPARE(root->totalFileCount(), 3);
        QCOMPARE(root->totalSubdirectoryCount(), 4); // P, P/2019, P/2019/b, Q
        QCOMPARE(root->totalSize(), qint64(10 + 60 + 80));

        root->remove(third);
        QCOMPARE(test::invariantViolation(root), QString());
        QCOMPARE(root->subdirectoryCount(), 0);
        QCOMPARE(root->totalSubdirectoryCount(), 0);
        QCOMPARE(root->totalFileCount(), 1);
        QCOMPARE(root->totalSize(), qint64(10));
    }

    void lastSubdirectory()
    {
        const DirectoryNodePtr root =
            DirectoryNodePtr::create(DirectoryNodePtr(), QStringLiteral("/top"), QStringLiteral("r"), NodeTimes());
        const DirectoryNodePtr first =
            DirectoryNodePtr::create(root, root->absoluteFilePath(), QStringLiteral("a"), NodeTimes());
        const DirectoryNodePtr second =
            DirectoryNodePtr::create(root, root->absoluteFilePath(), QStringLiteral("b"), NodeTimes());
        root->appendSubdirectory(first);
        root->appendSubdirectory(second);
        QVERIFY(!root->isLastSubdirectory());
        QVERIFY(!first->isLastSubdirectory());
        QVERIFY(second->isLastSubdirectory());
        QCOMPARE(second->absoluteFilePath(), QStringLiteral("/top/r/b"));
        QCOMPARE(second->absolutePath(), QStringLiteral("/top/r"));
        QCOMPARE(second->depth(), 1);
        QCOMPARE(root->subdirectory(1), second);
    }

    void fileNamesInASharedText()
    {
        auto shared = [](const QString& folder) {
            auto* files = new FileNode::Shared;
            files->folder = FolderPath::fromText(folder);
            files->names = QStringLiteral(".profilearchive.tar.gznoextdot.");
            files->geometry = DriveGeometry(2, 512);
            return FileNode::SharedPtr(files);
        };
        const NodeTimes times;
        const FileNode hidden(shared(QStringLiteral("/")), 0, 8, 0, times);
        const FileNode archive(shared(QStringLiteral("/home")), 8, 14, 1025, times);
        const FileNode plain(shared(QStringLiteral("/home/")), 22, 5, 1, times);
        const FileNode dot(shared(QStringLiteral("/x")), 27, 4, 1, times);
        QCOMPARE(hidden.fileName(), QStringLiteral(".profile"));
        QCOMPARE(hidden.suffix(), QStringLiteral("profile"));
        QCOMPARE(hidden.absoluteFilePath(), QStringLiteral("/.profile"));
        QCOMPARE(archive.fileName(), QStringLiteral("archive.tar.gz"));
        QCOMPARE(archive.suffix(), QStringLiteral("gz"));
        QCOMPARE(archive.absoluteFilePath(), QStringLiteral("/home/archive.tar.gz"));
        QCOMPARE(plain.fileName(), QStringLiteral("noext"));
        QCOMPARE(plain.suffix(), QString());
        QCOMPARE(plain.absoluteFilePath(), QStringLiteral("/home/noext"));
        QCOMPARE(dot.fileName(), QStringLiteral("dot."));
        QCOMPARE(dot.suffix(), QString());
        QCOMPARE(dot.totalSize(), 1);
        // Sizes on disk come from the shared geometry (1,024-byte clusters)...
        QCOMPARE(hidden.sizeOnDisk(), 0);
        QCOMPARE(archive.sizeOnDisk(), 2048);
        QCOMPARE(dot.totalSizeOnDisk(), 1024);
        // ... or are given for a node of its own.
        const FileNode given(QStringLiteral("/p"), QStringLiteral("n.x"), 10, 777, times);
        QCOMPARE(given.sizeOnDisk(), 777);
        QCOMPARE(given.absoluteFilePath(), QStringLiteral("/p/n.x"));
    }

    void times()
    {
        const qint64 birth = 1000000000000, change = 1100000000000, modified = 1200000000000;
        const qint64 none = NodeTimes::Invalid;
        QCOMPARE(NodeTimes::createdFrom(birth, change, modified), birth);
        QCOMPARE(NodeTimes::createdFrom(none, change, modified), change);
        QCOMPARE(NodeTimes::createdFrom(none, none, modified), modified);
        QCOMPARE(NodeTimes::createdFrom(none, none, none), none);
        QVERIFY(!NodeTimes::toDateTime(none).isValid());
        const QDateTime local = NodeTimes::toDateTime(modified);
        QCOMPARE(local.timeSpec(), Qt::LocalTime);
        QCOMPARE(local, QDateTime::fromMSecsSinceEpoch(modified));
        QCOMPARE(NodeTimes::toMSecs(local), modified);
        QCOMPARE(NodeTimes::toMSecs(QDateTime()), none);
        NodeTimes set;
        set.created = birth;
        set.lastModified = modified;
        const FileNode file(QStringLiteral("/"), QStringLiteral("f"), 0, 0, set);
        QCOMPARE(file.created(), QDateTime::fromMSecsSinceEpoch(birth));
        QCOMPARE(file.lastModified(), local);
        QVERIFY(!file.lastRead().isValid());
    }
};

QTEST_GUILESS_MAIN(NodesTest)
#include "tst_nodes.moc"
