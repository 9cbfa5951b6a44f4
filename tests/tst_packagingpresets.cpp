#include "GuiDriver.h"
#include "GuiSupport.h"
#include "PackageSizeEditDialog.h"
#include "PackagingDialog.h"
#include "PackagingFixture.h"
#include "TestSupport.h"
#include "XmlExporterSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace korvo;
using namespace korvo::test;

namespace {

QStringList itemTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

QStringList userOrderNames(QWidget* dialog)
{
    return itemTexts(child<QComboBox>(dialog, "comboBoxOrder")).mid(builtInPackageOrders().size());
}

void retype(QLineEdit* edit, const QString& text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    edit->home(false);
    QTest::keyClicks(edit, text);
}

void typeLabel(QWidget* dialog, const QString& label)
{
    QLineEdit* edit = child<QComboBox>(dialog, "comboBoxLabel")->lineEdit();
    retype(edit, label);
    QTest::keyClick(edit, Qt::Key_Return);
}

} // namespace

class PackagingPresetsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PackagingFixture> fixture;
    QString orderFile;
    QString labelFile;

    // Runs the "編集" button's slot with the editor driven by `drive`.
    static void editOrders(PackagingDialog& dialog, const std::function<void(QWidget*)>& drive)
    {
        bool driven = false;
        whenModal("korvo::PackageSizeEditDialog", [&](QWidget* editor) {
            driven = true;
            drive(editor);
        });
        dialog.triggerPackageOrderEdit();
        QVERIFY(driven);
    }

private slots:
    void init()
    {
        fixture.reset(new PackagingFixture);
        if (!fixture->isValid())
            QSKIP(qPrintable(fixture->error));
        orderFile = fixture->data + QStringLiteral("/UserPackageOrderSettings.ini");
        labelFile = fixture->data + QStringLiteral("/UserPackageLabelSettings.ini");
    }
    void cleanup() { fixture.reset(); }

    // The preset list: the five first orders as they were, then the four
    // disc sizes, then the user's own; the editor opens from its button.
    void presetsAndTheEditButton()
    {
        const QList<PackageOrder> expected{
            {700000000, QStringLiteral("CD")},           {500000000, QStringLiteral("PACK_500MB")},
            {400000000, QStringLiteral("PACK_400MB")},   {300000000, QStringLiteral("PACK_200MB")},
            {200000000, QStringLiteral("PACK_100MB")},   {4700372992, QStringLiteral("DVD")},
            {8543666176, QStringLiteral("DVD_DL")},      {25025314816, QStringLiteral("BD")},
            {50050629632, QStringLiteral("BD_DL")}};
        PackagingDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* orders = child<QComboBox>(&dialog, "comboBoxOrder");
        QCOMPARE(orders->count(), expected.size() + 1);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(orders->itemText(i), expected.at(i).name);
            QCOMPARE(orders->itemData(i).toLongLong(), expected.at(i).size);
        }
        QCOMPARE(userOrderNames(&dialog), QStringList{QStringLiteral("T4")});
        orders->setCurrentIndex(7);
        QCOMPARE(child<QLabel>(&dialog, "labelOrderSize")->text(), QStringLiteral("23.31 GiB (25,025,314,816 バイト)"));

        auto* edit = child<QPushButton>(&dialog, "pushButtonOrderEdit");
        QVERIFY(edit->isVisible());
        QVERIFY(edit->width() >= edit->sizeHint().width() || edit->fontMetrics().horizontalAdvance(edit->text()) < edit->width());
        bool opened = false;
        whenModal("korvo::PackageSizeEditDialog", [&](QWidget* editor) {
            opened = true;
            QTest::mouseClick(child<QPushButton>(editor, "cancelButton"), Qt::LeftButton);
        });
        QTest::mouseClick(edit, Qt::LeftButton);
        QVERIFY(opened);
    }

    void acceptedEditorReplacesAndKeepsTheOrders()
    {
        {
            PackagingDialog dialog;
            child<QComboBox>(&dialog, "comboBoxOrder")->setCurrentIndex(9);
            editOrders(dialog, [](QWidget* editor) {
                QTest::mouseClick(child<QPushButton>(editor, "pushButtonItemAdd"), Qt::LeftButton);
                auto* list = child<QListWidget>(editor, "listWidget");
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  list->visualItemRect(list->item(1)).center());
                retype(child<QLineEdit>(editor, "lineEditName"), QStringLiteral("DVD"));
                retype(child<QLineEdit>(editor, "lineEditSize"), QStringLiteral("4700000000"));
                QTest::mouseClick(child<QPushButton>(editor, "okButton"), Qt::LeftButton);
            });
            QCOMPARE(userOrderNames(&dialog), QStringList({QStringLiteral("T4"), QStringLiteral("DVD")}));
            QCOMPARE(child<QComboBox>(&dialog, "comboBoxOrder")->currentIndex(), 0);
        }

        // The next dialog starts with them.
        PackagingDialog dialog;
        QCOMPARE(userOrderNames(&dialog), QStringList({QStringLiteral("T4"), QStringLiteral("DVD")}));
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOrder")->itemData(10).toLongLong(), qint64(4700000000));
    }

    void cancelledEditorChangesNothing()
    {
        const QByteArray before = readAll(orderFile);
        PackagingDialog dialog;
        child<QComboBox>(&dialog, "comboBoxOrder")->setCurrentIndex(9);
        editOrders(dialog, [](QWidget* editor) {
            QTest::mouseClick(child<QPushButton>(editor, "pushButtonItemAdd"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(editor, "cancelButton"), Qt::LeftButton);
        });
        QCOMPARE(userOrderNames(&dialog), QStringList({QStringLiteral("T4")}));
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOrder")->currentIndex(), 9);
        QCOMPARE(readAll(orderFile), before);
    }

    void labelsAreKeptWhenTheDialogCloses()
    {
        {
            PackagingDialog dialog;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(child<QComboBox>(&dialog, "comboBoxLabel")->count(), 0);
            typeLabel(&dialog, QStringLiteral("photos"));
            typeLabel(&dialog, QStringLiteral("music"));
            QVERIFY(dialog.close());
        }
        QVERIFY(QFileInfo(labelFile).isFile());
        {
            PackagingDialog dialog;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            auto* labels = child<QComboBox>(&dialog, "comboBoxLabel");
            QCOMPARE(itemTexts(labels), QStringList({QStringLiteral("photos"), QStringLiteral("music")}));
            // Escape ends the dialog too; its labels are kept as well.
            typeLabel(&dialog, QStringLiteral("backup"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
        }
        PackagingDialog dialog;
        QCOMPARE(itemTexts(child<QComboBox>(&dialog, "comboBoxLabel")),
                 QStringList({QStringLiteral("photos"), QStringLiteral("music"), QStringLiteral("backup")}));
    }

    void unusableStoresStartEmptyAndSayNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing folder") << QStringLiteral("missing");
        QTest::newRow("folder is a file") << QStringLiteral("file");
        QTest::newRow("stores are folders") << QStringLiteral("folders");
        QTest::newRow("malformed") << QStringLiteral("malformed");
        QTest::newRow("bad values") << QStringLiteral("values");
    }
    void unusableStoresStartEmptyAndSayNothing()
    {
        QFETCH(QString, kind);
        QString data = fixture->data;
        if (kind == QLatin1String("missing")) {
            data = fixture->path(QStringLiteral("nowhere/data"));
        } else if (kind == QLatin1String("file")) {
            // Nothing can be written below a file, not even with root's rights.
            data = fixture->path(QStringLiteral("plain"));
            QVERIFY(writeFile(data, QByteArray("not a folder")));
        } else if (kind == QLatin1String("folders")) {
            QVERIFY(QFile::remove(orderFile));
            QVERIFY(makeFolder(orderFile));
            QVERIFY(makeFolder(labelFile));
        } else if (kind == QLatin1String("malformed")) {
            QVERIFY(writeFile(orderFile, QByteArray("\x01\xff[orders\n1\\name=x\n1\\size=5\nsize=1\n")));
            QVERIFY(writeFile(labelFile, QByteArray("[labels\n1\\name=x\nsize=1\n")));
        } else {
            // Well-formed, but only one entry makes sense; the count is absurd.
            QVERIFY(writeFile(orderFile, QByteArray("[orders]\nsize=1000000000\n1\\name=bad\n1\\size=abc\n"
                                                    "2\\name=neg\n2\\size=-5\n3\\name=big\n"
                                                    "3\\size=9999999999999999999\n4\\name=a, b\n4\\size=5\n"
                                                    "5\\name=good\n5\\size=123\n")));
            QVERIFY(writeFile(labelFile, QByteArray("[labels]\nsize=-3\n1\\name=x\n")));
        }
        PackagingDialog::setDataFolder(data);

        MessageBoxCloser boxes;
        QElapsedTimer clock;
        clock.start();
        {
            PackagingDialog dialog;
            QVERIFY(clock.elapsed() < 5000);
            const QStringList expected =
                kind == QLatin1String("values") ? QStringList({QStringLiteral("good")}) : QStringList();
            QCOMPARE(userOrderNames(&dialog), expected);
            QCOMPARE(child<QComboBox>(&dialog, "comboBoxLabel")->count(), 0);

            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            editOrders(dialog, [](QWidget* editor) {
                QTest::mouseClick(child<QPushButton>(editor, "pushButtonItemAdd"), Qt::LeftButton);
                QTest::mouseClick(child<QPushButton>(editor, "okButton"), Qt::LeftButton);
            });
            QCOMPARE(userOrderNames(&dialog), expected + QStringList({QStringLiteral("新規1")}));
            typeLabel(&dialog, QStringLiteral("L"));
            QVERIFY(dialog.close());
        }
        QTest::qWait(50);
        QVERIFY(boxes.seen.isEmpty());
        if (kind == QLatin1String("file"))
            QCOMPARE(readAll(data), QByteArray("not a folder"));
        if (kind == QLatin1String("missing")) {
            // Saving makes the folder, so the new order is there next time.
            PackagingDialog next;
            QCOMPARE(userOrderNames(&next), QStringList({QStringLiteral("新規1")}));
            QCOMPARE(itemTexts(child<QComboBox>(&next, "comboBoxLabel")), QStringList({QStringLiteral("L")}));
        }
    }

    void exportSettingsSlot()
    {
        PackagingDialog dialog;
        dialog.xmlSettings.output[Tree] = true;

        whenModal("korvo::XmlExporterSettingsDialog", [](QWidget* settings) {
            auto* box = child<QCheckBox>(settings, "checkBoxOutput");
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
            QTest::mouseClick(child<QPushButton>(settings, "cancelButton"), Qt::LeftButton);
        });
        dialog.triggerExportConfigDialog();
        QVERIFY(dialog.xmlSettings.output[Tree]);

        whenModal("korvo::XmlExporterSettingsDialog", [](QWidget* settings) {
            auto* box = child<QCheckBox>(settings, "checkBoxOutput");
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
            QTest::mouseClick(child<QPushButton>(settings, "okButton"), Qt::LeftButton);
        });
        dialog.triggerExportConfigDialog();
        QVERIFY(!dialog.xmlSettings.output[Tree]);
        QCOMPARE(dialog.xmlSettings.output[TopLevelItemList], XmlExporterSettings().output[TopLevelItemList]);
    }
};

QTEST_MAIN(PackagingPresetsTest)
#include "tst_packagingpresets.moc"
