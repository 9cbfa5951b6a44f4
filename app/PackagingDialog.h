#pragma once

#include "DirectoryNode.h"
#include "Exporter.h"
#include "ImageFormat.h"
#include "Package.h"
#include "PackageMoveSession.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QCloseEvent;
class QSettings;
class QTreeWidgetItem;
class QUrl;

namespace Ui {
class PackagingDialog;
}

namespace korvo {

class ExportAsFileDialog;
class PackingRun;

// Splits the scanned folder's top-level items into packages of a chosen size
// and moves the checked packages into numbered folders on the same volume:
//   volume root / korvo_pack / order name / label / N   (and N.xml beside it)
//
// Packing runs on a worker thread (PackingRun) and each move in a PackageMoveSession on
// its own worker, so the dialog keeps answering; the session changes the
// tree only between packages, while the move waits.
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

    // True while a pack or a move runs.
    bool isBusy() const;

signals:
    // A pack step has shown its rows (or found nothing to pack).
    void packFinished();
    // A move has ended and reported (also one refused or stopped).
    void moveFinished();

public slots:
    void triggerPackageOrderEdit();
    void triggerPack();
    void triggerMove();
    void triggerExportConfigDialog();
    void setOrderSize(int index);
    void setCheckedAll();
    void setUncheckedAll();
    void checkPackageCheckState(QTreeWidgetItem* item, qint32 column);

    // Escape: while a move runs, asks whether to stop it instead.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setStatus(const QString& text);
    void updateOrderComboBox();
    bool checkFolderName(const QString& name, const QString& what);
    ImageFormat chosenImage() const;
    SplitFolders chosenSplit() const;
    void packingOptionChosen();
    void showPackages(const PackageOrder& order, const QList<PackagePtr>& packed);
    void addRows(int from);
    void packDone();
    void checkAll(Qt::CheckState state);
    QList<int> checkedPackages() const;
    void startMove(const QString& label);
    void onMoveEnded(bool refused);
    void finishMove();
    void askToStop();
    int updateCheckButtons();
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
    QList<PackagablePtr> leftOut; // the items of the last pack in no package
    ImageFormat packedImage = ImageFormat::None; // what the last pack measured for
    SplitFolders packedSplit = SplitFolders::No;  // whether the last pack split large folders
    bool noPackagesShown = false; // the last pack made none: the move buttons were disabled
    PackageOrder packedOrder;
    qint32 folderNumberBase = -1;
    QStringList savedLabels; // the labels as last read from or written to disk

    // The running pack, and its rows while they are added in batches.
    PackingRun* packer = nullptr;
    QList<PackagePtr> pendingRows;
    PackageOrder pendingOrder;
    ImageFormat pendingImage = ImageFormat::None;
    SplitFolders pendingSplit = SplitFolders::No;
    int packedBound = 0; // at least how many packages the last pack needed
    // The running move, and the listing window of its current package.
    QPointer<PackageMoveSession> session;
    QString moveBaseFolder;
    std::unique_ptr<ExportAsFileDialog> listingProgress;
    bool asking = false; // the stop question is open
    bool closeWhenIdle = false;
};

} // namespace korvo
