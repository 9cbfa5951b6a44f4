#include "PackagingDialog.h"

#include "ExportAsFileDialog.h"
#include "ImageFormat.h"
#include "LeftOutRows.h"
#include "MessageBoxPresenter.h"
#include "MoveProgressBar.h"
#include "MoveTexts.h"
#include "PackageMoveSession.h"
#include "PackageRows.h"
#include "PackageSizeEditDialog.h"
#include "PackageTarget.h"
#include "PackTexts.h"
#include "Packager.h"
#include "PackagingLayout.h"
#include "PackingRun.h"
#include "SettingsFolder.h"
#include "SizeFormat.h"
#include "UserPresetStore.h"
#include "XmlExporterSettingsDialog.h"
#include "ui_PackagingDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QUrl>

#include <memory>

namespace korvo {

namespace {

QString& dataFolderOverride()
{
    static QString folder;
    return folder;
}

QString& volumeRootOverride()
{
    static QString folder;
    return folder;
}

PackagingDialog::UrlOpener& urlOpener()
{
    static PackagingDialog::UrlOpener opener;
    return opener;
}

const char* const OrderStoreName = "Settings.UserPackageOrder";
const char* const LabelStoreName = "Settings.UserPackageLabel";

} // namespace

PackagingDialog::PackagingDialog(QWidget* parent) : QDialog(parent), form(new Ui::PackagingDialog)
{
    form->setupUi(this);
    form->pushButtonPack->setEnabled(false);
    form->groupBoxPackage->setEnabled(false);

    // The user's own orders and labels must be there before the combo boxes
    // are filled.
    const QString folder = dataFolder();
    const QString separator = QDir::separator();
    auto* orderStore = new QSettings(
        QStringLiteral("%1%2%3").arg(folder, separator, QStringLiteral("UserPackageOrderSettings.ini")),
        QSettings::IniFormat, this);
    orderStore->setObjectName(QLatin1String(OrderStoreName));
    auto* labelStore = new QSettings(
        QStringLiteral("%1%2%3").arg(folder, separator, QStringLiteral("UserPackageLabelSettings.ini")),
        QSettings::IniFormat, this);
    labelStore->setObjectName(QLatin1String(LabelStoreName));
    for (QSettings* store : {orderStore, labelStore})
        store->setIniCodec("UTF-8");
    loadUserPresets();

    updateOrderComboBox();

    // The form lists the sort modes in PackSort's order; each carries its value.
    for (int i = 0; i < form->comboBoxSort->count(); ++i)
        form->comboBoxSort->setItemData(i, i);

    for (const QString& label : qAsConst(labels))
        form->comboBoxLabel->addItem(label);

    setFixedSize(size());
    PackagingLayout::fitTextsToFont(*form);
    PackagingLayout::fitPackageColumns(*form);
    PackagingLayout::placeMoveProgress(*form);

    connect(form->comboBoxOrder, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &PackagingDialog::setOrderSize);
    connect(form->pushButtonOrderEdit, &QPushButton::clicked, this, &PackagingDialog::triggerPackageOrderEdit);
    connect(form->pushButtonExportConfig, &QPushButton::clicked, this, &PackagingDialog::triggerExportConfigDialog);
    connect(form->pushButtonPack, &QPushButton::clicked, this, &PackagingDialog::triggerPack);
    connect(form->pushButtonMove, &QPushButton::clicked, this, &PackagingDialog::triggerMove);
    connect(form->pushButtonAllCheck, &QPushButton::clicked, this, &PackagingDialog::setCheckedAll);
    connect(form->pushButtonAllUncheck, &QPushButton::clicked, this, &PackagingDialog::setUncheckedAll);
    connect(form->treeWidgetPackage, &QTreeWidget::itemClicked, this, &PackagingDialog::checkPackageCheckState);
    connect(form->checkBoxImage, &QCheckBox::toggled, this, &PackagingDialog::packingOptionChosen);
    connect(form->checkBoxSplit, &QCheckBox::toggled, this, &PackagingDialog::packingOptionChosen);
    // A package row shows its items when first unfolded.
    connect(form->treeWidgetPackage, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* row) {
        if (row->childCount() == 0)
            PackageRows::addItemRowsInBatches(form->treeWidgetPackage, packages,
                                              form->treeWidgetPackage->indexOfTopLevelItem(row));
    });
    // Escape ends the dialog without a close event; the labels are kept then too.
    connect(this, &QDialog::finished, this, [this] {
        collectLabels();
        saveLabels();
    });

    // The size editor is reached from its button, never by Return in a
    // field; the export settings stay behind their slot.
    form->pushButtonOrderEdit->setAutoDefault(false);
    form->pushButtonExportConfig->hide();
}

void PackagingDialog::setStatus(const QString& text)
{
    // The status box has room for about three lines; a longer status (a
    // package folder and its listing's report) is cut, so the whole text is
    // also its tooltip then.
    form->labelStats->setText(text);
    const bool fits = form->labelStats->heightForWidth(form->labelStats->width()) <= form->labelStats->height();
    form->labelStats->setToolTip(fits ? QString() : text);
}

PackagingDialog::~PackagingDialog()
{
    // The owner waits for the dialog to close, which waits for the work; a
    // dialog destroyed otherwise stops the move after its current package.
    delete session.data();
    if (packer) {
        packer->requestInterruption();
        packer->wait();
    }
    delete form;
}

void PackagingDialog::setDataFolder(const QString& folder)
{
    dataFolderOverride() = folder;
}

QString PackagingDialog::dataFolder()
{
    if (!dataFolderOverride().isEmpty())
        return dataFolderOverride();
    return QStringLiteral("%1%2%3").arg(settingsFolder(), QDir::separator(), QStringLiteral("data"));
}

void PackagingDialog::setVolumeRoot(const QString& folder)
{
    volumeRootOverride() = folder;
}

void PackagingDialog::setUrlOpener(const UrlOpener& opener)
{
    urlOpener() = opener;
}

void PackagingDialog::setRoot(const DirectoryNodePtr& root)
{
    this->root = root;
    form->pushButtonPack->setEnabled(!root.isNull());
}

// ---------------------------------------------------------------------------
// User orders and labels on disk

QSettings* PackagingDialog::settingsStore(const char* objectName) const
{
    return findChild<QSettings*>(QLatin1String(objectName), Qt::FindDirectChildrenOnly);
}

void PackagingDialog::loadUserPresets()
{
    userOrders = UserPresetStore::readOrders(settingsStore(OrderStoreName));
    labels = UserPresetStore::readLabels(settingsStore(LabelStoreName));
    savedLabels = labels;
}

void PackagingDialog::saveUserOrders()
{
    UserPresetStore::writeOrders(settingsStore(OrderStoreName), userOrders);
}

void PackagingDialog::collectLabels()
{
    for (int i = 0; i < form->comboBoxLabel->count(); ++i) {
        const QString label = form->comboBoxLabel->itemText(i);
        if (!labels.contains(label))
            labels.append(label);
    }
}

void PackagingDialog::saveLabels()
{
    QSettings* store = settingsStore(LabelStoreName);
    if (!store || labels == savedLabels)
        return;
    UserPresetStore::writeLabels(store, labels);
    savedLabels = labels;
}

// ---------------------------------------------------------------------------
// Orders, settings and packing

void PackagingDialog::updateOrderComboBox()
{
    form->comboBoxOrder->clear();
    for (const PackageOrder& order : builtInPackageOrders())
        form->comboBoxOrder->addItem(order.name, QVariant::fromValue<qint64>(order.size));
    for (const PackageOrder& order : qAsConst(userOrders))
        form->comboBoxOrder->addItem(order.name, QVariant::fromValue<qint64>(order.size));
    form->labelOrderSize->setText(formatSize(form->comboBoxOrder->currentData().toLongLong()));
}

void PackagingDialog::setOrderSize(int index)
{
    form->labelOrderSize->setText(formatSize(form->comboBoxOrder->itemData(index).toLongLong()));
}

void PackagingDialog::triggerPackageOrderEdit()
{
    PackageSizeEditDialog editor(this);
    editor.setOrders(userOrders);
    if (editor.exec() != QDialog::Accepted)
        return;
    userOrders = editor.orders();
    saveUserOrders();
    updateOrderComboBox();
}

void PackagingDialog::triggerExportConfigDialog()
{
    XmlExporterSettingsDialog dialog(this);
    dialog.setSettings(xmlSettings);
    if (dialog.exec() == QDialog::Accepted)
        xmlSettings = dialog.settings();
}

void PackagingDialog::triggerPack()
{
    if (packer) { // the button stops a search: the best packing found so far is shown
        packer->requestInterruption();
        return;
    }
    if (!root || isBusy())
        return;
    form->pushButtonPack->setEnabled(false);
    setStatus(QStringLiteral("パッケージ作成中..."));

    const PackageOrder order(form->comboBoxOrder->currentData().toLongLong(), form->comboBoxOrder->currentText());
    if (order.size == 0) {
        // Nothing fits a package of no bytes; the packages shown stay.
        setStatus(QStringLiteral("パッケージサイズが0バイトのため、パッケージを作成しませんでした。"));
        form->pushButtonPack->setEnabled(true);
        emit packFinished();
        return;
    }
    const int sort = form->comboBoxSort->currentData().toInt();

    // The rows shown are about to be replaced: nothing may move them now.
    form->groupBoxPackage->setEnabled(false);
    packer = new PackingRun(order, sort, root, chosenImage(), chosenSplit(), this);
    connect(packer, &QThread::finished, this, [this] {
        packer->deleteLater();
        const PackingRun* packed = packer;
        packer = nullptr;
        form->pushButtonPack->setText(QStringLiteral("パッケージを作成"));
        form->pushButtonPack->setEnabled(false);
        leftOut = packed->leftOut;
        packedBound = packed->lowerBound;
        pendingImage = packed->image;
        pendingSplit = packed->split;
        showPackages(packed->order, packed->packages);
    });
    if (sort == Fewest) { // a search may take a while: it can be stopped
        setStatus(QStringLiteral("パッケージ作成中...最少のパッケージ数を探しています。"
                                 "「探索を中止」で、それまでの最良の結果になります。"));
        form->pushButtonPack->setText(QStringLiteral("探索を中止"));
        form->pushButtonPack->setEnabled(true);
    }
    packer->start();
}

// Packages with images are packed by what they take in the image, and
// large folders as their pieces when they are split: either option packs
// again while no move has begun.
ImageFormat PackagingDialog::chosenImage() const
{
    return form->checkBoxImage->isChecked() ? ImageFormat::Iso : ImageFormat::None;
}

SplitFolders PackagingDialog::chosenSplit() const
{
    return form->checkBoxSplit->isChecked() ? SplitFolders::Yes : SplitFolders::No;
}

void PackagingDialog::packingOptionChosen()
{
    const bool packed = !packages.isEmpty() || !leftOut.isEmpty();
    const bool changed = packedImage != chosenImage() || packedSplit != chosenSplit();
    if (!packer && !session && packed && changed)
        triggerPack();
}

namespace {
// Rows added per turn of the event loop: a list of many packages is filled
// in batches, so that the dialog keeps answering while it fills.
const int RowsPerBatch = PackageRows::RowsPerBatch;
} // namespace

void PackagingDialog::showPackages(const PackageOrder& order, const QList<PackagePtr>& packed)
{
    packages = packed;
    form->treeWidgetPackage->clear();
    folderNumberBase = -1;
    pendingOrder = order;
    addRows(0);
}

void PackagingDialog::addRows(int from)
{
    const int to = qMin(packages.size(), from + RowsPerBatch);
    form->treeWidgetPackage->addTopLevelItems(PackageRows::packageRows(packages, from, to));
    if (to < packages.size())
        QTimer::singleShot(0, this, [this, to] { addRows(to); });
    else
        packDone();
}

void PackagingDialog::packDone()
{
    packedOrder = pendingOrder;
    packedImage = pendingImage;
    packedSplit = pendingSplit;
    LeftOutRows::add(form->treeWidgetPackage, leftOut, root->path());
    // Left-out rows and the image option stay in reach when no package was
    // made; only moving waits for packages.
    form->groupBoxPackage->setEnabled(!packages.isEmpty() || !leftOut.isEmpty());
    if (packages.isEmpty()) {
        for (QPushButton* button : {form->pushButtonMove, form->pushButtonAllCheck, form->pushButtonAllUncheck})
            button->setEnabled(false);
    } else if (noPackagesShown) {
        form->pushButtonMove->setEnabled(updateCheckButtons() > 0);
    }
    noPackagesShown = packages.isEmpty();
    const QString leftOutLine = MoveTexts::leftOutLine(leftOut.size());
    setStatus(PackTexts::packedStatus(packages.size(), packedBound)
              + (leftOutLine.isEmpty() ? QString() : QStringLiteral("\r\n") + leftOutLine));
    form->pushButtonPack->setEnabled(true);
    emit packFinished();
    if (closeWhenIdle)
        close();
    else
        packingOptionChosen(); // an option may have changed while packing
}

// ---------------------------------------------------------------------------
// Check boxes of the package rows

void PackagingDialog::checkPackageCheckState(QTreeWidgetItem* item, qint32 column)
{
    Q_UNUSED(item)
    if (column != 0 || session)
        return;
    form->pushButtonMove->setEnabled(updateCheckButtons() > 0);
}

void PackagingDialog::setCheckedAll()
{
    checkAll(Qt::Checked);
}

void PackagingDialog::setUncheckedAll()
{
    checkAll(Qt::Unchecked);
}

// Checks or unchecks every package row (not the rows of items left out).
void PackagingDialog::checkAll(Qt::CheckState state)
{
    if (session)
        return;
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = form->treeWidgetPackage->topLevelItem(i);
        if (!row->isDisabled())
            row->setCheckState(0, state);
    }
    form->pushButtonMove->setEnabled(state == Qt::Checked);
}

// ---------------------------------------------------------------------------
// Moving

bool PackagingDialog::checkFolderName(const QString& name, const QString& what)
{
    if (PackageTarget::isSingleFolderName(name, nullptr))
        return true;
    QMessageBox::warning(this, QStringLiteral("パッケージの移動"),
                         QStringLiteral("%1「%2」はフォルダ名として使えません。\r\n"
                                        "「/」「\\」などの記号を含まず、「.」「..」でなく、"
                                        "末尾が空白や「.」でない名前にしてください。")
                             .arg(what, name));
    return false;
}

namespace {

// Where korvo_pack goes for this root: its own volume unless set otherwise.
NativePath volumeRootFor(const DirectoryNodePtr& root)
{
    if (!volumeRootOverride().isEmpty())
        return NativePath::fromText(volumeRootOverride());
    return PackageTarget::volumeRoot(root->nativeFilePath());
}

} // namespace

void PackagingDialog::triggerMove()
{
    if (!root || isBusy())
        return;
    // The order's name and the label become folder levels of the target: a
    // path in either would put packages outside the package folder.
    const QString label = form->comboBoxLabel->currentText();
    if (!checkFolderName(packedOrder.name, QStringLiteral("パッケージサイズの名前"))
        || !checkFolderName(label, QStringLiteral("ラベル")))
        return;

    // A label used for a move is offered again next time, like one entered
    // with the Return key.
    if (!label.isEmpty() && form->comboBoxLabel->findText(label, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        form->comboBoxLabel->addItem(label);

    // Nothing may start another pack or move, nor change the checked rows,
    // while this one runs.
    // The packages stay as packed for this image option from now on.
    form->groupBoxPackaging->setEnabled(false);
    form->checkBoxImage->setEnabled(false);
    form->pushButtonMove->setEnabled(false);
    form->pushButtonAllCheck->setEnabled(false);
    form->pushButtonAllUncheck->setEnabled(false);
    startMove(label);
}

QList<int> PackagingDialog::checkedPackages() const
{
    QList<int> checked;
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount() && i < packages.size(); ++i) {
        const QTreeWidgetItem* row = form->treeWidgetPackage->topLevelItem(i);
        if (!row->isDisabled() && row->checkState(0) == Qt::Checked)
            checked << i;
    }
    return checked;
}

// Starts the move of the checked packages in a session of its own, which
// runs the job on its worker and reports each step; the dialog shows them.
void PackagingDialog::startMove(const QString& label)
{
    PackageMoveRequest request;
    request.root = root;
    request.volumeRoot = volumeRootFor(root);
    request.orderName = packedOrder.name;
    request.label = label;
    request.numberBase = folderNumberBase;
    for (int i : checkedPackages())
        request.packages << PackageMoveRequest::Chosen{i, packages.at(i)};
    request.leftOut = leftOut;
    request.listing = form->checkBoxSave->isChecked();
    if (form->checkBoxImage->isChecked()) {
        request.image = ImageFormat::Iso;
        request.orderSize = packedOrder.size;
    }
    request.xmlSettings = xmlSettings;
    moveBaseFolder = PackageTarget::baseFolder(request.volumeRoot.toText(), request.orderName, label);

    session = new PackageMoveSession(root, packages, messageBoxPresenter(this), this);
    session->setClosing(closeWhenIdle);
    connect(session, &PackageMoveSession::statusChanged, this, [this](const QString& status, const QStringList& log) {
        setStatus(status);
        if (log.size() > 1)
            form->labelStats->setToolTip(log.join(QStringLiteral("\r\n")));
    });
    connect(session, &PackageMoveSession::progressChanged, this, [this](int started, int chosen, qint64 done, qint64 all) {
        MoveProgressBar::show(form->progressBarMove, started, chosen, done, all);
    });
    connect(session, &PackageMoveSession::listingStarted, this, [this](const QString& listing) {
        listingProgress.reset(new ExportAsFileDialog(this));
        listingProgress->setTarget(listing);
        listingProgress->show();
    });
    connect(session, &PackageMoveSession::listingProgress, this, [this](qreal percent) {
        if (listingProgress)
            listingProgress->setProgress(percent);
    });
    connect(session, &PackageMoveSession::listingEnded, this, [this](bool written) {
        if (listingProgress)
            listingProgress->setProgress(written ? 100.0 : 0.0);
        listingProgress.reset();
    });
    connect(session, &PackageMoveSession::packageMoved, this,
            [this](int index) { form->treeWidgetPackage->topLevelItem(index)->setDisabled(true); });
    connect(session, &PackageMoveSession::ended, this, &PackagingDialog::onMoveEnded);
    form->progressBarMove->show();
    session->start(request);
}

void PackagingDialog::onMoveEnded(bool refused)
{
    listingProgress.reset();
    form->progressBarMove->hide();
    const int numberBase = session->numberBase();
    session->deleteLater();
    session = nullptr;
    if (refused) {
        // Nothing moved: it may be tried again.
        form->groupBoxPackaging->setEnabled(true);
        form->checkBoxImage->setEnabled(true);
        form->pushButtonMove->setEnabled(true);
    } else if (numberBase >= 0) {
        folderNumberBase = numberBase;
    }
    updateCheckButtons(); // the move button stays as the move left it
    if (!refused)
        finishMove();
    emit moveFinished();
    if (closeWhenIdle)
        close();
}

// The check buttons as the enabled rows' check boxes now stand; the number
// of rows checked.
int PackagingDialog::updateCheckButtons()
{
    int checked = 0;
    int unchecked = 0;
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = form->treeWidgetPackage->topLevelItem(i);
        if (row->isDisabled())
            continue;
        if (row->checkState(0) == Qt::Checked)
            ++checked;
        else if (row->checkState(0) == Qt::Unchecked)
            ++unchecked;
    }
    form->pushButtonAllCheck->setEnabled(unchecked > 0);
    form->pushButtonAllUncheck->setEnabled(checked > 0);
    return checked;
}

void PackagingDialog::finishMove()
{
    bool allDone = true;
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount() && allDone; ++i)
        allDone = form->treeWidgetPackage->topLevelItem(i)->isDisabled();
    if (allDone) {
        const QStringList lines = QStringList{MoveTexts::allDone(), MoveTexts::leftOutLine(leftOut.size())}
                                  + MoveTexts::leftOutLines(leftOut, root->path(), 10);
        QMessageBox::information(this, QStringLiteral("報告"), lines.join(QStringLiteral("\r\n")).trimmed(), QMessageBox::Ok);
        close();
    }
    if (form->checkBoxOpenExplorer->isChecked()) {
        // Cleaned, so that the doubled separators of the text (after a drive
        // root, or of an empty label) do not reach the file browser.
        const QUrl url = QUrl::fromLocalFile(QDir::cleanPath(QDir::fromNativeSeparators(moveBaseFolder)));
        if (urlOpener())
            urlOpener()(url);
        else
            QDesktopServices::openUrl(url);
    }
}

// While a move runs, closing the dialog asks whether to stop it once the
// current package is done; a pack is stopped (a search ends at once) and
// waited for.
void PackagingDialog::askToStop()
{
    if (closeWhenIdle || asking)
        return;
    if (!session) {
        closeWhenIdle = true;
        if (packer)
            packer->requestInterruption(); // a search keeps what it found
        return;
    }
    // The move's end waits until the question is answered.
    asking = true;
    session->holdEnd(true);
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("パッケージの移動"),
        QStringLiteral("パッケージを移動中です。\r\n移動中のパッケージが終わったところで移動を中止して閉じますか？"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    asking = false;
    if (answer == QMessageBox::Yes) {
        closeWhenIdle = true;
        session->setClosing(true);
        session->requestStop();
        setStatus(QStringLiteral("移動を中止しています。移動中のパッケージが終わるまでお待ちください。"));
    }
    session->holdEnd(false); // the move may end now, and close the dialog
    if (closeWhenIdle && !isBusy())
        close();
}

bool PackagingDialog::isBusy() const
{
    return packer || session;
}

void PackagingDialog::reject()
{
    if (isBusy()) {
        askToStop();
        return;
    }
    QDialog::reject();
}

void PackagingDialog::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        askToStop();
        return;
    }
    collectLabels();
    saveLabels();
    QDialog::closeEvent(event);
}

} // namespace korvo
