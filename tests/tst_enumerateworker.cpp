#include "EnumerateWorker.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace korvo;
using namespace korvo::test;

namespace {

// What a worker emitted, in order, and from which thread.
struct Event
{
    enum Kind { Progress, Finished } kind;
    bool fromWorkerThread;
    EnumerateProgress stats;
    DirectoryNodePtr root;
    bool isCanceled = false;
};

class Recorder
{
public:
    explicit Recorder(EnumerateWorker& worker) : worker_(worker)
    {
        // Direct connections: each event is recorded on the emitting thread.
        QObject::connect(
            &worker, &EnumerateWorker::progress, &worker,
            [this](const EnumerateProgress& stats) {
                QMutexLocker locker(&lock_);
                events_.append(Event{Event::Progress, QThread::currentThread() == &worker_, stats, {}, false});
            },
            Qt::DirectConnection);
        QObject::connect(
            &worker, &EnumerateWorker::finished, &worker,
            [this](const DirectoryNodePtr& root, const EnumerateProgress& stats, bool isCanceled) {
                QMutexLocker locker(&lock_);
                events_.append(Event{Event::Finished, QThread::currentThread() == &worker_, stats, root, isCanceled});
            },
            Qt::DirectConnection);
    }
    // Should a failed check leave a scan running, the recorder goes first:
    // the scan, which writes into it, is stopped before.
    ~Recorder()
    {
        worker_.cancel();
        worker_.wait();
    }
    QVector<Event> events() const
    {
        QMutexLocker locker(&lock_);
        return events_;
    }
    void clear()
    {
        QMutexLocker locker(&lock_);
        events_.clear();
    }
    // The events the run itself emitted (not the timer's).
    QVector<Event> fromRun() const
    {
        QVector<Event> result;
        for (const Event& event : events()) {
            if (event.fromWorkerThread)
                result.append(event);
        }
        return result;
    }

private:
    EnumerateWorker& worker_;
    mutable QMutex lock_;
    QVector<Event> events_;
};

bool runToEnd(EnumerateWorker& worker)
{
    return worker.wait(120000);
}

} // namespace

class EnumerateWorkerTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir bigTree_;
#ifdef Q_OS_WIN
    // Wine makes and removes a folder slowly (tens of seconds for thousands
    // on a busy machine); its single walking thread needs fewer to be
    // cancelled while listing.
    const int bigFolders_ = 2000;
#else
    const int bigFolders_ = 5000;
#endif

private slots:
    void initTestCase()
    {
        // Several walking threads, whatever the machine: a cancel must stop
        // them all, and their updates must reach the record whole.
        qputenv("KORVO_SCAN_THREADS", "4");
        // Enough folders that a scan is still listing when a test cancels it,
        // each with a file of one byte.
        for (int i = 0; i < bigFolders_; ++i)
            QVERIFY(writeFile(bigTree_.filePath(QStringLiteral("g%1/f%2/one").arg(i % 50).arg(i)), 1));
    }

    void cleanupTestCase()
    {
        // Removed here rather than after the last case, so that a slow
        // removal shows as this step's time and not as a program that does
        // not end.
        QVERIFY(bigTree_.remove());
    }

    void setUp()
    {
        EnumerateWorker worker;
        const QTimer* timer = worker.findChild<QTimer*>(QStringLiteral("Timer"));
        QVERIFY(timer);
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(QMetaType::type("korvo::DirectoryNodePtr") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("korvo::EnumerateProgress") != QMetaType::UnknownType);
        // While no scan runs the timer reports nothing.
        QSignalSpy progress(&worker, &EnumerateWorker::progress);
        QTest::qWait(1300);
        QCOMPARE(progress.count(), 0);
    }

    void oneFinalProgressThenFinished()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("a/b.txt")), 10));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("c.txt")), 5));
        EnumerateWorker worker;
        Recorder recorder(worker);
        // The hand-over to another thread is queued and carries the tree.
        QSignalSpy finished(&worker, &EnumerateWorker::finished);
        worker.setDirectory(QDir(dir.path()));
        worker.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
        QVERIFY(runToEnd(worker));
        const QVector<Event> run = recorder.fromRun();
        QCOMPARE(run.size(), 2);
        QCOMPARE(run.at(0).kind, Event::Progress);
        QCOMPARE(run.at(1).kind, Event::Finished);
        QVERIFY(!run.at(1).isCanceled);
        QVERIFY(run.at(1).root);
        QCOMPARE(run.at(0).stats.fileCount, 2);
        QCOMPARE(run.at(0).stats.directoryCount, 1);
        QCOMPARE(run.at(0).stats.totalSize, 15);
        QCOMPARE(run.at(0).stats.phase, 3);
        QCOMPARE(run.at(1).stats.fileCount, 2);
        const DirectoryNodePtr root = finished.at(0).at(0).value<DirectoryNodePtr>();
        QVERIFY(root);
        QCOMPARE(root->totalSize(), 15);
        QCOMPARE(root->absoluteFilePath(), QFileInfo(dir.path()).absoluteFilePath());

        // The same worker again, on another folder: counts start afresh.
        QTemporaryDir other;
        QVERIFY(writeFile(other.filePath(QStringLiteral("only")), 3));
        recorder.clear();
        worker.setDirectory(QDir(other.path()));
        worker.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);
        QVERIFY(runToEnd(worker));
        const QVector<Event> second = recorder.fromRun();
        QCOMPARE(second.size(), 2);
        QCOMPARE(second.at(1).stats.fileCount, 1);
        QCOMPARE(second.at(1).stats.directoryCount, 0);
        QCOMPARE(second.at(1).stats.totalSize, 3);
        QCOMPARE(second.at(1).root->totalSize(), 3);
    }

    void cancelRightAfterStart()
    {
        // A cancel that arrives before the thread has begun its run is kept.
        EnumerateWorker worker;
        Recorder recorder(worker);
        worker.setDirectory(QDir(bigTree_.path()));
        worker.start();
        worker.cancel();
        QVERIFY(runToEnd(worker));
        const QVector<Event> run = recorder.fromRun();
        QCOMPARE(run.size(), 1);
        QCOMPARE(run.at(0).kind, Event::Finished);
        QVERIFY(run.at(0).isCanceled);
        QVERIFY(!run.at(0).root);
        QCOMPARE(run.at(0).stats.phase, 3);
        QVERIFY(run.at(0).stats.directoryCount < bigFolders_ + 50);

        // Cancelled before start, too.
        recorder.clear();
        worker.setDirectory(QDir(bigTree_.path()));
        worker.cancel();
        worker.start();
        QVERIFY(runToEnd(worker));
        QCOMPARE(recorder.fromRun().size(), 1);
        QVERIFY(recorder.fromRun().at(0).isCanceled);
        QCOMPARE(recorder.fromRun().at(0).stats.directoryCount, 0);

        // A start without a new folder after a cancelled run is not cancelled.
        recorder.clear();
        worker.start();
        QVERIFY(runToEnd(worker));
        QCOMPARE(recorder.fromRun().size(), 2);
        QVERIFY(!recorder.fromRun().at(1).isCanceled);
        QCOMPARE(recorder.fromRun().at(1).stats.directoryCount, bigFolders_ + 50);
    }

    void cancelDuringScan()
    {
        EnumerateWorker worker;
        Recorder recorder(worker);
        // On a busy machine this thread may sleep through a whole scan; a
        // scan that was already over when the cancel came is tried again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            recorder.clear();
            worker.setDirectory(QDir(bigTree_.path()));
            worker.start();
            // Wait until the scan is listing, then cancel.
            QElapsedTimer clock;
            clock.start();
            while (worker.snapshot().directoryCount < 100 && worker.isRunning() && clock.elapsed() < 60000)
                QThread::yieldCurrentThread();
            worker.cancel();
            QVERIFY(runToEnd(worker));
            const QVector<Event> run = recorder.fromRun();
            QVERIFY(!run.isEmpty());
            if (!run.last().isCanceled && run.last().stats.directoryCount == bigFolders_ + 50)
                continue;
            QCOMPARE(run.size(), 1); // no final progress, only finished
            QCOMPARE(run.at(0).kind, Event::Finished);
            QVERIFY(run.at(0).isCanceled);
            QVERIFY(!run.at(0).root);
            QCOMPARE(run.at(0).stats.phase, 3);
            // The partial counts of what was listed.
            QVERIFY(run.at(0).stats.directoryCount >= 100);
            QVERIFY(run.at(0).stats.directoryCount < bigFolders_ + 50);
            return;
        }
        QFAIL("every scan was over before it could be cancelled");
    }

    void timerReportsWhileRunning()
    {
        // The timer's reports come on the owner's thread with consistent
        // snapshots: counts only ever grow during one scan.
        EnumerateWorker worker;
        Recorder recorder(worker);
        worker.setDirectory(QDir(bigTree_.path()));
        worker.start();
        while (worker.isRunning())
            QTest::qWait(20);
        QVERIFY(runToEnd(worker));
        QCoreApplication::processEvents();
        int last = -1;
        for (const Event& event : recorder.events()) {
            if (event.kind == Event::Progress) {
                QVERIFY(event.stats.directoryCount >= last);
                last = event.stats.directoryCount;
                // A folder's files and bytes are counted together.
                QCOMPARE(event.stats.totalSize, qint64(event.stats.fileCount));
            }
        }
        QCOMPARE(last, bigFolders_ + 50);
    }

    void destroyedWhileRunning()
    {
        auto* worker = new EnumerateWorker;
        worker->setDirectory(QDir(bigTree_.path()));
        worker->start();
        delete worker; // stops the scan and waits for it; no thread left behind
    }
};

QTEST_GUILESS_MAIN(EnumerateWorkerTest)
#include "tst_enumerateworker.moc"
