#include "MainWindow.h"

#include "AboutDialog.h"
#include "DropArea.h"
#include "EnumerateWorker.h"
#include "ExportAsFileDialog.h"
#include "ExportWorker.h"
#include "LibraryDialog.h"
#include "PackagingDialog.h"
#include "SettingsFolder.h"
#include "Platform.h"
#include "SizeFormat.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace korvo {

namespace {

QString& settingsFilePathOverride()
{
    static QString path;
    return path;
}

const char* const GeometryKey = "geometry";
const int PropertyRowCount = 4;

} // namespace

MainWindow::MainWindow() : QMainWindow(nullptr)
{
    createMenus();
    createCentralArea();
    createStatusBar();

    auto* settings = new QSettings(settingsFilePath(), QSettings::IniFormat, this);
    settings->setObjectName(QStringLiteral("Settings"));
    restoreGeometryFromSettings();

    // XML exports from this window write only the top-level item list.
    xmlSettings = defaultXmlSettings();
}

MainWindow::~MainWindow()
{
    // A window torn down without the closing sequence must still not leave
    // a thread running behind it.
    waitForWorkers();
}

QString MainWindow::settingsFilePath()
{
    if (!settingsFilePathOverride().isEmpty())
        return settingsFilePathOverride();
    return settingsFolder() + QDir::separator() + QStringLiteral("korvo.ini");
}

void MainWindow::setSettingsFilePath(const QString& path)
{
    settingsFilePathOverride() = path;
}

QRect MainWindow::defaultGeometry(const QRect& available)
{
    const int width = qMin(720, available.width());
    const int height = qMin(360, available.height());
    // Centred in the available size, measured from the screen's origin.
    return QRect((available.width() - width) / 2, (available.height() - height) / 2, width, height);
}

QRect MainWindow::fitToScreen(const QRect& saved, const QRect& available, int titleBarHeight)
{
    // Room for the title bar above the client area, as far as the screen has it.
    const int titleBar = qBound(0, titleBarHeight, available.height() / 2);
    QRect fitted(saved.topLeft(), saved.size().boundedTo(QSize(available.width(), available.height() - titleBar)));

    // The title bar can be grabbed when it lies below the area's top edge,
    // above its bottom edge, and enough of its width is on the area.
    // (64-bit: a hand-edited file may hold coordinates near the int limits.)
    const qint64 grip = qMin(fitted.width(), 100);
    const qint64 overlap =
        qint64(qMin(fitted.right(), available.right())) - qMax(fitted.left(), available.left()) + 1;
    const bool reachable = qint64(fitted.top()) - titleBar >= available.top()
                           && fitted.top() <= available.bottom() && overlap >= grip;
    // A window that had to shrink is put wholly on the area as well.
    if (reachable && fitted.size() == saved.size())
        return fitted;
    fitted.moveLeft(qBound(available.left(), fitted.left(), available.right() + 1 - fitted.width()));
    fitted.moveTop(qBound(available.top() + titleBar, fitted.top(), available.bottom() + 1 - fitted.height()));
    return fitted;
}

void MainWindow::setSaveFileNameFunction(const SaveFileNameFunction& function)
{
    saveFileName = function;
}

void MainWindow::setFolderFunction(const FolderFunction& function)
{
    chooseFolder = function;
}

void MainWindow::createMenus()
{
    auto* bar = new QMenuBar(this);
    setMenuBar(bar);

    auto* fileMenu = new QMenu(QStringLiteral("ファイル(&F)"), bar);
    // A folder chosen here, or named on the command line, scans as a drop.
    auto* openFolder = new QAction(QStringLiteral("フォルダを開く(&O)..."), fileMenu);
    openFolder->setObjectName(QStringLiteral("MenuBar.File.OpenFolder"));
    openFolder->setShortcut(QKeySequence::Open);
    connect(openFolder, &QAction::triggered, this, &MainWindow::triggerOpenFolder);
    fileMenu->addAction(openFolder);
    auto* exportMenu = new QMenu(QStringLiteral("エクスポート(&E)"), fileMenu);
    exportMenu->setObjectName(QStringLiteral("MenuBar.File.ExportMenu"));
    auto* exportXml = new QAction(QStringLiteral("XMLファイル(.xml)"), exportMenu);
    exportXml->setObjectName(QStringLiteral("MenuBar.File.ExportMenu.Xml"));
    connect(exportXml, &QAction::triggered, this, &MainWindow::triggerExportAsXmlFile);
    exportMenu->addAction(exportXml);
    exportMenu->setEnabled(false);
    fileMenu->addMenu(exportMenu);
    auto* exit = new QAction(QStringLiteral("終了(&X)"), fileMenu);
    exit->setObjectName(QStringLiteral("MenuBar.File.Exit"));
    connect(exit, &QAction::triggered, this, &MainWindow::triggerExit);
    fileMenu->addAction(exit);

    auto* toolMenu = new QMenu(QStringLiteral("ツール(&T)"), bar);
    auto* packaging = new QAction(QStringLiteral("パッケージ化(&P)"), toolMenu);
    packaging->setObjectName(QStringLiteral("MenuBar.Tool.Packaging"));
    packaging->setEnabled(false);
    connect(packaging, &QAction::triggered, this, &MainWindow::triggerPackaging);
    toolMenu->addAction(packaging);

    auto* helpMenu = new QMenu(QStringLiteral("ヘルプ(&H)"), bar);
    auto* about = new QAction(QStringLiteral("アバウト(&A)"), helpMenu);
    connect(about, &QAction::triggered, this, &MainWindow::triggerAbout);
    helpMenu->addAction(about);
    auto* library = new QAction(QStringLiteral("ライブラリ(&A)"), helpMenu);
    connect(library, &QAction::triggered, this, &MainWindow::triggerLibrary);
    helpMenu->addAction(library);

    bar->addMenu(fileMenu);
    bar->addMenu(toolMenu);
    bar->addMenu(helpMenu);
}

void MainWindow::createCentralArea()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);

    auto* dropArea = new DropArea(central);
    connect(dropArea, &DropArea::dropped, this, &MainWindow::onDropped);
    layout->addWidget(dropArea);

    auto* properties = new QGroupBox(QStringLiteral("プロパティ"), central);
    auto* grid = new QGridLayout(properties);
    grid->setObjectName(QStringLiteral("PropertyGridLayout"));
    const QString captions[PropertyRowCount] = {QStringLiteral("場所："), QStringLiteral("サイズ："),
                                                QStringLiteral("ディスク上のサイズ："), QStringLiteral("内容：")};
    for (int row = 0; row < PropertyRowCount; ++row) {
        grid->addWidget(new QLabel(captions[row], properties), row, 0);
        auto* value = new QLabel(QStringLiteral("<none>"), properties);
        // Paths are shown as they are, never read as markup, and a long one
        // is cut at the window's edge instead of widening the window.
        value->setTextFormat(Qt::PlainText);
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(value, row, 1);
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(properties);

    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), central);
    cancel->setObjectName(QStringLiteral("TaskCancelPushButton"));
    cancel->hide();
    layout->addWidget(cancel);
}

void MainWindow::createStatusBar()
{
    auto* bar = new QStatusBar(this);
    setStatusBar(bar);
    auto* label = new QLabel(QStringLiteral("準備完了。"), bar);
    label->setObjectName(QStringLiteral("StatusLabel"));
    label->setTextFormat(Qt::PlainText);
    bar->addWidget(label);
}

void MainWindow::restoreGeometryFromSettings()
{
    QVariant value;
    if (auto* settings = findChild<QSettings*>(QStringLiteral("Settings")))
        value = settings->value(QLatin1String(GeometryKey));
    QRect saved;
    if (value.isValid() && value.canConvert<QRect>() && value.convert(QMetaType::QRect))
        saved = value.toRect();
    // The window appears on the screen under the saved rectangle's middle,
    // else on the primary one. An empty rectangle is no usable geometry.
    QScreen* screen = saved.isEmpty() ? nullptr : QGuiApplication::screenAt(saved.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) {
        if (!saved.isEmpty())
            setGeometry(saved);
        return;
    }
    const QRect available = screen->availableGeometry();
    if (saved.isEmpty())
        setGeometry(defaultGeometry(available));
    else
        setGeometry(fitToScreen(saved, available, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this)));
}

bool MainWindow::event(QEvent* event)
{
    return QMainWindow::event(event);
}

void MainWindow::customEvent(QEvent* event)
{
    QMainWindow::customEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The first request only arms a timer; the window closes on the next.
    if (!closing) {
        closing = true;
        auto* timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("Timer.Close"));
        connect(timer, &QTimer::timeout, this, &QWidget::close);
        timer->start(100);
        event->ignore();
        return;
    }

    if (auto* worker = findChild<EnumerateWorker*>(QStringLiteral("Thread.EnumerateWorker"))) {
        if (worker->isRunning()) {
            worker->cancel();
            worker->wait();
        }
        worker->quit();
    }
    if (auto* settings = findChild<QSettings*>(QStringLiteral("Settings"))) {
        settings->setValue(QLatin1String(GeometryKey), geometry());
        settings->sync();
    }
    // Once closed, the window needs no further close requests.
    if (auto* timer = findChild<QTimer*>(QStringLiteral("Timer.Close"), Qt::FindDirectChildrenOnly))
        timer->stop();
    event->accept();
}

void MainWindow::triggerExit()
{
    setEnabled(false);
    close();
}

namespace {

// The exact path of a local file URL. A file manager writes a name that is
// not valid UTF-8 with its bytes percent-encoded; QUrl keeps them encoded,
// where toLocalFile() would decode them to U+FFFD and name another file.
NativePath exactLocalPath(const QUrl& url)
{
#ifdef Q_OS_WIN
    return NativePath::fromText(QFileInfo(url.toLocalFile()).absoluteFilePath());
#else
    if (url.toLocalFile().isEmpty())
        return NativePath();
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return NativePath::fromBytes(bytes).cleaned();
#endif
}

} // namespace

void MainWindow::onDropped(const QMimeData* mimeData)
{
    if (!mimeData || !mimeData->hasUrls())
        return;
    const QList<QUrl> urls = mimeData->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        // "file:" without a path names no file; it would otherwise stand for
        // the working folder.
        const NativePath path = exactLocalPath(url);
        if (path.isEmpty())
            continue;
        openPath(path);
        return;
    }
}

void MainWindow::openPath(const NativePath& path)
{
    bool isFolder = false;
    platform::entryExists(path, &isFolder);
    startEnumeration(isFolder ? path : path.parent());
}

void MainWindow::triggerOpenFolder()
{
    const QString caption = QStringLiteral("フォルダを開く");
    const QString folder = chooseFolder ? chooseFolder(this, caption)
                                        : QFileDialog::getExistingDirectory(this, caption, QString(),
                                                                            QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        openPath(NativePath::fromText(QFileInfo(folder).absoluteFilePath()));
}

bool MainWindow::openCommandLine(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        // The name's own bytes where the system keeps names as bytes.
        const QString absolute = QFileInfo(argument).absoluteFilePath();
#ifdef Q_OS_WIN
        openPath(NativePath::fromText(absolute).cleaned());
#else
        openPath(NativePath::fromBytes(QFile::encodeName(absolute)).cleaned());
#endif
        return true;
    }
    return false;
}

void MainWindow::startEnumeration(const NativePath& directory)
{
    setResultMenusEnabled(false);

    auto* worker = findChild<EnumerateWorker*>(QStringLiteral("Thread.EnumerateWorker"));
    if (!worker) {
        worker = new EnumerateWorker(this);
        worker->setObjectName(QStringLiteral("Thread.EnumerateWorker"));
        connect(worker, &EnumerateWorker::progress, this, &MainWindow::onEnumerateProgress);
        connect(worker, &EnumerateWorker::finished, this, &MainWindow::onEnumerateFinished);
        if (auto* button = findChild<QPushButton*>(QStringLiteral("TaskCancelPushButton")))
            connect(button, &QPushButton::clicked, worker, &EnumerateWorker::cancel);
    }
    if (worker->isRunning()) {
        worker->cancel();
        worker->wait();
    }
    worker->setDirectory(directory);

    setStatusText(QStringLiteral("列挙中..."));
    setPropertyValue(0, directory.toText());
    ++pendingScanNotices;
    worker->start(QThread::InheritPriority);
    if (auto* button = findChild<QPushButton*>(QStringLiteral("TaskCancelPushButton")))
        button->show();
}

void MainWindow::onEnumerateProgress(const EnumerateProgress& stats)
{
    // The last figures of a scan that a newer drop has replaced.
    if (pendingScanNotices > 1)
        return;
    showSizes(stats.totalSize, stats.totalSizeOnDisk, stats.fileCount, stats.directoryCount);
}

void MainWindow::onEnumerateFinished(const DirectoryNodePtr& root, const EnumerateProgress& stats, bool isCanceld)
{
    // Scans end in the order they started, so while a newer scan is still
    // pending this notice is the superseded scan's: the newer scan keeps its
    // button, its status and its figures.
    if (pendingScanNotices > 1) {
        --pendingScanNotices;
        return;
    }
    pendingScanNotices = qMax(0, pendingScanNotices - 1);

    if (auto* button = findChild<QPushButton*>(QStringLiteral("TaskCancelPushButton")))
        button->hide();
    setResultMenusEnabled(!isCanceld && root);
    if (!isCanceld)
        this->root = root;

    if (isCanceld) {
        for (int row = 1; row < PropertyRowCount; ++row)
            setPropertyValue(row, QStringLiteral("<none>"));
        setStatusText(QStringLiteral("キャンセルされました。"));
    } else {
        showSizes(stats.totalSize, stats.totalSizeOnDisk, stats.fileCount, stats.directoryCount);
        const double seconds = stats.listingSeconds + stats.totallingSeconds;
        setStatusText(QStringLiteral("列挙完了 経過時間：%1 秒。").arg(QString::number(seconds, 'g', 6)));
    }
}

void MainWindow::updatePropertiesFromRoot()
{
    if (!root)
        return;
    showSizes(root->totalSize(), root->totalSizeOnDisk(), root->totalFileCount(), root->totalSubdirectoryCount());
}

void MainWindow::showSizes(qint64 size, qint64 sizeOnDisk, qint32 fileCount, qint32 directoryCount)
{
    setPropertyValue(1, formatSize(size));
    setPropertyValue(2, formatSize(sizeOnDisk));
    setPropertyValue(3, QStringLiteral("ファイル数：%1 フォルダ数：%2")
                            .arg(QString::number(fileCount), QString::number(directoryCount)));
}

void MainWindow::setPropertyValue(int row, const QString& text)
{
    auto* grid = findChild<QGridLayout*>(QStringLiteral("PropertyGridLayout"));
    if (!grid)
        return;
    QLayoutItem* item = grid->itemAtPosition(row, 1);
    if (!item)
        return;
    if (auto* label = qobject_cast<QLabel*>(item->widget()))
        label->setText(text);
}

void MainWindow::setStatusText(const QString& text)
{
    if (auto* label = findChild<QLabel*>(QStringLiteral("StatusLabel")))
        label->setText(text);
}

void MainWindow::setResultMenusEnabled(bool enabled)
{
    if (auto* exportMenu = findChild<QMenu*>(QStringLiteral("MenuBar.File.ExportMenu")))
        exportMenu->setEnabled(enabled);
    if (auto* packaging = findChild<QAction*>(QStringLiteral("MenuBar.Tool.Packaging")))
        packaging->setEnabled(enabled);
}

void MainWindow::triggerExportAsTxtFile()
{
    exportWithDialog(QStringLiteral("Txt (*.txt)"));
}

void MainWindow::triggerExportAsXmlFile()
{
    exportWithDialog(QStringLiteral("XML (*.xml)"));
}

void MainWindow::exportWithDialog(const QString& filter)
{
    const QString caption = QStringLiteral("保存ファイルの選択");
    const QString path =
        saveFileName ? saveFileName(this, caption, filter) : QFileDialog::getSaveFileName(this, caption, QString(), filter);
    if (path.isEmpty())
        return;
    startExport(path);
}

void MainWindow::startExport(const QString& path)
{
    auto* dialog = findChild<ExportAsFileDialog*>(QStringLiteral("Dialog.ExportProgress"));
    if (!dialog) {
        dialog = new ExportAsFileDialog(this);
        dialog->setObjectName(QStringLiteral("Dialog.ExportProgress"));
    }
    auto* worker = findChild<ExportWorker*>(QStringLiteral("Thread.ExportWorker"));
    if (!worker) {
        worker = new ExportWorker(this);
        worker->setObjectName(QStringLiteral("Thread.ExportWorker"));
        connect(worker, &ExportWorker::finished, this, &MainWindow::onExportFinished);
        connect(worker, &QThread::finished, dialog, &QWidget::hide);
        connect(worker, &ExportWorker::progress, dialog, &ExportAsFileDialog::setProgress);
    }
    if (worker->isRunning())
        worker->wait();
    // The menus offer an export only after a completed scan.
    if (!root)
        return;

    // The typed name decides the format, whatever dialog or filter it came from.
    const QString suffix = QFileInfo(path).suffix();
    ExporterPtr exporter;
    if (suffix == QLatin1String("txt"))
        exporter = createTxtExporter(TxtExporterSettings());
    else if (suffix == QLatin1String("xml"))
        exporter = createXmlExporter(xmlSettings);
    else
        return;

    dialog->setTarget(path);
    worker->setup(path, root, exporter);
    worker->start(QThread::InheritPriority);
    // Ends when the worker's thread has ended. The export cannot be stopped,
    // so the dialog cannot be closed before: closed, the window would wait
    // for the export without answering.
    dialog->setClosable(false);
    dialog->exec();
    dialog->setClosable(true);
    worker->wait();
    exporter.reset();
}

void MainWindow::onExportFinished(bool isSucceeded, const QString& path, const QString& errorString)
{
    const QString result = isSucceeded ? QStringLiteral("成功しました。") : QStringLiteral("失敗しました。");
    QMessageBox box(QMessageBox::Information, QStringLiteral("エクスポートの報告"),
                    QStringLiteral("%1\r\n保存に%2\r\n%3").arg(path, result, errorString), QMessageBox::Ok, this);
    // A path is shown as it is, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MainWindow::triggerPackaging()
{
    // The dialog works on a copy of the XML export settings and hands it back
    // whatever its result; a move may have lowered the root's totals, which
    // the properties box then shows.
    PackagingDialog dialog(this);
    dialog.setRoot(root);
    dialog.xmlSettings = xmlSettings;
    dialog.exec();
    xmlSettings = dialog.xmlSettings;
    updatePropertiesFromRoot();
}

void MainWindow::triggerAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::triggerLibrary()
{
    LibraryDialog dialog(this);
    dialog.exec();
}

void MainWindow::waitForWorkers()
{
    if (auto* worker = findChild<EnumerateWorker*>(QStringLiteral("Thread.EnumerateWorker"))) {
        worker->cancel();
        worker->wait();
    }
    if (auto* worker = findChild<ExportWorker*>(QStringLiteral("Thread.ExportWorker")))
        worker->wait();
}

} // namespace korvo
