#include "ExportWorker.h"
#include "Exporter.h"
#include "TreeBuilder.h"

#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

using namespace korvo;
using korvo::test::TreeBuilder;

namespace {

// An exporter that holds its thread until released, reporting a fixed
// percentage meanwhile, so that the polling can be watched.
class HeldExporter : public iExporter
{
public:
    qreal progress() const override { return value.load(); }
    bool exportTo(const QString& path, const DirectoryNodePtr& root, QString* error) override
    {
        return exportTo(NativePath::fromText(path), TargetMode::Replace, root, error);
    }
    bool exportTo(const NativePath&, TargetMode, const DirectoryNodePtr&, QString*) override
    {
        value.store(42.5);
        started.release();
        release.acquire();
        value.store(100.0);
        return true;
    }

    std::atomic<qreal> value{0.0};
    QSemaphore started;
    QSemaphore release;
};

// Everything a worker emits, in arrival order.
class Recorder : public QObject
{
public:
    explicit Recorder(ExportWorker& worker)
    {
        connect(&worker, &ExportWorker::progress, this,
                [this](qreal value) { events.append(QStringLiteral("progress %1").arg(value)); });
        connect(&worker, qOverload<bool, const QString&, const QString&>(&ExportWorker::finished), this,
                [this](bool ok, const QString& path, const QString& error) {
                    events.append(QStringLiteral("finished %1 %2").arg(ok).arg(path));
                    errorString = error;
                });
        connect(&worker, &QThread::finished, this, [this] { events.append(QStringLiteral("ended")); });
    }

    bool ended() const { return events.contains(QStringLiteral("ended")); }
    // The events after any timer polls that came while the export ran.
    QStringList lastEvents(int count) const { return events.mid(events.size() - count); }

    QStringList events;
    QString errorString;
};

} // namespace

class ExportWorkerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void successReportsFullProgressThenTheResult()
    {
        ExportWorker worker;
        Recorder recorder(worker);
        const QString path = dir.filePath(QStringLiteral("ok.txt"));
        worker.setup(path, TreeBuilder::example(), createTxtExporter(TxtExporterSettings()));
        worker.start(QThread::InheritPriority);
        QTRY_VERIFY(recorder.ended());
        QCOMPARE(recorder.lastEvents(3), (QStringList{QStringLiteral("progress 100"),
                                                      QStringLiteral("finished 1 ") + path,
                                                      QStringLiteral("ended")}));
        QVERIFY(recorder.errorString.isEmpty());
        QVERIFY(QFileInfo(path).size() > 0);
    }

    void failedOpenReportsZeroThenTheReason()
    {
        ExportWorker worker;
        Recorder recorder(worker);
        const QString path = dir.filePath(QStringLiteral("missing/folder/list.xml"));
        worker.setup(path, TreeBuilder::example(), createXmlExporter(XmlExporterSettings()));
        worker.start(QThread::InheritPriority);
        QTRY_VERIFY(recorder.ended());
        QCOMPARE(recorder.lastEvents(3), (QStringList{QStringLiteral("progress 0"),
                                                      QStringLiteral("finished 0 ") + path, QStringLiteral("ended")}));
        QVERIFY(!recorder.errorString.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    }

    void pollsOncePerSecondOnlyWhileRunning()
    {
        ExportWorker worker;
        Recorder recorder(worker);
        QTest::qWait(2300); // two ticks of an idle worker
        QVERIFY(recorder.events.isEmpty());

        const QSharedPointer<HeldExporter> exporter(new HeldExporter);
        worker.setup(dir.filePath(QStringLiteral("held.txt")), TreeBuilder::example(), exporter);
        QElapsedTimer clock;
        clock.start();
        worker.start(QThread::InheritPriority);
        QVERIFY(exporter->started.tryAcquire(1, 5000));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events.size(), 2, 6000);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(recorder.events, (QStringList{QStringLiteral("progress 42.5"), QStringLiteral("progress 42.5")}));
        QVERIFY2(elapsed >= 900, qPrintable(QString::number(elapsed))); // a second apart, not faster
        exporter->release.release();
        QTRY_VERIFY(recorder.ended());
        QCOMPARE(recorder.lastEvents(3).first(), QStringLiteral("progress 100"));
    }

    void releasesTheTreeButKeepsTheExporter()
    {
        ExportWorker worker;
        Recorder recorder(worker);
        DirectoryNodePtr root = TreeBuilder::example();
        const QWeakPointer<DirectoryNode> tree = root;
        ExporterPtr exporter = createTxtExporter(TxtExporterSettings());
        const QWeakPointer<iExporter> kept = exporter;
        worker.setup(dir.filePath(QStringLiteral("first.txt")), root, exporter);
        worker.start(QThread::InheritPriority);
        QTRY_VERIFY(recorder.ended());
        QVERIFY(worker.wait(5000));
        root.reset();
        exporter.reset();
        QVERIFY(tree.isNull());
        QVERIFY(!kept.isNull());

        // A second run with a new setup replaces the exporter.
        recorder.events.clear();
        const QString second = dir.filePath(QStringLiteral("second.xml"));
        worker.setup(second, TreeBuilder::example(), createXmlExporter(XmlExporterSettings()));
        QVERIFY(kept.isNull());
        worker.start(QThread::InheritPriority);
        QTRY_VERIFY(recorder.ended());
        QCOMPARE(recorder.lastEvents(2).first(), QStringLiteral("finished 1 ") + second);
        QVERIFY(test::readAll(second).startsWith("<?xml"));
    }
};

QTEST_GUILESS_MAIN(ExportWorkerTest)
#include "tst_exportworker.moc"
