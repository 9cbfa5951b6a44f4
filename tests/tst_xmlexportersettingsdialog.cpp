#include "XmlExporterSettingsDialog.h"
#include "GuiDriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

using namespace korvo;
using korvo::test::child;

namespace {

QStringList checkedBoxes(QWidget* page)
{
    QStringList names;
    for (QCheckBox* box : page->findChildren<QCheckBox*>()) {
        if (box->isChecked())
            names << box->objectName();
    }
    names.sort();
    return names;
}

} // namespace

class XmlExporterSettingsDialogTest : public QObject
{
    Q_OBJECT

    static void click(QAbstractButton* button)
    {
        // A page just brought to the front lays its boxes out on the next
        // round of the event loop.
        QCoreApplication::processEvents();
        // Check boxes answer clicks on their indicator and text only, which
        // sit at their left end.
        const QPoint pos = qobject_cast<QCheckBox*>(button) ? QPoint(6, button->height() / 2)
                                                            : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, pos);
    }

private slots:
    void opensOnTheTreeMode()
    {
        XmlExporterSettingsDialog dialog;
        dialog.setSettings(XmlExporterSettings());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QCOMPARE(dialog.objectName(), QStringLiteral("XmlExporterSettingsDialog"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("XMLエクスポート設定"));
        QCOMPARE(dialog.size(), QSize(409, 498));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());

        auto* combo = child<QComboBox>(&dialog, "comboBoxMode");
        QCOMPARE(combo->count(), 4);
        const QStringList names{QStringLiteral("ツリー"), QStringLiteral("フォルダリスト"),
                                QStringLiteral("ファイルリスト"), QStringLiteral("トップレベルアイテムリスト")};
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(combo->itemText(i), names.at(i));
            QVERIFY(!combo->itemData(i).isValid());
        }
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(XmlExporterSettingsDialog::modeDisplayName(4), QString());

        auto* tabs = child<QTabWidget>(&dialog, "tabWidget");
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("汎用"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("ファイル"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("ディレクトリ"));
        QVERIFY(child<QWidget>(&dialog, "tabFile")->isEnabled());
        QVERIFY(child<QWidget>(&dialog, "tabDirectory")->isEnabled());

        // The tree mode writes everything, as attributes: every box checked.
        QVERIFY(child<QCheckBox>(&dialog, "checkBoxOutput")->isChecked());
        QCOMPARE(checkedBoxes(child<QWidget>(&dialog, "tabFile")).size(), 7);
        QCOMPARE(checkedBoxes(child<QWidget>(&dialog, "tabDirectory")).size(), 12);
        QVERIFY(child<QCheckBox>(&dialog, "checkBoxAttribute")->isChecked());
    }

    void switchingModesKeepsEachModesEdits()
    {
        XmlExporterSettingsDialog dialog;
        dialog.setSettings(XmlExporterSettings());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* combo = child<QComboBox>(&dialog, "comboBoxMode");
        auto* fileSize = child<QCheckBox>(&dialog, "checkBoxFileSize");
        auto* tabFile = child<QWidget>(&dialog, "tabFile");
        auto* tabDirectory = child<QWidget>(&dialog, "tabDirectory");

        child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(1);
        click(fileSize);
        QVERIFY(!fileSize->isChecked());

        // The file list's defaults: name, path and suffix; no directory page.
        combo->setCurrentIndex(FileList);
        QVERIFY(child<QCheckBox>(&dialog, "checkBoxOutput")->isChecked());
        QCOMPARE(checkedBoxes(tabFile),
                 QStringList({QStringLiteral("checkBoxFilePath"), QStringLiteral("checkBoxFileSuffix")}));
        QVERIFY(tabFile->isEnabled());
        QVERIFY(!tabDirectory->isEnabled());

        // The folder list's defaults: no output, path only, no file page. Its
        // file boxes are greyed out and ignore clicks.
        combo->setCurrentIndex(DirectoryList);
        QVERIFY(!child<QCheckBox>(&dialog, "checkBoxOutput")->isChecked());
        QCOMPARE(checkedBoxes(tabDirectory), QStringList({QStringLiteral("checkBoxDirPath")}));
        QVERIFY(!tabFile->isEnabled());
        QVERIFY(tabDirectory->isEnabled());
        QVERIFY(!fileSize->isEnabled());
        click(fileSize);
        QVERIFY(!fileSize->isChecked());

        combo->setCurrentIndex(Tree);
        QVERIFY(!fileSize->isChecked());
        QVERIFY(tabFile->isEnabled());
        QVERIFY(tabDirectory->isEnabled());
        QCOMPARE(checkedBoxes(tabFile).size(), 6);

        click(child<QPushButton>(&dialog, "okButton"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const XmlExporterSettings settings = dialog.settings();
        QCOMPARE(quint32(settings.options[Tree]), quint32(OmitFileSize));
        const XmlExporterSettings defaults;
        for (int mode = DirectoryList; mode < XmlExportModeCount; ++mode) {
            QCOMPARE(quint32(settings.options[mode]), quint32(defaults.options[mode]));
            QCOMPARE(settings.output[mode], defaults.output[mode]);
        }
    }

    void okStoresTheModeOnScreen()
    {
        XmlExporterSettings given;
        given.autoFormattingIndent = 7;
        given.output[TopLevelItemList] = false;
        // A bit no box controls does not survive a store.
        given.options[TopLevelItemList] |= XmlOutputOptions(0x2);

        XmlExporterSettingsDialog dialog;
        dialog.setSettings(given);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        child<QComboBox>(&dialog, "comboBoxMode")->setCurrentIndex(TopLevelItemList);
        child<QTabWidget>(&dialog, "tabWidget")->setCurrentIndex(0);
        click(child<QCheckBox>(&dialog, "checkBoxAttribute"));
        click(child<QCheckBox>(&dialog, "checkBoxOutput"));
        click(child<QPushButton>(&dialog, "okButton"));

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const XmlExporterSettings settings = dialog.settings();
        QCOMPARE(settings.autoFormattingIndent, 7);
        QVERIFY(settings.output[TopLevelItemList]);
        QCOMPARE(quint32(settings.options[TopLevelItemList]), quint32(0xFFC0F000u | AsElements));
        QCOMPARE(quint32(settings.options[Tree]), 0u);
    }

    void cancelIsRejected()
    {
        XmlExporterSettingsDialog dialog;
        dialog.setSettings(XmlExporterSettings());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        click(child<QCheckBox>(&dialog, "checkBoxOutput"));
        click(child<QPushButton>(&dialog, "cancelButton"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(XmlExporterSettingsDialogTest)
#include "tst_xmlexportersettingsdialog.moc"
