#pragma once

#include "DirectoryNode.h"
#include "Exporter.h"
#include "Package.h"
#include "PackageOrder.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QCloseEvent;
class QSettings;
class QTreeWidgetItem;
class QUrl;

namespace Ui {
class PackagingDialog;
}

namespace korvo {

class PackageMoveJob;
struct PackageFolder;
struct PackageMoveResult;

// Splits the scanned folder's top-level items into packages of a chosen size
// and moves the checked packages into numbered folders on the same volume:
//   volume root / korvo_pack / order name / label / N   (and N.xml beside it)
class PackagingDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PackagingDialog(QWidget* parent = nullptr);
    ~PackagingDialog() override;

    // The root of the scanned folder; enables packing.
    void setRoot(const DirectoryNodePtr& root);

    // The settings of the XML listings a move writes; the main window copies
    // its own record in before the dialog runs and back afterwards.
    XmlExporterSettings xmlSettings;

    // Where the user's package orders and labels are kept: the folder "data"
    // beside the executable unless another folder has been set (an empty
    // text restores the default).
    static void setDataFolder(const QString& folder);
    static QString dataFolder();
    // The volume root the move puts "korvo_pack" under: the scanned folder's
    // own volume unless another folder has been set (empty restores it).
    static void setVolumeRoot(const QString& folder);
    // How the base folder is shown in the system's file browser; by default
    // QDesktopServices::openUrl (an empty function restores it).
    using UrlOpener = std::function<bool(const QUrl&)>;
    static void setUrlOpener(const UrlOpener& opener);

public slots:
    void triggerPackageOrderEdit();
    void triggerPack();
    void triggerMove();
    void triggerExportConfigDialog();
    void setOrderSize(int index);
    void setCheckedAll();
    void setUncheckedAll();
    void checkPackageCheckState(QTreeWidgetItem* item, qint32 column);
    void onExportFinished(bool isSucceeded, const QString& path, const QString& errorString);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fitTextsToFont();
    void fitPackageColumns();
    void updateSizeToolTips();
    void setStatus(const QString& text);
    void updateOrderComboBox();
    bool checkFolderName(const QString& name, const QString& what);
    // What one move did: the rows moved, and the failures to report.
    struct MoveOutcome
    {
        QList<int> moved;
        QStringList failedNumbers;
        QStringList failureLines;
        bool leftItemsBehind = false;
    };
    class MoveObserver;
    QList<int> checkedPackages() const;
    bool runMove(const QString& label, MoveOutcome& outcome, QString* baseFolder);
    bool offerRecovery(const PackageMoveJob& job);
    void packageMoved(const PackageMoveResult& result, MoveOutcome& outcome);
    void packageFailed(const PackageMoveResult& result, MoveOutcome& outcome, const QString& baseFolder);
    void finishMove(const MoveOutcome& outcome, const QString& baseFolder);
    void reportFailures(const MoveOutcome& outcome);
    void reportListing(const PackageMoveResult& result);
    QSettings* settingsStore(const char* objectName) const;
    void loadUserPresets();
    void saveUserOrders();
    void collectLabels();
    void saveLabels();

    Ui::PackagingDialog* form;
    DirectoryNodePtr root;
    QList<PackageOrder> userOrders;
    QStringList labels;
    QList<PackagePtr> packages;
    PackageOrder packedOrder;
    qint32 folderNumberBase = -1;
    QStringList savedLabels; // the labels as last read from or written to disk
};

} // namespace korvo
