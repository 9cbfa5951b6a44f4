#include "GuiDriver.h"
#include "GuiSupport.h"
#include "MainWindow.h"
#include "MainWindowSupport.h"
#include "PackagingDialog.h"
#include "PackagingFixture.h"
#include "SizeFormat.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace korvo;
using namespace korvo::test;

// From the drop on the main window to the lowered figures after a move.
class PackagingFlowTest : public QObject
{
    Q_OBJECT

private slots:
    void dropPackMoveCloseShowsTheLoweredTotals()
    {
        PackagingFixture fixture;
        if (!fixture.isValid())
            QSKIP(qPrintable(fixture.error));
        const qint64 C = fixture.cluster;
        const ScopedSettingsFile settings(fixture.dir);

        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(dropAndWait(window, fixture.scan));
        QVERIFY(packagingAction(window)->isEnabled());
        const QString location = propertyValue(window, 0);
        const QString status = statusText(window);
        QCOMPARE(propertyValue(window, 3), QStringLiteral("ファイル数：6 フォルダ数：1"));

        // In the dialog: pack by name with "T4" (#1 Delta, #2 alpha and beta,
        // #3 gamma), move #1 and #2, turn the tree section of the listing
        // settings on, and close the dialog by its title bar.
        bool handled = false;
        whenModal("korvo::PackagingDialog", [&](QWidget* modal) {
            handled = true;
            // Closed on every way out, so that a failed check cannot leave
            // the test waiting in the modal run.
            const QScopeGuard close([modal] { modal->close(); });
            auto* dialog = qobject_cast<PackagingDialog*>(modal);
            QVERIFY(dialog);
            QCOMPARE(dialog->parentWidget(), &window);
            auto* orders = dialog->findChild<QComboBox*>(QStringLiteral("comboBoxOrder"));
            orders->setCurrentIndex(orders->findText(QStringLiteral("T4")));
            dialog->findChild<QComboBox*>(QStringLiteral("comboBoxSort"))->setCurrentIndex(3);
            QSignalSpy packed(dialog, &PackagingDialog::packFinished);
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("pushButtonPack")), Qt::LeftButton);
            QVERIFY(packed.wait(60000));
            auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("treeWidgetPackage"));
            QCOMPARE(tree->topLevelItemCount(), 3 + 1); // and the row of huge.bin, left out
            clickCheckBox(tree, tree->topLevelItem(2));
            QSignalSpy moved(dialog, &PackagingDialog::moveFinished);
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("pushButtonMove")), Qt::LeftButton);
            QVERIFY(moved.wait(60000));
            QVERIFY(tree->topLevelItem(1)->isDisabled());

            whenModal("korvo::XmlExporterSettingsDialog", [](QWidget* editor) {
                auto* output = editor->findChild<QCheckBox*>(QStringLiteral("checkBoxOutput"));
                QTest::mouseClick(output, Qt::LeftButton, Qt::NoModifier, QPoint(6, output->height() / 2));
                QTest::mouseClick(editor->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
            });
            dialog->triggerExportConfigDialog();
        });
        QVERIFY(!window.xmlExporterSettings().output[Tree]);
        packagingAction(window)->trigger();
        QVERIFY(handled);

        QVERIFY(QFileInfo(fixture.packageFolder(QString(), 2) + QStringLiteral("alpha.bin")).isFile());
        // Left: gamma.dat (2C) and huge.bin (5C).
        QCOMPARE(propertyValue(window, 1), formatSize(7 * C));
        QCOMPARE(propertyValue(window, 2), formatSize(7 * C));
        QCOMPARE(propertyValue(window, 3), QStringLiteral("ファイル数：2 フォルダ数：0"));
        QCOMPARE(propertyValue(window, 0), location);
        QCOMPARE(statusText(window), status);
        QVERIFY(window.xmlExporterSettings().output[Tree]);
        QVERIFY(window.findChildren<PackagingDialog*>().isEmpty());
    }
};

QTEST_MAIN(PackagingFlowTest)
#include "tst_packagingflow.moc"
