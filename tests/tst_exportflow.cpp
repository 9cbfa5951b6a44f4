// The export flow of the main window: the save dialog (replaced through the
// window's seam), the exporter chosen by the typed suffix, the progress
// dialog, the export worker and the report box.

#include "ExportAsFileDialog.h"
#include "EnumerateWorker.h"
#include "ExportWorker.h"
#include "GuiSupport.h"
#include "MainWindow.h"
#include "MainWindowSupport.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace korvo;
using namespace korvo::test;

namespace {

QString report(const QString& path, bool ok, const QString& error = QString())
{
    return path + QStringLiteral("\r\n保存に") + (ok ? QStringLiteral("成功しました。") : QStringLiteral("失敗しました。")) +
           QStringLiteral("\r\n") + error;
}

} // namespace

// Hands every widget to `handler` once the event loop runs after it was shown.
class ShowWatcher : public QObject
{
public:
    explicit ShowWatcher(std::function<void(QWidget*)> handler) : handler_(std::move(handler))
    {
        qApp->installEventFilter(this);
    }
    ~ShowWatcher() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show && object->isWidgetType()) {
            QPointer<QWidget> widget = static_cast<QWidget*>(object);
            QTimer::singleShot(0, this, [this, widget] {
                if (widget)
                    handler_(widget);
            });
        }
        return false;
    }

private:
    std::function<void(QWidget*)> handler_;
};

class ExportFlowTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<ScopedSettingsFile> settingsFile;
    std::unique_ptr<MainWindow> window;
    QString scanned;

    // What the replaced save dialog was asked, and what it answers.
    struct Asked
    {
        QWidget* parent = nullptr;
        QString caption;
        QString filter;
    };
    QList<Asked> asked;
    QString answer;

    // Runs the XML menu entry the way a user picks it, with message boxes
    // closed as they open.
    QList<SeenMessageBox> exportFromMenu(const QString& typedPath)
    {
        answer = typedPath;
        MessageBoxCloser closer;
        auto* action = window->findChild<QAction*>(QStringLiteral("MenuBar.File.ExportMenu.Xml"));
        if (!action || !exportMenu(*window)->isEnabled())
            return {{QStringLiteral("export menu not available"), QString()}};
        action->trigger();
        return closer.seen;
    }

    ExportAsFileDialog* progressDialog() const
    {
        return window->findChild<ExportAsFileDialog*>(QStringLiteral("Dialog.ExportProgress"));
    }

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY(dir.isValid());
        scanned = dir.filePath(QStringLiteral("scanned"));
        QVERIFY(writeFile(scanned + QStringLiteral("/top.txt"), 300));
        QVERIFY(writeFile(scanned + QStringLiteral("/folder/inner.txt"), 2000));
        QVERIFY(makeFolder(dir.filePath(QStringLiteral("out"))));
    }

    void init()
    {
        settingsFile = std::make_unique<ScopedSettingsFile>(dir);
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        asked.clear();
        window->setSaveFileNameFunction([this](QWidget* parent, const QString& caption, const QString& filter) {
            asked.append({parent, caption, filter});
            return answer;
        });
        QVERIFY(dropAndWait(*window, scanned));
        QVERIFY(window->scannedRoot());
    }

    void cleanup()
    {
        window->close();
        window->close();
        window.reset();
        settingsFile.reset();
        QCOMPARE(visibleTopLevelWindows(), QStringList());
    }

    void xmlExportWritesOnlyTheTopLevelItemsAndReports()
    {
        const QString path = dir.filePath(QStringLiteral("out/list.xml"));
        const QList<SeenMessageBox> boxes = exportFromMenu(path);

        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).parent, window.get());
        QCOMPARE(asked.at(0).caption, QStringLiteral("保存ファイルの選択"));
        QCOMPARE(asked.at(0).filter, QStringLiteral("XML (*.xml)"));

        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).title, QStringLiteral("エクスポートの報告"));
        QCOMPARE(boxes.at(0).text, report(path, true));

        const QByteArray xml = readAll(path);
        QVERIFY(xml.startsWith("<?xml"));
        QVERIFY(xml.contains("<topLevelItemList"));
        QVERIFY(!xml.contains("<tree"));
        QVERIFY(!xml.contains("<directoryList"));
        QVERIFY(!xml.contains("<fileList"));
        QVERIFY(xml.contains("top.txt"));

        ExportAsFileDialog* dialog = progressDialog();
        QVERIFY(dialog);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("korvo:エクスポートダイアログ"));
        QCOMPARE(dialog->target(), path);
        QCOMPARE(dialog->progressValue(), 100);
        auto* worker = window->findChild<ExportWorker*>(QStringLiteral("Thread.ExportWorker"));
        QVERIFY(worker);
        QVERIFY(!worker->isRunning());
    }

    void suffixDecidesTheFormatCaseSensitively()
    {
        // A text name typed into the XML dialog writes the text tree.
        const QString txt = dir.filePath(QStringLiteral("out/tree.txt"));
        QList<SeenMessageBox> boxes = exportFromMenu(txt);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).text, report(txt, true));
        const QByteArray text = readAll(txt);
        QVERIFY(!text.isEmpty());
        QVERIFY(!text.startsWith("<?xml"));
        QVERIFY(text.contains("top.txt"));
        QVERIFY(text.contains("\r\n"));

        // Upper-case or missing suffixes write nothing and show nothing.
        for (const QString& name : {QStringLiteral("out/upper.XML"), QStringLiteral("out/upper.TXT"),
                                    QStringLiteral("out/nosuffix"), QStringLiteral("out/list.xml.bak")}) {
            const QString path = dir.filePath(name);
            boxes = exportFromMenu(path);
            QVERIFY2(boxes.isEmpty(), qPrintable(name));
            QVERIFY2(!QFile::exists(path), qPrintable(name));
            QVERIFY(!progressDialog() || !progressDialog()->isVisible());
        }
    }

    void cancelledSaveDialogDoesNothing()
    {
        const QList<SeenMessageBox> boxes = exportFromMenu(QString());
        QCOMPARE(asked.size(), 1);
        QVERIFY(boxes.isEmpty());
        QVERIFY(!progressDialog());
        QVERIFY(!window->findChild<ExportWorker*>());
    }

    void failedExportIsReportedWithTheReason()
    {
        const QString path = dir.filePath(QStringLiteral("missing/folder/list.xml"));
        const QList<SeenMessageBox> boxes = exportFromMenu(path);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).title, QStringLiteral("エクスポートの報告"));
        const QStringList lines = boxes.at(0).text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), path);
        QCOMPARE(lines.at(1), QStringLiteral("保存に失敗しました。"));
        QVERIFY(!lines.at(2).isEmpty());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(progressDialog()->progressValue(), 0);
    }

    void secondExportReusesDialogAndWorker()
    {
        const QString first = dir.filePath(QStringLiteral("out/first.xml"));
        const QString second = dir.filePath(QStringLiteral("out/second.txt"));
        QCOMPARE(exportFromMenu(first).size(), 1);
        ExportAsFileDialog* dialog = progressDialog();
        auto* worker = window->findChild<ExportWorker*>(QStringLiteral("Thread.ExportWorker"));
        QCOMPARE(dialog->progressValue(), 100);

        // The report box of the second export sees the dialog set up afresh.
        QString targetWhileReporting;
        ModalWatcher watcher([&](QWidget* modal) {
            if (qobject_cast<QMessageBox*>(modal) && targetWhileReporting.isEmpty())
                targetWhileReporting = dialog->target();
        });
        const QList<SeenMessageBox> boxes = exportFromMenu(second);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).text, report(second, true));
        QVERIFY(targetWhileReporting.isEmpty() || targetWhileReporting == second);
        QCOMPARE(progressDialog(), dialog);
        QCOMPARE(window->findChild<ExportWorker*>(QStringLiteral("Thread.ExportWorker")), worker);
        QCOMPARE(window->findChildren<ExportAsFileDialog*>().size(), 1);
        QCOMPARE(window->findChildren<ExportWorker*>().size(), 1);
        QVERIFY(QFile::exists(first));
        QVERIFY(QFile::exists(second));
    }

    void changedXmlSettingsReachLaterExports()
    {
        XmlExporterSettings settings = window->xmlExporterSettings();
        QCOMPARE(settings.output[Tree], false);
        QCOMPARE(settings.output[DirectoryList], false);
        QCOMPARE(settings.output[FileList], false);
        QCOMPARE(settings.output[TopLevelItemList], true);
        settings.output[Tree] = true;
        window->setXmlExporterSettings(settings);

        const QString path = dir.filePath(QStringLiteral("out/with-tree.xml"));
        QCOMPARE(exportFromMenu(path).size(), 1);
        const QByteArray xml = readAll(path);
        QVERIFY(xml.contains("<tree"));
        QVERIFY(xml.contains("<topLevelItemList"));
    }

    void textExportSlotUsesTheTextFilter()
    {
        const QString path = dir.filePath(QStringLiteral("out/slot.txt"));
        answer = path;
        MessageBoxCloser closer;
        window->triggerExportAsTxtFile();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).filter, QStringLiteral("Txt (*.txt)"));
        QCOMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.seen.at(0).text, report(path, true));
    }

    // The export cannot be stopped, so its progress window refuses to be
    // closed (by its title bar or Escape) while the export runs: closed, the
    // main window would wait for the export without answering.
    void progressWindowStaysWhileTheExportRuns()
    {
#ifdef Q_OS_WIN
        const int files = 2000; // Wine makes and removes files slowly
#else
        const int files = 10000;
#endif
        const QString many = dir.filePath(QStringLiteral("many"));
        QVERIFY(makeFolder(many));
        for (int i = 0; i < files; ++i)
            QVERIFY(writeFile(many + QStringLiteral("/f%1").arg(i), QByteArray()));
        QVERIFY(dropAndWait(*window, many));
        // As soon as the progress window shows, the user tries to close it.
        int triedWhileRunning = 0;
        bool stayed = true;
        ShowWatcher watcher([&](QWidget* shown) {
            auto* dialog = qobject_cast<ExportAsFileDialog*>(shown);
            auto* worker = window->findChild<ExportWorker*>(QStringLiteral("Thread.ExportWorker"));
            if (!dialog || !worker || !worker->isRunning())
                return;
            ++triedWhileRunning;
            dialog->close();
            QTest::keyClick(dialog, Qt::Key_Escape);
            stayed = stayed && dialog->isVisible();
        });
        const QString path = dir.filePath(QStringLiteral("out/many.xml"));
        const QList<SeenMessageBox> boxes = exportFromMenu(path);
        QVERIFY(QDir(many).removeRecursively());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.at(0).text, report(path, true));
        QVERIFY(!progressDialog()->isVisible());
        if (triedWhileRunning == 0)
            QSKIP("the export ended before its progress window could be closed");
        QVERIFY(stayed);
        // Once the export is over, the window closes as before.
        progressDialog()->show();
        QTest::keyClick(progressDialog(), Qt::Key_Escape);
        QVERIFY(!progressDialog()->isVisible());
    }

    void progressDialogShowsTargetAndTruncatedPercent()
    {
        ExportAsFileDialog dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("ExportAsFileDialog"));
        QCOMPARE(dialog.size(), QSize(400, 95));
        QCOMPARE(dialog.minimumSize(), QSize(400, 95));
        QCOMPARE(dialog.maximumSize(), QSize(400, 95));
        QVERIFY(!dialog.isModal());
        QCOMPARE(dialog.target(), QStringLiteral("Target"));
        QCOMPARE(dialog.progressValue(), 0);
        dialog.setProgress(42.9);
        QCOMPARE(dialog.progressValue(), 42);
        dialog.setProgress(99.99);
        QCOMPARE(dialog.progressValue(), 99);
        dialog.setProgress(100.0);
        QCOMPARE(dialog.progressValue(), 100);
        dialog.setTarget(QStringLiteral("/tmp/<b>x</b>.xml"));
        QCOMPARE(dialog.progressValue(), 0);
        QCOMPARE(dialog.target(), QStringLiteral("/tmp/<b>x</b>.xml"));
    }
};

QTEST_MAIN(ExportFlowTest)
#include "tst_exportflow.moc"
