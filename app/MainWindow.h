#pragma once

#include "DirectoryNode.h"
#include "EnumerateProgress.h"
#include "Exporter.h"
#include "NativePath.h"

#include <QMainWindow>
#include <QRect>
#include <QString>

#include <functional>

class QDir;
class QMimeData;

namespace korvo {

// The one top-level window: menus, the drop area, the properties box, the
// cancel button and the status bar. It keeps no pointers to its widgets,
// workers or settings object; each flow looks them up by object name.
//
// Threads: the window lives on the GUI thread and never blocks it for
// long. A scan runs on its EnumerateWorker and an export on its
// ExportWorker, one of each at a time; each hands its result back by a
// queued signal, and the figures of a running scan are copied once a
// second by a timer of the GUI thread. The tree is the window's once a scan
// has handed it over: an export reads it while the window waits in the
// export's progress window, and the packaging dialog changes it only
// between packages, while its move waits. A new scan or closing cancels a
// running scan and waits for its thread, at most one folder's listing.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Asks the user for the file an export writes; returns an empty text
    // when the user cancels.
    using SaveFileNameFunction =
        std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>;

    MainWindow();
    ~MainWindow() override;

    // The settings file: "korvo.ini" beside the executable, unless another
    // path was set (tests keep theirs in a temporary folder).
    static QString settingsFilePath();
    static void setSettingsFilePath(const QString& path);

    // The geometry of a window started without saved settings, for a
    // primary screen whose available area is `available`.
    static QRect defaultGeometry(const QRect& available);
    // A saved client-area rectangle made usable on a screen whose available
    // area is `available`: a size larger than that area shrinks to it (less
    // the title bar) and moves wholly onto it, and a window that would show
    // too little of its title bar (`titleBarHeight` high, above the client
    // area) moves inside the area. A rectangle that fits and whose title bar
    // is in reach is kept as it is.
    static QRect fitToScreen(const QRect& saved, const QRect& available, int titleBarHeight);

    // Replaces the save-file dialog of the export menu; null restores it.
    void setSaveFileNameFunction(const SaveFileNameFunction& function);

    // Asks the user for a folder to scan; returns an empty text when the
    // user cancels.
    using FolderFunction = std::function<QString(QWidget* parent, const QString& caption)>;
    // Replaces the folder chooser of "フォルダを開く..."; null restores it.
    void setFolderFunction(const FolderFunction& function);

    // Scans `path` as a drop of it would: a folder itself, anything else
    // (a file, or a name that is not there) the folder that holds it.
    void openPath(const NativePath& path);
    // The program's arguments (without the program itself): the first one
    // that is not an option is opened as by openPath, relative to the
    // working folder. False when there is none.
    bool openCommandLine(const QStringList& arguments);

    // The tree of the last scan that completed; null before the first one.
    DirectoryNodePtr scannedRoot() const { return root; }
    // The settings every XML export from this window uses; the packaging
    // dialog works on a copy and hands it back.
    const XmlExporterSettings& xmlExporterSettings() const { return xmlSettings; }
    void setXmlExporterSettings(const XmlExporterSettings& settings) { xmlSettings = settings; }
    // Shows the root's current totals in the size and contents rows (after
    // packages have been moved out of the tree).
    void updatePropertiesFromRoot();

public slots:
    void onDropped(const QMimeData* mimeData);
    void onEnumerateProgress(const korvo::EnumerateProgress& stats);
    void onEnumerateFinished(const korvo::DirectoryNodePtr& root, const korvo::EnumerateProgress& stats,
                             bool isCanceld);
    void onExportFinished(bool isSucceeded, const QString& path, const QString& errorString);
    void triggerExportAsTxtFile();
    void triggerExportAsXmlFile();
    void triggerExit();
    void triggerPackaging();
    void triggerAbout();
    void triggerLibrary();
    void triggerOpenFolder();

protected:
    bool event(QEvent* event) override;
    void customEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenus();
    void createCentralArea();
    void createStatusBar();
    void restoreGeometryFromSettings();

    void startEnumeration(const NativePath& directory);
    void showSizes(qint64 size, qint64 sizeOnDisk, qint32 fileCount, qint32 directoryCount);
    void setPropertyValue(int row, const QString& text);
    void setStatusText(const QString& text);
    void setResultMenusEnabled(bool enabled);

    void exportWithDialog(const QString& filter);
    void startExport(const QString& path);
    void waitForWorkers();

    bool closing = false;
    DirectoryNodePtr root;
    XmlExporterSettings xmlSettings;
    // Scans started whose finished notice has not arrived yet. A notice that
    // arrives while a later scan is pending belongs to a superseded scan.
    int pendingScanNotices = 0;
    SaveFileNameFunction saveFileName;
    FolderFunction chooseFolder;
};

} // namespace korvo
