#include "XmlExporterSettingsDialog.h"

#include "WidgetFit.h"
#include "ui_XmlExporterSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPair>
#include <QVector>

namespace korvo {

namespace {

bool isMode(int mode)
{
    return mode >= 0 && mode < XmlExportModeCount;
}

// Each option check box with the bit it controls. A box is checked exactly
// when its bit is clear: checked means "write this field" (or, for the first
// box, "write fields as attributes").
QVector<QPair<QCheckBox*, XmlOutputOption>> optionBoxes(Ui::XmlExporterSettingsDialog* form)
{
    return {
        {form->checkBoxAttribute, AsElements},
        {form->checkBoxFilePath, OmitFilePath},
        {form->checkBoxFileSize, OmitFileSize},
        {form->checkBoxFileSizeOnDisk, OmitFileSizeOnDisk},
        {form->checkBoxFileCreated, OmitFileCreated},
        {form->checkBoxFileLastModified, OmitFileLastModified},
        {form->checkBoxFileLastRead, OmitFileLastRead},
        {form->checkBoxFileSuffix, OmitFileSuffix},
        {form->checkBoxDirPath, OmitDirPath},
        {form->checkBoxDirSize, OmitDirSize},
        {form->checkBoxDirSizeOnDisk, OmitDirSizeOnDisk},
        {form->checkBoxDirFileCount, OmitDirFileCount},
        {form->checkBoxDirSubdirCount, OmitDirSubdirCount},
        {form->checkBoxDirCreated, OmitDirCreated},
        {form->checkBoxDirLastModified, OmitDirLastModified},
        {form->checkBoxDirLastRead, OmitDirLastRead},
        {form->checkBoxDirTotalSize, OmitDirTotalSize},
        {form->checkBoxDirTotalSizeOnDisk, OmitDirTotalSizeOnDisk},
        {form->checkBoxDirTotalFileCount, OmitDirTotalFileCount},
        {form->checkBoxDirTotalSubdirCount, OmitDirTotalSubdirCount},
    };
}

} // namespace

XmlExporterSettingsDialog::XmlExporterSettingsDialog(QWidget* parent)
    : QDialog(parent), form(new Ui::XmlExporterSettingsDialog)
{
    form->setupUi(this);
    setFixedSize(size());
    widenToText(form->checkBoxOutput, form->groupBoxOptions->width() - 10);
}

XmlExporterSettingsDialog::~XmlExporterSettingsDialog()
{
    delete form;
}

QString XmlExporterSettingsDialog::modeDisplayName(int mode)
{
    switch (mode) {
    case Tree:
        return QStringLiteral("ツリー");
    case DirectoryList:
        return QStringLiteral("フォルダリスト");
    case FileList:
        return QStringLiteral("ファイルリスト");
    case TopLevelItemList:
        return QStringLiteral("トップレベルアイテムリスト");
    default:
        return QString();
    }
}

void XmlExporterSettingsDialog::setSettings(const XmlExporterSettings& settings)
{
    settings_ = settings;
    for (int mode = 0; mode < XmlExportModeCount; ++mode)
        form->comboBoxMode->addItem(modeDisplayName(mode));
    connect(form->comboBoxMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &XmlExporterSettingsDialog::updateModeSettings);
    currentMode = Tree;
    showModeSettings(Tree);
    form->tabFile->setEnabled(true);
    form->tabDirectory->setEnabled(true);
}

XmlExporterSettings XmlExporterSettingsDialog::settings() const
{
    return settings_;
}

void XmlExporterSettingsDialog::updateModeSettings(qint32 index)
{
    if (!isMode(index))
        return;
    storeModeSettings(currentMode);
    currentMode = index;
    showModeSettings(index);
}

void XmlExporterSettingsDialog::accept()
{
    updateModeSettings(form->comboBoxMode->currentIndex());
    QDialog::accept();
}

void XmlExporterSettingsDialog::showModeSettings(int mode)
{
    if (!isMode(mode))
        return;
    form->checkBoxOutput->setChecked(settings_.output[mode]);
    const XmlOutputOptions options = settings_.options[mode];
    for (const auto& box : optionBoxes(form))
        box.first->setChecked(!options.testFlag(box.second));

    // The file page means nothing to the folder list, the directory page
    // nothing to the file list; the tabs themselves stay selectable.
    form->tabFile->setEnabled(mode != DirectoryList);
    form->tabDirectory->setEnabled(mode != FileList);
}

void XmlExporterSettingsDialog::storeModeSettings(int mode)
{
    if (!isMode(mode))
        return;
    settings_.output[mode] = form->checkBoxOutput->isChecked();
    XmlOutputOptions options;
    for (const auto& box : optionBoxes(form)) {
        if (!box.first->isChecked())
            options |= box.second;
    }
    settings_.options[mode] = options;
}

} // namespace korvo
