// korvo-screenshot OUTDIR FOLDER: shows korvo's main window on the current
// display, scans FOLDER through a drop on the drop area, exports it as XML
// into a temporary folder, opens the Help dialogs from the menu, packs FOLDER
// in the packaging dialog and moves one package (into a temporary volume,
// never FOLDER's own), packs a made-up folder of large files into enough CD
// packages for the list to scroll, and saves what the display shows as PNG
// files in OUTDIR. Used by scripts/screenshot under Xvfb.

#include "EnumerateWorker.h"
#include "DirectoryNode.h"
#include "DropArea.h"
#include "FileNode.h"
#include "MainWindow.h"
#include "PackagingDialog.h"
#include "Packager.h"
#include "Platform.h"
#include "QtTranslation.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QCheckBox>
#include <QDateTime>
#include <QHeaderView>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

#include <cstdio>
#include <functional>

namespace {

QString outputDir;
int failures = 0;

void settle(int ms = 300)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// Runs the event loop until `dialog` is idle: packing and moving run on
// worker threads.
void waitUntilIdle(korvo::PackagingDialog* dialog)
{
    QDeadlineTimer deadline(60000);
    while (dialog->isBusy() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// Saves what the display shows of `widget`'s window.
void shoot(QWidget* widget, const QString& name)
{
    settle();
    QWidget* window = widget->window();
    QScreen* screen = window->screen();
    const QPixmap pixmap = screen ? screen->grabWindow(window->winId()) : QPixmap();
    const QString path = QDir(outputDir).filePath(name + QStringLiteral(".png"));
    if (pixmap.isNull() || !pixmap.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), pixmap.width(), pixmap.height());
}

QAction* helpEntry(const QMainWindow& window, const QString& text)
{
    for (QAction* top : window.menuBar()->actions()) {
        if (!top->menu())
            continue;
        for (QAction* action : top->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
    }
    return nullptr;
}

// Runs `step` on the modal dialog once it is up (the dialog runs inside the
// caller's modal loop, so this has to come from a timer).
void whenModal(const char* className, std::function<void(QDialog*)> step)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, className, step]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->inherits(className) || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        step(qobject_cast<QDialog*>(modal));
    });
    timer->start(50);
}

void clickClose(QDialog* dialog)
{
    if (auto* box = dialog->findChild<QDialogButtonBox*>()) {
        if (QAbstractButton* close = box->button(QDialogButtonBox::Close)) {
            close->click();
            return;
        }
    }
    dialog->close();
}

// Saves the screen around `widget`'s window, for what is drawn in windows of
// its own (menus, tooltips).
void shootArea(QWidget* widget, const QString& name, int extraRight, int extraBottom)
{
    settle();
    QWidget* window = widget->window();
    const QRect area = window->frameGeometry().adjusted(0, 0, extraRight, extraBottom);
    const QPixmap pixmap = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QDir(outputDir).filePath(name + QStringLiteral(".png"));
    if (!pixmap.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// A folder of 30 video files of 420 to 700 MB and two of 912 MB, made up
// in memory: packed into CDs it gives one package per file, more than the
// list shows at once, and two items left out.
korvo::DirectoryNodePtr largeFolder()
{
    korvo::NodeTimes times;
    times.created = times.lastModified = times.lastRead = QDateTime(QDate(2025, 4, 1), QTime(10, 0)).toMSecsSinceEpoch();
    const auto root = korvo::DirectoryNodePtr::create(korvo::DirectoryNodePtr(), QStringLiteral("/home/user"),
                                                      QStringLiteral("動画"), times);
    qint64 total = 0;
    qint64 totalOnDisk = 0;
    // The last two are larger than a CD: no package holds them.
    for (int i = 0; i < 32; ++i) {
        const qint64 size = i < 30 ? 699613104 - qint64(i) * 9397117 : 912345678 + qint64(i) * 1000;
        const qint64 onDisk = (size + 4095) / 4096 * 4096;
        root->appendFile(korvo::FileNodePtr::create(root->absoluteFilePath(),
                                                    QStringLiteral("録画%1.mp4").arg(i + 1, 2, 10, QLatin1Char('0')),
                                                    size, onDisk, times));
        total += size;
        totalOnDisk += onDisk;
    }
    root->setOwnSizes(total, totalOnDisk);
    root->setTotals(total, totalOnDisk, 32, 0);
    return root;
}

// Drops the folder on the drop area, as a file manager would, and waits
// for its scan.
void scanByDrop(korvo::MainWindow& window, const QString& folder)
{
    // Drop the folder on the drop area, as a file manager would.
    auto* area = window.findChild<korvo::DropArea*>();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    const QPoint centre = area->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    shoot(&window, QStringLiteral("main-dragging"));
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &drop);
    auto* status = window.findChild<QLabel*>(QStringLiteral("StatusLabel"));
    QDeadlineTimer deadline(60000);
    while (!status->text().startsWith(QStringLiteral("列挙完了")) && !deadline.hasExpired())
        settle(50);
    shoot(&window, QStringLiteral("main-after-scan"));
}

void shootFileMenu(korvo::MainWindow& window)
{
    // The File menu, opened on its export submenu (below "フォルダを開く...").
    QMenu* fileMenu = window.menuBar()->actions().at(0)->menu();
    window.menuBar()->setActiveAction(window.menuBar()->actions().at(0));
    settle();
    QAction* exportEntry = fileMenu->actions().at(1);
    fileMenu->setActiveAction(exportEntry);
    if (QMenu* exportMenu = exportEntry->menu())
        exportMenu->popup(fileMenu->mapToGlobal(fileMenu->actionGeometry(exportEntry).topRight()));
    settle();
    {
        // The menus are windows of their own; grab the screen area around them.
        QScreen* screen = window.screen();
        const QRect area = window.frameGeometry().adjusted(0, 0, 200, 0);
        const QPixmap pixmap = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const QString path = QDir(outputDir).filePath(QStringLiteral("main-file-menu.png"));
        if (pixmap.save(path))
            std::printf("%s\n", qPrintable(path));
        else
            ++failures;
    }
    fileMenu->hide();
    window.menuBar()->setActiveAction(nullptr);
    settle();
}

// The folder chooser of "フォルダを開く..." (Ctrl+O), shown and cancelled.
void shootFolderChooser(korvo::MainWindow& window)
{
    whenModal("QFileDialog", [](QDialog* chooser) {
        settle(500);
        shoot(chooser, QStringLiteral("main-open-folder"));
        chooser->reject();
    });
    window.findChild<QAction*>(QStringLiteral("MenuBar.File.OpenFolder"))->trigger();
}

void exportAndShowHelp(korvo::MainWindow& window)
{
    // An XML export through the File menu, into a temporary folder; the save
    // dialog is answered with that folder's file.
    QTemporaryDir exportDir;
    const QString exportPath = exportDir.filePath(QStringLiteral("一覧.xml"));
    window.setSaveFileNameFunction([&](QWidget*, const QString&, const QString&) { return exportPath; });
    whenModal("QMessageBox", [](QDialog* box) {
        shoot(box, QStringLiteral("export-report"));
        box->accept();
    });
    window.findChild<QAction*>(QStringLiteral("MenuBar.File.ExportMenu.Xml"))->trigger();
    window.setSaveFileNameFunction(nullptr);

    whenModal("korvo::AboutDialog", [](QDialog* dialog) {
        shoot(dialog, QStringLiteral("about"));
        clickClose(dialog);
    });
    helpEntry(window, QStringLiteral("アバウト(&A)"))->trigger();

    whenModal("korvo::LibraryDialog", [](QDialog* dialog) {
        shoot(dialog, QStringLiteral("library"));
        auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("treeWidget"));
        tree->setCurrentItem(tree->topLevelItem(0));
        emit tree->clicked(tree->currentIndex());
        shoot(dialog, QStringLiteral("library-selected"));
        whenModal("korvo::LibraryDetailDialog", [](QDialog* detail) {
            shoot(detail, QStringLiteral("library-detail"));
            clickClose(detail);
        });
        dialog->findChild<QPushButton*>(QStringLiteral("detailPushButton"))->click();
        clickClose(dialog);
    });
    helpEntry(window, QStringLiteral("ライブラリ(&A)"))->trigger();
}

// In the packaging dialog: packs by the user order, then moves package 2
// with its listing, held at its first item for a picture of the move.
void packAndMove(korvo::PackagingDialog* dialog)
{
    auto* orders = dialog->findChild<QComboBox*>(QStringLiteral("comboBoxOrder"));
    // The preset list, open: the built-in sizes, the discs, the user's own.
    orders->showPopup();
    shootArea(dialog, QStringLiteral("packaging-presets"), 0, 120);
    orders->hidePopup();
    orders->setCurrentIndex(orders->findText(QStringLiteral("MO_1.5MB")));
    dialog->findChild<QComboBox*>(QStringLiteral("comboBoxLabel"))->setEditText(QStringLiteral("サンプル"));
    dialog->findChild<QPushButton*>(QStringLiteral("pushButtonPack"))->click();
    waitUntilIdle(dialog);
    shoot(dialog, QStringLiteral("packaging-packed"));

    auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("treeWidgetPackage"));
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        tree->topLevelItem(i)->setCheckState(0, i == 1 ? Qt::Checked : Qt::Unchecked);
    dialog->findChild<QCheckBox*>(QStringLiteral("checkBoxSave"))->setChecked(true);
    // A box only when something failed: shown, then closed, so that the
    // run goes on.
    whenModal("QMessageBox", [](QDialog* box) {
        shoot(box, QStringLiteral("packaging-move-report"));
        box->accept();
    });
    // The move is held at its first item, so that the picture shows the
    // dialog while a package moves.
    QSemaphore held;
    QSemaphore release;
    korvo::Packager::setMoveFunction(
        [&](const korvo::NativePath& source, const korvo::NativePath& destination, qint64* code) {
            held.release();
            release.tryAcquire(1, 30000);
            return korvo::platform::moveWithoutReplacing(source, destination, code);
        });
    dialog->findChild<QPushButton*>(QStringLiteral("pushButtonMove"))->click();
    QDeadlineTimer deadline(30000);
    while (held.available() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    shoot(dialog, QStringLiteral("packaging-moving"));
    release.release(1000);
    waitUntilIdle(dialog);
    korvo::Packager::setMoveFunction(korvo::Packager::MoveFunction());
    shoot(dialog, QStringLiteral("packaging-moved"));
}

void shootPackaging(korvo::MainWindow& window)
{
    // Packaging: a user order of 1.5 MB from the data folder, a label, and a
    // move of package 2 with its listing. The data folder and the volume the
    // packages go to are temporary; the file browser is not opened.
    QTemporaryDir packagingDir(QDir::tempPath() + QStringLiteral("/kv-XXXXXX"));
    const QString dataFolder = packagingDir.filePath(QStringLiteral("data"));
    QDir().mkpath(dataFolder);
    {
        QFile orders(dataFolder + QStringLiteral("/UserPackageOrderSettings.ini"));
        if (orders.open(QIODevice::WriteOnly))
            orders.write("[orders]\n1\\name=MO_1.5MB\n1\\size=1500000\nsize=1\n");
    }
    korvo::PackagingDialog::setDataFolder(dataFolder);
    QDir().mkpath(packagingDir.filePath(QStringLiteral("volume")));
    korvo::PackagingDialog::setVolumeRoot(packagingDir.filePath(QStringLiteral("volume")));
    korvo::PackagingDialog::setUrlOpener([](const QUrl&) { return true; });
    whenModal("korvo::PackagingDialog", [](QDialog* modal) {
        auto* dialog = static_cast<korvo::PackagingDialog*>(modal);
        packAndMove(dialog);
        whenModal("korvo::PackageSizeEditDialog", [](QDialog* editor) {
            editor->findChild<QPushButton*>(QStringLiteral("pushButtonItemAdd"))->click();
            auto* list = editor->findChild<QListWidget*>(QStringLiteral("listWidget"));
            list->setCurrentRow(0);
            shoot(editor, QStringLiteral("package-size-editor"));
            editor->reject();
        });
        dialog->triggerPackageOrderEdit();

        whenModal("korvo::XmlExporterSettingsDialog", [](QDialog* settings) {
            shoot(settings, QStringLiteral("xml-settings"));
            settings->reject();
        });
        dialog->triggerExportConfigDialog();
        dialog->close();
    });
    if (QAction* packaging = window.findChild<QAction*>(QStringLiteral("MenuBar.Tool.Packaging")))
        packaging->trigger();
    else
        ++failures;
}

void shootScrollingList(korvo::MainWindow& window)
{
    // A list longer than its box, with a vertical scroll bar; a size text
    // too wide for its column shows its whole text as a tooltip.
    {
        korvo::PackagingDialog dialog(&window);
        dialog.setRoot(largeFolder());
        dialog.show();
        dialog.findChild<QPushButton*>(QStringLiteral("pushButtonPack"))->click();
        waitUntilIdle(&dialog);
        shoot(&dialog, QStringLiteral("packaging-scrolling"));
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("treeWidgetPackage"));
        QTreeWidgetItem* row = tree->topLevelItem(0);
        const QRect line = tree->visualItemRect(row);
        const QRect cell(tree->header()->sectionViewportPosition(1), line.y(), tree->columnWidth(1), line.height());
        QToolTip::showText(tree->viewport()->mapToGlobal(cell.center()), row->toolTip(1), tree->viewport());
        shootArea(&dialog, QStringLiteral("packaging-scrolling-tooltip"), 80, 0);
        QToolTip::hideText();
        // Below the packages, greyed: the items too large for a CD.
        tree->scrollToBottom();
        shoot(&dialog, QStringLiteral("packaging-left-out"));
        dialog.close();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    application.setWindowIcon(QIcon(QStringLiteral(":/korvo.png")));
    // As the program shows them: Qt's buttons in Japanese.
    QString untranslated;
    if (!korvo::installQtTranslation(&application, &untranslated))
        std::fprintf(stderr, "korvo-screenshot: %s\n", untranslated.toUtf8().constData());
    korvo::registerMetaTypes();
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvo-screenshot OUTDIR FOLDER\n");
        return 2;
    }
    outputDir = QString::fromLocal8Bit(argv[1]);
    const QString folder = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();

    // The window's settings go to a temporary folder, not beside the program.
    QTemporaryDir settingsDir;
    korvo::MainWindow::setSettingsFilePath(settingsDir.filePath(QStringLiteral("korvo.ini")));

    korvo::MainWindow window;
    window.show();
    window.activateWindow();
    shoot(&window, QStringLiteral("main-before-scan"));
    scanByDrop(window, folder);
    shootFileMenu(window);
    shootFolderChooser(window);
    exportAndShowHelp(window);
    shootPackaging(window);
    shoot(&window, QStringLiteral("main-after-move"));
    shootScrollingList(window);

    window.close();
    window.close();
    return failures == 0 ? 0 : 1;
}
