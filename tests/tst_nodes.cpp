#include "DirectoryNode.h"
#include "FileNode.h"
#include "NodeTimes.h"

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
