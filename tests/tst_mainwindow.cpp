// The main window as the user meets it: start-up state, menus, the drop
// area, the scan flow with its cancel button, the settings file and the
// two-stage close.

#include "DropArea.h"
#include "EnumerateWorker.h"
#include "GuiSupport.h"
#include "MainWindow.h"
#include "MainWindowSupport.h"
#include "SettingsFolder.h"
#include "ScanSupport.h"
#include "SizeFormat.h"
#include "TestSupport.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace korvo;
using namespace korvo::test;

namespace {

const QString Ready = QStringLiteral("準備完了。");
const QString Scanning = QStringLiteral("列挙中...");
const QString Cancelled = QStringLiteral("キャンセルされました。");
const QString None = QStringLiteral("<none>");

EnumerateProgress record(double listing, double totalling)
{
    EnumerateProgress stats;
    stats.totalSize = 1536;
    stats.totalSizeOnDisk = 4096;
    stats.fileCount = 3;
    stats.directoryCount = 2;
    stats.listingSeconds = listing;
    stats.totallingSeconds = totalling;
    return stats;
}

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    return texts;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir settingsDir;
    QTemporaryDir data;
    std::unique_ptr<ScopedSettingsFile> settingsFile;
    QString small;    // two files, one subfolder
    QString large;    // thousands of folders: a scan that takes a while
#ifdef Q_OS_WIN
    // Wine makes and removes folders slowly; its single walking thread
    // still takes long enough over fewer to be cancelled while listing.
    const int largeFolders = 2000;
#else
    const int largeFolders = 4000;
#endif
    QString other;    // a second small folder

    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("main window not exposed");
        return window;
    }

    void checkScanningState(const MainWindow& window)
    {
        QCOMPARE(statusText(window), Scanning);
        QVERIFY(cancelButton(window)->isVisible());
        QVERIFY(!exportMenu(window)->isEnabled());
        QVERIFY(!packagingAction(window)->isEnabled());
    }

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY(settingsDir.isValid());
        QVERIFY(data.isValid());
        small = data.filePath(QStringLiteral("small"));
        QVERIFY(writeFile(small + QStringLiteral("/a.txt"), 100));
        QVERIFY(writeFile(small + QStringLiteral("/sub/b.bin"), 1536));
        other = data.filePath(QStringLiteral("other"));
        QVERIFY(writeFile(other + QStringLiteral("/only.txt"), 10));
        large = data.filePath(QStringLiteral("large"));
        QVERIFY(makeManyFolders(large, largeFolders));
    }

    void cleanupTestCase()
    {
        // Removed as a step of its own, so that a slow removal shows as this
        // step's time and not as a program that does not end.
        QVERIFY(data.remove());
    }

    void init()
    {
        QFile::remove(settingsDir.filePath(QStringLiteral("korvo.ini")));
        settingsFile = std::make_unique<ScopedSettingsFile>(settingsDir);
    }

    void cleanup()
    {
        settingsFile.reset();
        QCOMPARE(visibleTopLevelWindows(), QStringList());
    }

    void startsIdleWithMenusAndEmptyProperties()
    {
        auto window = makeWindow();
        QVERIFY(window->windowTitle().isEmpty());

        QStringList titles;
        for (QAction* action : window->menuBar()->actions())
            titles << action->text();
        QCOMPARE(titles, QStringList({QStringLiteral("ファイル(&F)"), QStringLiteral("ツール(&T)"),
                                      QStringLiteral("ヘルプ(&H)")}));
        const QMenu* fileMenu = window->menuBar()->actions().at(0)->menu();
        QCOMPARE(actionTexts(fileMenu), QStringList({QStringLiteral("フォルダを開く(&O)..."),
                                                     QStringLiteral("エクスポート(&E)"), QStringLiteral("終了(&X)")}));
        QCOMPARE(fileMenu->actions().at(0)->objectName(), QStringLiteral("MenuBar.File.OpenFolder"));
        QCOMPARE(fileMenu->actions().at(0)->shortcut(), QKeySequence(QKeySequence::Open));
        QVERIFY(fileMenu->actions().at(0)->isEnabled());
        QCOMPARE(fileMenu->actions().at(1)->menu(), exportMenu(*window));
        QCOMPARE(fileMenu->actions().at(2)->objectName(), QStringLiteral("MenuBar.File.Exit"));
        QCOMPARE(actionTexts(exportMenu(*window)), QStringList({QStringLiteral("XMLファイル(.xml)")}));
        QCOMPARE(exportMenu(*window)->actions().at(0)->objectName(), QStringLiteral("MenuBar.File.ExportMenu.Xml"));
        QCOMPARE(actionTexts(window->menuBar()->actions().at(1)->menu()),
                 QStringList({QStringLiteral("パッケージ化(&P)")}));
        QCOMPARE(actionTexts(window->menuBar()->actions().at(2)->menu()),
                 QStringList({QStringLiteral("アバウト(&A)"), QStringLiteral("ライブラリ(&A)")}));

        QVERIFY(!exportMenu(*window)->isEnabled());
        QVERIFY(!exportMenu(*window)->menuAction()->isEnabled());
        QVERIFY(!packagingAction(*window)->isEnabled());
        QVERIFY(!cancelButton(*window)->isVisible());
        QCOMPARE(cancelButton(*window)->text(), QStringLiteral("キャンセル"));
        for (int row = 0; row < 4; ++row)
            QCOMPARE(propertyValue(*window, row), None);
        QCOMPARE(statusText(*window), Ready);
        QCOMPARE(dropArea(*window)->text(), QStringLiteral("<ここにドロップしてください>"));
        QVERIFY(dropArea(*window)->isVisible());
        QVERIFY(window->findChild<QSettings*>(QStringLiteral("Settings")));
        // No scan yet, so no worker either.
        QVERIFY(!enumerateWorker(*window));
    }

    void dropAreaLightsUpWhileDragging()
    {
        auto window = makeWindow();
        DropArea* area = dropArea(*window);
        QCOMPARE(area->backgroundRole(), QPalette::Dark);
        QMimeData text;
        text.setText(QStringLiteral("anything"));
        dragEnter(area, &text);
        QCOMPARE(area->backgroundRole(), QPalette::Highlight);
        dragLeave(area);
        QCOMPARE(area->backgroundRole(), QPalette::Dark);

        // A drop without any local file changes nothing but the highlight.
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.com/x")), QUrl(QStringLiteral("file:"))});
        for (QMimeData* data : {&text, &web}) {
            drop(area, data);
            QCOMPARE(area->backgroundRole(), QPalette::Dark);
            QCOMPARE(statusText(*window), Ready);
            QCOMPARE(propertyValue(*window, 0), None);
            QVERIFY(!enumerateWorker(*window));
        }
        window->close();
        window->close();
    }

    void completedScanShowsFiguresAndEnablesMenus()
    {
        auto window = makeWindow();
        // A first scan creates the worker, so that the spy sees the second.
        QVERIFY(dropAndWait(*window, other));
        QSignalSpy finished(enumerateWorker(*window), &EnumerateWorker::finished);
        // A failed check returns at once: the window and its scan must end
        // before the spy the scan's thread writes to.
        const auto windowFirst = qScopeGuard([&] { window.reset(); });
        dropPaths(*window, {small});
        checkScanningState(*window);
        QCOMPARE(propertyValue(*window, 0), QDir(small).absolutePath());
        QVERIFY(waitForScanEnd(*window));

        QCOMPARE(finished.size(), 1);
        const auto stats = finished.at(0).at(1).value<EnumerateProgress>();
        const DirectoryNodePtr root = window->scannedRoot();
        QVERIFY(root);
        QCOMPARE(root->absoluteFilePath(), QDir(small).absolutePath());
        QCOMPARE(propertyValue(*window, 0), QDir(small).absolutePath());
        QCOMPARE(propertyValue(*window, 1), formatSize(1636));
        QCOMPARE(propertyValue(*window, 2), formatSize(root->totalSizeOnDisk()));
        QCOMPARE(propertyValue(*window, 3), QStringLiteral("ファイル数：2 フォルダ数：1"));
        QCOMPARE(statusText(*window), QStringLiteral("列挙完了 経過時間：%1 秒。")
                                          .arg(QString::number(stats.listingSeconds + stats.totallingSeconds, 'g', 6)));
        QVERIFY(!cancelButton(*window)->isVisible());
        QVERIFY(exportMenu(*window)->isEnabled());
        QVERIFY(packagingAction(*window)->isEnabled());

        // A file stands for the folder that holds it; the worker is reused.
        EnumerateWorker* worker = enumerateWorker(*window);
        dropPaths(*window, {other + QStringLiteral("/only.txt")});
        QCOMPARE(propertyValue(*window, 0), QDir(other).absolutePath());
        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(enumerateWorker(*window), worker);
        QCOMPARE(window->findChildren<EnumerateWorker*>().size(), 1);
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(other).absolutePath());
        QCOMPARE(propertyValue(*window, 3), QStringLiteral("ファイル数：1 フォルダ数：0"));

        // Several items: only the first local one is scanned.
        QList<QUrl> urls = {QUrl(QStringLiteral("https://example.com/")), QUrl::fromLocalFile(small),
                            QUrl::fromLocalFile(other)};
        QMimeData several;
        several.setUrls(urls);
        drop(dropArea(*window), &several);
        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(small).absolutePath());
        QCOMPARE(propertyValue(*window, 0), QDir(small).absolutePath());
        window->close();
        window->close();
    }

    // A folder from the chooser (Ctrl+O) or the command line scans as a drop
    // of it does: a file stands for its folder; a cancelled chooser and a
    // command line of options alone start nothing.
    void folderOpenedWithoutDragging()
    {
        auto window = makeWindow();
        QStringList captions;
        QString answer;
        window->setFolderFunction([&](QWidget* parent, const QString& caption) {
            captions << caption;
            return parent == window.get() ? answer : QString();
        });
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(captions, QStringList{QStringLiteral("フォルダを開く")});
        QVERIFY(!enumerateWorker(*window));
        QCOMPARE(statusText(*window), Ready);

        answer = small;
        window->findChild<QAction*>(QStringLiteral("MenuBar.File.OpenFolder"))->trigger();
        QCOMPARE(propertyValue(*window, 0), QDir(small).absolutePath());
        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(small).absolutePath());
        QVERIFY(packagingAction(*window)->isEnabled());

        QVERIFY(!window->openCommandLine({QStringLiteral("-style"), QStringLiteral("--x")}));
        QVERIFY(window->openCommandLine({QStringLiteral("--flag"), other + QStringLiteral("/only.txt")}));
        QCOMPARE(propertyValue(*window, 0), QDir(other).absolutePath());
        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(other).absolutePath());
        // A relative name is taken from the working folder.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(data.path()));
        const bool opened = window->openCommandLine({QStringLiteral("small")});
        QDir::setCurrent(previous);
        QVERIFY(opened);
        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(small).absolutePath());
        window->close();
        window->close();
    }

    void dropOfANameThatIsNotText()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows names are UTF-16");
#else
        // A file manager drops "r\xff" as file:///.../r%FF. Read as text it
        // would name its lookalike "r" + U+FFFD, or nothing at all.
        QTemporaryDir temp;
        const QString top = temp.filePath(QStringLiteral("top"));
        QVERIFY(makeFolder(top));
        auto cleanUp = qScopeGuard([&] { removeTree(top); });
        QVERIFY(makeRawFolder(top, "r\xff") && writeRawFile(top, "r\xff/x\xfe", 7));
        QVERIFY(makeRawFolder(top, "r\xef\xbf\xbd") && writeRawFile(top, "r\xef\xbf\xbd/y", 3));
        const QString shown = top + QStringLiteral("/r") + QChar(0xFFFD);
        auto window = makeWindow();
        for (const char* dropped : {"/r%FF", "/r%FF/x%FE"}) { // a file stands for its folder
            QMimeData data;
            data.setUrls({QUrl(QStringLiteral("file://") + QUrl::toPercentEncoding(top, "/")
                               + QLatin1String(dropped))});
            drop(dropArea(*window), &data);
            QVERIFY(waitForScanEnd(*window));
            QVERIFY(window->scannedRoot());
            QCOMPARE(window->scannedRoot()->totalSize(), qint64(7));
            QCOMPARE(window->scannedRoot()->nativeFilePath().bytes(), QFile::encodeName(top) + "/r\xff");
            QCOMPARE(propertyValue(*window, 0), shown);
        }
        window->close();
        window->close();
#endif
    }

    void cancelledScanKeepsEarlierTreeButDisablesMenus()
    {
        auto window = makeWindow();
        QVERIFY(dropAndWait(*window, small));
        const DirectoryNodePtr earlier = window->scannedRoot();
        QVERIFY(earlier);

        dropPaths(*window, {large});
        checkScanningState(*window);
        QSignalSpy finished(enumerateWorker(*window), &EnumerateWorker::finished);
        // A failed check returns at once: the window and its scan must end
        // before the spy the scan's thread writes to.
        const auto windowFirst = qScopeGuard([&] { window.reset(); });
        QTest::mouseClick(cancelButton(*window), Qt::LeftButton);
        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(2).toBool(), true);

        QCOMPARE(statusText(*window), Cancelled);
        QCOMPARE(propertyValue(*window, 0), QDir(large).absolutePath());
        for (int row = 1; row < 4; ++row)
            QCOMPARE(propertyValue(*window, row), None);
        QVERIFY(!cancelButton(*window)->isVisible());
        QVERIFY(!exportMenu(*window)->isEnabled());
        QVERIFY(!packagingAction(*window)->isEnabled());
        QCOMPARE(window->scannedRoot(), earlier);

        // The next completed scan replaces the tree and enables the menus.
        QVERIFY(dropAndWait(*window, other));
        QVERIFY(window->scannedRoot() != earlier);
        QVERIFY(exportMenu(*window)->isEnabled());
        window->close();
        window->close();
    }

    void dropDuringScanIgnoresTheSupersededScansNotice()
    {
        // Records the window's state right after it has handled each
        // finished notice (queued behind the window's own slot). Made before
        // the window, so that it outlives the window and its scan even when
        // a check fails.
        struct Seen
        {
            bool isCanceled;
            QString status;
            bool buttonVisible;
            bool exportEnabled;
        };
        QList<Seen> seen;
        auto window = makeWindow();
        dropPaths(*window, {large});
        EnumerateWorker* worker = enumerateWorker(*window);
        connect(worker, &EnumerateWorker::finished, window.get(),
                [&](const DirectoryNodePtr&, const EnumerateProgress&, bool isCanceled) {
                    seen.append({isCanceled, statusText(*window), cancelButton(*window)->isVisible(),
                                 exportMenu(*window)->isEnabled()});
                });

        dropPaths(*window, {small});
        checkScanningState(*window);
        QCOMPARE(propertyValue(*window, 0), QDir(small).absolutePath());
        QVERIFY(waitForScanEnd(*window));
        QTRY_VERIFY(!seen.isEmpty() && !seen.last().status.startsWith(Scanning));

        // Every notice but the last belongs to the superseded scan and left
        // the new scan's state alone.
        QVERIFY2(seen.size() == 2, qPrintable(QString::number(seen.size())));
        QCOMPARE(seen.first().isCanceled, true);
        QCOMPARE(seen.first().status, Scanning);
        QCOMPARE(seen.first().buttonVisible, true);
        QCOMPARE(seen.first().exportEnabled, false);
        QCOMPARE(seen.last().isCanceled, false);
        QVERIFY(seen.last().status.startsWith(QStringLiteral("列挙完了 経過時間：")));
        QCOMPARE(seen.last().buttonVisible, false);
        QCOMPARE(seen.last().exportEnabled, true);
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(small).absolutePath());
        QCOMPARE(propertyValue(*window, 3), QStringLiteral("ファイル数：2 フォルダ数：1"));
        window->close();
        window->close();
    }

    void dropBeforeTheLastNoticeArrivedIgnoresThatNotice()
    {
        // Outlives the window and its scan, even when a check fails.
        QList<QString> statusAfterNotice;
        auto window = makeWindow();
        QVERIFY(dropAndWait(*window, other));
        EnumerateWorker* worker = enumerateWorker(*window);
        connect(worker, &EnumerateWorker::finished, window.get(),
                [&](const DirectoryNodePtr&, const EnumerateProgress&, bool) {
                    statusAfterNotice.append(statusText(*window));
                });

        // The scan of `small` ends, but its notices wait in the event queue
        // when the next drop comes in.
        dropPaths(*window, {small});
        QDeadlineTimer deadline(30000);
        while (worker->isRunning() && !deadline.hasExpired())
            QThread::msleep(5);
        QVERIFY(!worker->isRunning());
        dropPaths(*window, {large});
        checkScanningState(*window);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(statusAfterNotice, QList<QString>({Scanning}));
        checkScanningState(*window);
        QCOMPARE(propertyValue(*window, 0), QDir(large).absolutePath());
        // The superseded scan's tree is not taken over.
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(other).absolutePath());

        QVERIFY(waitForScanEnd(*window));
        QCOMPARE(statusAfterNotice.size(), 2);
        QVERIFY(statusAfterNotice.last().startsWith(QStringLiteral("列挙完了 経過時間：")));
        QCOMPARE(window->scannedRoot()->absoluteFilePath(), QDir(large).absolutePath());
        // The folders and the groups of a hundred that hold them.
        QCOMPARE(propertyValue(*window, 3),
                 QStringLiteral("ファイル数：0 フォルダ数：%1").arg(largeFolders + largeFolders / 100));
        window->close();
        window->close();
    }

    void elapsedTimeUsesSixSignificantDigits_data()
    {
        QTest::addColumn<double>("listing");
        QTest::addColumn<double>("totalling");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2.0 + 0.5") << 2.0 << 0.5 << QStringLiteral("2.5");
        QTest::newRow("0.016") << 0.01 << 0.006 << QStringLiteral("0.016");
        QTest::newRow("12.3456789") << 12.0 << 0.3456789 << QStringLiteral("12.3457");
        QTest::newRow("zero") << 0.0 << 0.0 << QStringLiteral("0");
        QTest::newRow("large") << 1234567.0 << 0.0 << QStringLiteral("1.23457e+06");
    }
    void elapsedTimeUsesSixSignificantDigits()
    {
        QFETCH(double, listing);
        QFETCH(double, totalling);
        QFETCH(QString, shown);
        MainWindow window;
        window.onEnumerateFinished(DirectoryNodePtr(), record(listing, totalling), false);
        QCOMPARE(statusText(window), QStringLiteral("列挙完了 経過時間：%1 秒。").arg(shown));
        QCOMPARE(propertyValue(window, 1), formatSize(1536));
        QCOMPARE(propertyValue(window, 2), formatSize(4096));
        QCOMPARE(propertyValue(window, 3), QStringLiteral("ファイル数：3 フォルダ数：2"));
    }

    void defaultGeometryCentresOnTheAvailableArea_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("1920x1040") << QRect(0, 0, 1920, 1040) << QRect(600, 340, 720, 360);
        QTest::newRow("narrow") << QRect(0, 0, 600, 1000) << QRect(0, 320, 600, 360);
        QTest::newRow("low") << QRect(0, 0, 1000, 300) << QRect(140, 0, 720, 300);
        QTest::newRow("odd remainder") << QRect(0, 0, 1001, 501) << QRect(140, 70, 720, 360);
        // Measured from the screen's origin, not the available area's corner.
        QTest::newRow("offset area") << QRect(100, 40, 1000, 600) << QRect(140, 120, 720, 360);
    }
    void defaultGeometryCentresOnTheAvailableArea()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        QCOMPARE(MainWindow::defaultGeometry(available), expected);
    }

    void settingsRoundTrip()
    {
        const QRect expectedDefault =
            MainWindow::defaultGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        const QRect moved(30, 40, 640, 420);
        {
            auto window = makeWindow();
            QCOMPARE(window->geometry(), expectedDefault);
            window->setGeometry(moved);
            QCOMPARE(window->geometry(), moved);
            window->close();
            window->close();
            QVERIFY(!window->isVisible());
        }
        QSettings file(settingsFile->path(), QSettings::IniFormat);
        QCOMPARE(file.allKeys(), QStringList({QStringLiteral("geometry")}));
        QCOMPARE(file.value(QStringLiteral("geometry")).toRect(), moved);
        {
            auto window = makeWindow();
            QCOMPARE(window->geometry(), moved);
            window->close();
            window->close();
        }
    }

    // Settings stay beside the executable where a file can be made there
    // (the portable ZIP), and go to the user's folder where it cannot, or
    // where the program is installed below Program Files (writable under
    // Wine, denied on Windows), which is made when the window saves.
    void settingsFolderFallsBackToTheUsersFolder()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString user = temp.filePath(QStringLiteral("config/korvo"));
        const QString programFiles = temp.filePath(QStringLiteral("Program Files"));
        const QString installed = programFiles + QStringLiteral("/korvo");
        QVERIFY(QDir().mkpath(installed));
        QCOMPARE(settingsFolderFor(temp.path(), user, {programFiles}), temp.path());
        QCOMPARE(settingsFolderFor(installed, user, {programFiles}), user);
        QCOMPARE(settingsFolderFor(installed, user, {programFiles + QStringLiteral(" (x86)")}), installed);
        // The trial leaves nothing behind.
        QCOMPARE(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
#ifdef Q_OS_WIN
        // Windows names compare without regard to case.
        QCOMPARE(settingsFolderFor(installed, user, {QDir::toNativeSeparators(programFiles).toUpper()}), user);
        if (!qEnvironmentVariableIsEmpty("ProgramFiles"))
            QVERIFY(installFolders().contains(qEnvironmentVariable("ProgramFiles")));
#else
        QCOMPARE(settingsFolderFor(QStringLiteral("/usr/bin"), user), user);
        // /proc says it may be written, even to root, yet takes no file.
        if (QFileInfo(QStringLiteral("/proc")).isWritable())
            QCOMPARE(settingsFolderFor(QStringLiteral("/proc"), user), user);
#endif
        QCOMPARE(settingsFolderFor(temp.filePath(QStringLiteral("gone")), user), user);
        const QString readOnly = temp.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkdir(readOnly));
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(readOnly).isWritable())
            qInfo("running as root, who may write any folder: the read-only case is not checked");
        else
            QCOMPARE(settingsFolderFor(readOnly, user), user);
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        MainWindow::setSettingsFilePath(user + QStringLiteral("/korvo.ini"));
        {
            auto window = makeWindow();
            window->setGeometry(QRect(30, 40, 640, 420));
            window->close();
            window->close();
        }
        MainWindow::setSettingsFilePath(settingsFile->path());
        QCOMPARE(QSettings(user + QStringLiteral("/korvo.ini"), QSettings::IniFormat).value(QStringLiteral("geometry")).toRect(),
                 QRect(30, 40, 640, 420));
    }

    void malformedSettingsGiveTheDefaultGeometry_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text") << QByteArray("[General]\ngeometry=somewhere\n");
        QTest::newRow("number") << QByteArray("[General]\ngeometry=42\n");
        QTest::newRow("other key") << QByteArray("[General]\nsize=@Rect(1 2 300 400)\n");
        QTest::newRow("in a group") << QByteArray("[Settings]\ngeometry=@Rect(1 2 300 400)\n");
        QTest::newRow("garbage") << QByteArray("\x01\x02\xff[[[=\n");
        QTest::newRow("empty rectangle") << QByteArray("[General]\ngeometry=@Rect(10 20 0 0)\n");
        QTest::newRow("negative size") << QByteArray("[General]\ngeometry=@Rect(10 20 -300 400)\n");
    }
    void malformedSettingsGiveTheDefaultGeometry()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(settingsFile->path(), content));
        MainWindow window;
        QCOMPARE(window.geometry(), MainWindow::defaultGeometry(QGuiApplication::primaryScreen()->availableGeometry()));
    }

    // A saved rectangle is fitted to the offscreen platform's 800 x 600 screen
    // before it is applied: the window is never larger than the screen and its
    // title bar (t pixels above the client area, t from the style) can always
    // be grabbed.
    void savedGeometryIsFittedToTheScreen_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("expected");
        const int t = QMainWindow().style()->pixelMetric(QStyle::PM_TitleBarHeight);
        QVERIFY(t > 0 && t < 100);
        QTest::newRow("on screen") << QRect(30, 40, 640, 420) << QRect(30, 40, 640, 420);
        QTest::newRow("huge") << QRect(0, 0, 100000, 100000) << QRect(0, t, 800, 600 - t);
        QTest::newRow("wider") << QRect(50, 160, 900, 200) << QRect(0, 160, 800, 200);
        QTest::newRow("negative") << QRect(-5000, -3000, 400, 300) << QRect(0, t, 400, 300);
        QTest::newRow("title bar above the top") << QRect(100, t - 1, 400, 300) << QRect(100, t, 400, 300);
        QTest::newRow("beyond the right") << QRect(790, 100, 400, 300) << QRect(400, 100, 400, 300);
        QTest::newRow("beyond the bottom") << QRect(100, 600, 400, 300) << QRect(100, 300, 400, 300);
        QTest::newRow("far beyond") << QRect(2000000000, 2000000000, 400, 300) << QRect(400, 300, 400, 300);
        // Partly off the right or bottom edge with the title bar in reach: the
        // user put it there, so it stays.
        QTest::newRow("title bar in reach") << QRect(600, 500, 400, 300) << QRect(600, 500, 400, 300);
    }
    void savedGeometryIsFittedToTheScreen()
    {
        QFETCH(QRect, saved);
        QFETCH(QRect, expected);
        QSettings(settingsFile->path(), QSettings::IniFormat).setValue(QStringLiteral("geometry"), saved);
        MainWindow window;
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 800, 600));
        QCOMPARE(window.geometry(), expected);
    }

    void closeWaitsOneTimerTickWhenIdle()
    {
        auto window = makeWindow();
        QElapsedTimer clock;
        clock.start();
        window->close();
        QVERIFY(window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 5000);
        QVERIFY2(clock.elapsed() >= 90, qPrintable(QString::number(clock.elapsed())));
        QSettings file(settingsFile->path(), QSettings::IniFormat);
        QCOMPARE(file.value(QStringLiteral("geometry")).toRect(), window->geometry());
    }

    void exitDisablesTheWindowAndClosesLater()
    {
        auto window = makeWindow();
        auto* exit = window->findChild<QAction*>(QStringLiteral("MenuBar.File.Exit"));
        QVERIFY(exit);
        exit->trigger();
        QVERIFY(!window->isEnabled());
        QVERIFY(window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 5000);
        QVERIFY(QFile::exists(settingsFile->path()));
    }

    void closeDuringScanCancelsAndWaits()
    {
        auto window = makeWindow();
        dropPaths(*window, {large});
        EnumerateWorker* worker = enumerateWorker(*window);
        QSignalSpy finished(worker, &EnumerateWorker::finished);
        // A failed check returns at once: the window and its scan must end
        // before the spy the scan's thread writes to.
        const auto windowFirst = qScopeGuard([&] { window.reset(); });
        QVERIFY(worker->isRunning());
        window->close(); // arms the timer
        QVERIFY(window->isVisible());
        window->close(); // cancels, waits, saves
        QVERIFY(!window->isVisible());
        QVERIFY(!worker->isRunning());
        QVERIFY(QFile::exists(settingsFile->path()));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(2).toBool(), true);
        QVERIFY(finished.at(0).at(0).value<DirectoryNodePtr>().isNull());
    }

    void destroyingTheWindowDuringAScanStopsTheScan()
    {
        auto window = makeWindow();
        dropPaths(*window, {large});
        QPointer<EnumerateWorker> worker = enumerateWorker(*window);
        QVERIFY(worker && worker->isRunning());
        window->hide();
        window.reset();
        QVERIFY(worker.isNull());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
