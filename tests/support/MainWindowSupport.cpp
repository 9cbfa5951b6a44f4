#include "MainWindowSupport.h"

#include "DropArea.h"
#include "EnumerateWorker.h"
#include "GuiSupport.h"
#include "MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStringList>
#include <QThread>
#include <QUrl>

namespace korvo::test {

QString propertyValue(const MainWindow& window, int row)
{
    auto* grid = window.findChild<QGridLayout*>(QStringLiteral("PropertyGridLayout"));
    if (!grid || !grid->itemAtPosition(row, 1))
        return QStringLiteral("(no such row)");
    auto* label = qobject_cast<QLabel*>(grid->itemAtPosition(row, 1)->widget());
    return label ? label->text() : QStringLiteral("(not a label)");
}

QString statusText(const MainWindow& window)
{
    auto* label = window.findChild<QLabel*>(QStringLiteral("StatusLabel"));
    return label ? label->text() : QStringLiteral("(no status label)");
}

QMenu* exportMenu(const MainWindow& window)
{
    return window.findChild<QMenu*>(QStringLiteral("MenuBar.File.ExportMenu"));
}

QAction* packagingAction(const MainWindow& window)
{
    return window.findChild<QAction*>(QStringLiteral("MenuBar.Tool.Packaging"));
}

QPushButton* cancelButton(const MainWindow& window)
{
    return window.findChild<QPushButton*>(QStringLiteral("TaskCancelPushButton"));
}

DropArea* dropArea(const MainWindow& window)
{
    return window.findChild<DropArea*>();
}

EnumerateWorker* enumerateWorker(const MainWindow& window)
{
    return window.findChild<EnumerateWorker*>(QStringLiteral("Thread.EnumerateWorker"));
}

void dropPaths(const MainWindow& window, const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    QMimeData data;
    data.setUrls(urls);
    drop(dropArea(window), &data);
}

bool waitForScanEnd(const MainWindow& window, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    EnumerateWorker* worker = enumerateWorker(window);
    if (!worker)
        return false;
    while (worker->isRunning()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    // The final notices are queued; deliver them.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    return true;
}

bool dropAndWait(const MainWindow& window, const QString& folder)
{
    dropPaths(window, {folder});
    return waitForScanEnd(window);
}

ScopedSettingsFile::ScopedSettingsFile(const QTemporaryDir& dir) : path_(dir.filePath(QStringLiteral("korvo.ini")))
{
    MainWindow::setSettingsFilePath(path_);
}

ScopedSettingsFile::~ScopedSettingsFile()
{
    MainWindow::setSettingsFilePath(QString());
}

bool makeManyFolders(const QString& folder, int count)
{
    QDir dir;
    for (int i = 0; i < count; ++i) {
        if (!dir.mkpath(QStringLiteral("%1/%2/%3").arg(folder).arg(i / 100).arg(i)))
            return false;
    }
    return true;
}

} // namespace korvo::test
