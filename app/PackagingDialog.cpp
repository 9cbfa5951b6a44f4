#include "PackagingDialog.h"

#include "ExportAsFileDialog.h"
#include "PackageListing.h"
#include "PackageMoveJob.h"
#include "PackageMover.h"
#include "PackageRecovery.h"
#include "PackageSizeEditDialog.h"
#include "PackageTarget.h"
#include "Packager.h"
#include "SettingsFolder.h"
#include "SizeFormat.h"
#include "WidgetFit.h"
#include "XmlExporterSettingsDialog.h"
#include "ui_PackagingDialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QMap>
#include <QMessageBox>
#include <QSettings>
#include <QStyle>
#include <QTextBrowser>
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

// The stores are read once per dialog; a file edited by hand into something
// huge must not stall the dialog, so only this many entries are taken.
const int MaxStoredEntries = 1000;
// The largest size the package size editor accepts: 18 decimal digits.
const qint64 MaxOrderSize = 999999999999999999LL;

// A stored text, or false when the value is missing or not a single text (a
// hand-edited value with an unquoted comma reads back as a list).
bool storedString(const QVariant& value, QString* text)
{
    if (value.type() != QVariant::String)
        return false;
    *text = value.toString();
    return true;
}

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

    const QStringList sorts{QStringLiteral("詰め合わせ"), QStringLiteral("サイズ昇順"), QStringLiteral("サイズ降順"),
                            QStringLiteral("名前昇順"), QStringLiteral("名前降順")};
    for (int i = 0; i < sorts.size(); ++i)
        form->comboBoxSort->addItem(sorts.at(i), i);

    for (const QString& label : qAsConst(labels))
        form->comboBoxLabel->addItem(label);

    setFixedSize(size());
    fitTextsToFont();
    fitPackageColumns();

    connect(form->comboBoxOrder, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &PackagingDialog::setOrderSize);
    connect(form->pushButtonOrderEdit, &QPushButton::clicked, this, &PackagingDialog::triggerPackageOrderEdit);
    connect(form->pushButtonExportConfig, &QPushButton::clicked, this, &PackagingDialog::triggerExportConfigDialog);
    connect(form->pushButtonPack, &QPushButton::clicked, this, &PackagingDialog::triggerPack);
    connect(form->pushButtonMove, &QPushButton::clicked, this, &PackagingDialog::triggerMove);
    connect(form->pushButtonAllCheck, &QPushButton::clicked, this, &PackagingDialog::setCheckedAll);
    connect(form->pushButtonAllUncheck, &QPushButton::clicked, this, &PackagingDialog::setUncheckedAll);
    connect(form->treeWidgetPackage, &QTreeWidget::itemClicked, this, &PackagingDialog::checkPackageCheckState);
    // Escape ends the dialog without a close event; the labels are kept then too.
    connect(this, &QDialog::finished, this, [this] {
        collectLabels();
        saveLabels();
    });

    form->pushButtonExportConfig->hide();
    form->pushButtonOrderEdit->hide();
}

void PackagingDialog::fitPackageColumns()
{
    // The rows have no children, so the tree needs no room for branches. The
    // number column is as narrow as its texts and the two size columns share
    // the rest of the width, also when a scroll bar takes some of it. A size
    // text too wide for its column is drawn as its size alone, without the
    // byte count, and is whole in its tooltip.
    QTreeWidget* tree = form->treeWidgetPackage;
    tree->setRootIsDecorated(false);
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    auto* sizes = new FittedTextDelegate(tree);
    tree->setItemDelegateForColumn(1, sizes);
    tree->setItemDelegateForColumn(2, sizes);
    connect(header, &QHeaderView::sectionResized, this, [this] { updateSizeToolTips(); });
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

void PackagingDialog::updateSizeToolTips()
{
    // A size text that is drawn shortened has its whole text as its tooltip.
    QTreeWidget* tree = form->treeWidgetPackage;
    const QFontMetrics metrics = tree->fontMetrics();
    for (int column = 1; column <= 2; ++column) {
        const int room = itemTextRoom(tree, tree->columnWidth(column));
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = tree->topLevelItem(i);
            const QString text = row->text(column);
            row->setToolTip(column, metrics.horizontalAdvance(text) <= room ? QString() : text);
        }
    }
}

void PackagingDialog::fitTextsToFont()
{
    // The labels before the combo boxes take the room their texts need; the
    // combo boxes then start further right.
    fitLabelColumn({form->label_2, form->label, form->label_3},
                   {form->comboBoxOrder, form->labelOrderSize, form->comboBoxLabel, form->comboBoxSort});
    // The pack button may take the margin to its left, and the note beside
    // it gives what the button still lacks, up to half its width: the note
    // grows taller below for the lines it needs then.
    QPushButton* pack = form->pushButtonPack;
    QTextBrowser* note = form->textBrowser;
    if (pack->sizeHint().width() > pack->width()) {
        const int shift = qBound(0, pack->sizeHint().width() - (note->x() - 4 - 10), note->width() / 2);
        note->setGeometry(note->x() + shift, note->y(), note->width() - shift, note->height());
        pack->move(10, pack->y());
        widenToText(pack, note->x() - 4);
    }
    // The note shows all its lines: where the font needs more lines or taller
    // ones than the form has room for, the note, and the dialog with it, grow
    // by what is missing, and what is below moves down.
    growToDocument(note);
    widenToText(form->pushButtonMove, form->pushButtonAllCheck->x() - 10);
    widenToText(form->checkBoxSave, form->groupBox->width() - 10);
    widenToText(form->checkBoxOpenExplorer, form->groupBox->width() - 10);
}

PackagingDialog::~PackagingDialog()
{
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
    // A missing or unreadable file, or one that is not what this dialog
    // wrote, gives an empty list: nothing is reported.
    if (QSettings* store = settingsStore(OrderStoreName)) {
        const int count = qBound(0, store->beginReadArray(QStringLiteral("orders")), MaxStoredEntries);
        for (int i = 0; i < count; ++i) {
            store->setArrayIndex(i);
            QString name;
            QString sizeText;
            if (!storedString(store->value(QStringLiteral("name")), &name)
                || !storedString(store->value(QStringLiteral("size")), &sizeText))
                continue;
            bool ok = false;
            const qint64 size = sizeText.toLongLong(&ok, 10);
            if (ok && size >= 0 && size <= MaxOrderSize)
                userOrders.append(PackageOrder(size, name));
        }
        store->endArray();
        if (store->status() != QSettings::NoError)
            userOrders.clear();
    }

    if (QSettings* store = settingsStore(LabelStoreName)) {
        const int count = qBound(0, store->beginReadArray(QStringLiteral("labels")), MaxStoredEntries);
        for (int i = 0; i < count; ++i) {
            store->setArrayIndex(i);
            QString label;
            if (storedString(store->value(QStringLiteral("name")), &label) && !label.isEmpty()
                && !labels.contains(label))
                labels.append(label);
        }
        store->endArray();
        if (store->status() != QSettings::NoError)
            labels.clear();
        savedLabels = labels;
    }
}

void PackagingDialog::saveUserOrders()
{
    QSettings* store = settingsStore(OrderStoreName);
    if (!store)
        return;
    store->remove(QStringLiteral("orders"));
    store->beginWriteArray(QStringLiteral("orders"), userOrders.size());
    for (int i = 0; i < userOrders.size(); ++i) {
        store->setArrayIndex(i);
        store->setValue(QStringLiteral("name"), userOrders.at(i).name);
        store->setValue(QStringLiteral("size"), QString::number(userOrders.at(i).size));
    }
    store->endArray();
    store->sync(); // a read-only folder leaves the file as it was, silently
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
    store->remove(QStringLiteral("labels"));
    store->beginWriteArray(QStringLiteral("labels"), labels.size());
    for (int i = 0; i < labels.size(); ++i) {
        store->setArrayIndex(i);
        store->setValue(QStringLiteral("name"), labels.at(i));
    }
    store->endArray();
    store->sync();
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
    if (!root)
        return;
    form->pushButtonPack->setEnabled(false);
    setStatus(QStringLiteral("パッケージ作成中..."));

    const PackageOrder order(form->comboBoxOrder->currentData().toLongLong(), form->comboBoxOrder->currentText());
    if (order.size == 0) {
        // Nothing fits a package of no bytes; the packages shown stay.
        setStatus(QStringLiteral("パッケージサイズが0バイトのため、パッケージを作成しませんでした。"));
        form->pushButtonPack->setEnabled(true);
        return;
    }
    const int sort = form->comboBoxSort->currentData().toInt();

    packages.clear();
    Packager().pack(order, sort, root, packages);

    form->treeWidgetPackage->clear();
    folderNumberBase = -1;
    for (int i = 0; i < packages.size(); ++i) {
        auto* row = new QTreeWidgetItem(form->treeWidgetPackage);
        row->setCheckState(0, Qt::Checked);
        row->setText(0, QString::number(i + 1));
        row->setText(1, formatSize(packages.at(i)->size));
        row->setText(2, formatSize(packages.at(i)->sizeOnDisk));
    }
    // The new rows' widths settle when the tree lays them out; a size text
    // that is cut then gets its tooltip through the header's resize notice,
    // and here when the widths stay as they were.
    updateSizeToolTips();
    packedOrder = order;
    form->groupBoxPackage->setEnabled(!packages.isEmpty());
    setStatus(QStringLiteral("パッケージ作成完了。"));
    form->pushButtonPack->setEnabled(true);
}

// ---------------------------------------------------------------------------
// Check boxes of the package rows

void PackagingDialog::checkPackageCheckState(QTreeWidgetItem* item, qint32 column)
{
    Q_UNUSED(item)
    if (column != 0)
        return;
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
    form->pushButtonMove->setEnabled(checked > 0);
}

void PackagingDialog::setCheckedAll()
{
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = form->treeWidgetPackage->topLevelItem(i);
        if (!row->isDisabled())
            row->setCheckState(0, Qt::Checked);
    }
    form->pushButtonMove->setEnabled(true);
}

void PackagingDialog::setUncheckedAll()
{
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = form->treeWidgetPackage->topLevelItem(i);
        if (!row->isDisabled())
            row->setCheckState(0, Qt::Unchecked);
    }
    form->pushButtonMove->setEnabled(false);
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

// Tells the dialog of each step of a move as the job runs: the status line
// of each package, the listing's progress box, and the moved packages' items
// taken out of the tree between packages.
class PackagingDialog::MoveObserver : public PackageMoveObserver
{
public:
    MoveObserver(PackagingDialog* dialog, MoveOutcome& outcome, const QString& baseFolder)
        : dialog_(dialog), outcome_(outcome), baseFolder_(baseFolder)
    {
    }

    void packageStarted(const PackageMoveResult& result) override
    {
        dialog_->setStatus(PackageListing::movingLine(result.folder));
        dialog_->form->labelStats->repaint();
    }
    void listingStarted(const PackageMoveResult& result) override
    {
        progress_.reset(new ExportAsFileDialog(dialog_));
        progress_->setTarget(result.folder.listingText);
        progress_->show();
    }
    void packageEnded(const PackageMoveResult& result) override
    {
        if (progress_)
            progress_->setProgress(result.listingWritten ? 100.0 : 0.0);
        progress_.reset();
        if (result.moved)
            dialog_->packageMoved(result, outcome_);
        else
            dialog_->packageFailed(result, outcome_, baseFolder_);
    }

private:
    PackagingDialog* dialog_;
    MoveOutcome& outcome_;
    QString baseFolder_;
    std::unique_ptr<ExportAsFileDialog> progress_;
};

void PackagingDialog::triggerMove()
{
    if (!root)
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

    form->groupBoxPackaging->setEnabled(false);
    form->pushButtonMove->setEnabled(false);

    MoveOutcome outcome;
    QString baseFolder;
    if (!runMove(label, outcome, &baseFolder)) {
        // An interrupted move was found and left alone: nothing moved.
        form->groupBoxPackaging->setEnabled(true);
        form->pushButtonMove->setEnabled(true);
        return;
    }
    for (int i : qAsConst(outcome.moved))
        form->treeWidgetPackage->topLevelItem(i)->setDisabled(true);
    finishMove(outcome, baseFolder);
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

// Runs the move job on this thread. False when the base folder holds an
// interrupted move that the user chose not to undo (or that could not be).
bool PackagingDialog::runMove(const QString& label, MoveOutcome& outcome, QString* baseFolder)
{
    PackageMoveRequest request;
    request.root = root;
    request.volumeRoot = volumeRootFor(root);
    request.orderName = packedOrder.name;
    request.label = label;
    for (int i : checkedPackages())
        request.packages << PackageMoveRequest::Chosen{i, packages.at(i)};
    request.listing = form->checkBoxSave->isChecked();
    request.xmlSettings = xmlSettings;
    for (;;) {
        request.numberBase = folderNumberBase;
        PackageMoveJob job(request);
        MoveObserver observer(this, outcome, job.baseFolderText());
        job.setObserver(&observer);
        const PackageMoveJob::Outcome result = job.run();
        *baseFolder = job.baseFolderText();
        if (result == PackageMoveJob::Refused) {
            if (offerRecovery(job))
                continue;
            return false;
        }
        if (result == PackageMoveJob::BaseFailed)
            // Counting from 0 could reuse numbers: nothing moves.
            outcome.failureLines << PackageListing::failedLine(QString(), job.baseFolderText(), job.errorString());
        else
            folderNumberBase = job.numberBase();
        return true;
    }
}

// A move never starts on top of an interrupted one: the user may undo that
// one now. True when it was undone and the move may go on.
bool PackagingDialog::offerRecovery(const PackageMoveJob& job)
{
    const QStringList names = job.interruptedPackages();
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("パッケージの移動"),
        QStringLiteral("前回のパッケージの移動が中断されたままです。\r\n%1\r\n\r\n"
                       "中断された移動を元に戻してから移動しますか？")
            .arg(job.errorString().trimmed()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        setStatus(QStringLiteral("中断された移動が残っているため、移動しませんでした。"));
        return false;
    }
    QString lines;
    bool undone = true;
    for (const QString& name : names) {
        const PackageRecovery::Report report = PackageRecovery::undo(job.baseFolder().child(name));
        undone = undone && report.undone();
        lines += PackageRecovery::reportLines(report);
    }
    setStatus(lines.trimmed());
    if (!undone)
        QMessageBox::warning(this, QStringLiteral("パッケージの移動"),
                             QStringLiteral("中断された移動を元に戻せませんでした。\r\n\r\n") + lines, QMessageBox::Ok);
    return undone;
}

void PackagingDialog::packageFailed(const PackageMoveResult& result, MoveOutcome& outcome,
                                    const QString& baseFolder)
{
    // A number out of range has no folder: the number it would have had.
    const bool numbered = result.folder.number > 0;
    const QString number = numbered ? QString::number(result.folder.number)
                                    : QString::number(qint64(folderNumberBase) + result.index + 1);
    const QString line = PackageListing::failedLine(number, numbered ? result.folder.text : baseFolder,
                                                    result.error);
    setStatus(line);
    outcome.failedNumbers << number;
    outcome.failureLines << line;
    outcome.leftItemsBehind = outcome.leftItemsBehind || result.leftItemsBehind;
}

void PackagingDialog::packageMoved(const PackageMoveResult& result, MoveOutcome& outcome)
{
    root->remove(packages.at(result.index));
    outcome.moved.append(result.index);
    setStatus(PackageListing::movedLine(result.folder));
    if (result.listingTried)
        reportListing(result);
}

void PackagingDialog::finishMove(const MoveOutcome& outcome, const QString& baseFolder)
{
    if (!outcome.failureLines.isEmpty())
        reportFailures(outcome);

    bool allDone = true;
    for (int i = 0; i < form->treeWidgetPackage->topLevelItemCount() && allDone; ++i)
        allDone = form->treeWidgetPackage->topLevelItem(i)->isDisabled();
    if (allDone) {
        QMessageBox::information(this, QStringLiteral("報告"), QStringLiteral("全て完了しました。"), QMessageBox::Ok);
        close();
    }

    if (form->checkBoxOpenExplorer->isChecked()) {
        // Cleaned, so that the doubled separators of the text (after a drive
        // root, or of an empty label) do not reach the file browser.
        const QUrl url = QUrl::fromLocalFile(QDir::cleanPath(QDir::fromNativeSeparators(baseFolder)));
        if (urlOpener())
            urlOpener()(url);
        else
            QDesktopServices::openUrl(url);
    }
}

void PackagingDialog::reportFailures(const MoveOutcome& outcome)
{
    // The status label shows one package at a time, so a failure followed by
    // a success would vanish from it: the move ends on a summary, and a box
    // holds every failure line.
    QString summary = outcome.failedNumbers.isEmpty()
                          ? QStringLiteral("パッケージの移動に失敗しました。")
                          : QStringLiteral("パッケージ%1の移動に失敗しました。")
                                .arg(outcome.failedNumbers.join(QStringLiteral("、")));
    if (outcome.leftItemsBehind)
        summary += QStringLiteral("\r\n元の場所へ戻せなかった項目がパッケージフォルダに残っています。"
                                  "項目名は「Move back failed」の行にあります。");
    setStatus(summary);
    QMessageBox::warning(this, QStringLiteral("パッケージの移動"),
                         summary + QStringLiteral("\r\n\r\n") + outcome.failureLines.join(QStringLiteral("\r\n")),
                         QMessageBox::Ok);
}

void PackagingDialog::reportListing(const PackageMoveResult& result)
{
    // Reported once the event loop runs again, so that the reports follow the
    // last package's line in the status, in the order they were written.
    const QString path = result.folder.listingText;
    const bool written = result.listingWritten;
    const QString errorString = result.listingError;
    QMetaObject::invokeMethod(
        this, [this, written, path, errorString] { onExportFinished(written, path, errorString); },
        Qt::QueuedConnection);
}

void PackagingDialog::onExportFinished(bool isSucceeded, const QString& path, const QString& errorString)
{
    const QString report = PackageListing::savedReport(path, isSucceeded, errorString);
    if (!isSucceeded)
        QMessageBox::information(this, QStringLiteral("エクスポートの報告"), report, QMessageBox::Ok);
    setStatus(form->labelStats->text() + report);
}

void PackagingDialog::closeEvent(QCloseEvent* event)
{
    collectLabels();
    saveLabels();
    QDialog::closeEvent(event);
}

} // namespace korvo
