#pragma once

#include <QString>
#include <QTemporaryDir>

class QAction;
class QMenu;
class QPushButton;
class QStringList;

namespace korvo {
class DropArea;
class EnumerateWorker;
class MainWindow;
} // namespace korvo

namespace korvo::test {

// Reads the main window the way the user sees it, through the object names
// its flows use.
QString propertyValue(const MainWindow& window, int row);
QString statusText(const MainWindow& window);
QMenu* exportMenu(const MainWindow& window);
QAction* packagingAction(const MainWindow& window);
QPushButton* cancelButton(const MainWindow& window);
DropArea* dropArea(const MainWindow& window);
EnumerateWorker* enumerateWorker(const MainWindow& window);

// Drops local files or folders (absolute paths) on the window's drop area.
void dropPaths(const MainWindow& window, const QStringList& paths);
// Drops a folder and waits until its scan has ended (up to 90 s: thousands
// of folders under Wine on a busy machine take tens of seconds); false on
// time-out.
bool dropAndWait(const MainWindow& window, const QString& folder);
// True once no scan runs and its last notice has reached the window.
bool waitForScanEnd(const MainWindow& window, int timeoutMs = 90000);

// Points the window's settings file into `dir` for the life of the object,
// so that no test touches the korvo.ini beside the executable.
class ScopedSettingsFile
{
public:
    explicit ScopedSettingsFile(const QTemporaryDir& dir);
    ~ScopedSettingsFile();
    QString path() const { return path_; }

private:
    QString path_;
};

// Makes `count` empty subfolders below `folder`, enough for a scan that runs
// for a noticeable while.
bool makeManyFolders(const QString& folder, int count);

} // namespace korvo::test
