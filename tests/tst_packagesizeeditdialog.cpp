#include "PackageSizeEditDialog.h"
#include "GuiDriver.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace korvo;
using korvo::test::child;

class PackageSizeEditDialogTest : public QObject
{
    Q_OBJECT

    static QStringList names(QListWidget* list)
    {
        QStringList result;
        for (int row = 0; row < list->count(); ++row)
            result << list->item(row)->text();
        return result;
    }

    static void clickEntry(QListWidget* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualItemRect(list->item(row)).center());
    }

    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        edit->home(false);
        QTest::keyClicks(edit, text);
    }

    static void add(QWidget* dialog) { QTest::mouseClick(child<QPushButton>(dialog, "pushButtonItemAdd"), Qt::LeftButton); }

    static void shown(PackageSizeEditDialog& dialog, const QList<PackageOrder>& orders)
    {
        dialog.setOrders(orders);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }

private slots:
    void startsEmpty()
    {
        PackageSizeEditDialog dialog;
        shown(dialog, {});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("パッケージサイズ編集"));
        QCOMPARE(dialog.size(), QSize(478, 429));
        QCOMPARE(child<QListWidget>(&dialog, "listWidget")->count(), 0);
        QVERIFY(!child<QGroupBox>(&dialog, "groupBoxProperty")->isEnabled());
        QVERIFY(!child<QPushButton>(&dialog, "pushButtonItemRemove")->isEnabled());
        QCOMPARE(child<QLabel>(&dialog, "labelSizeFormat")->text(), QStringLiteral("0 バイト"));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditName")->maxLength(), 16);
    }

    void addNamesNewEntriesAfterTheLargestNumber_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("added");
        QTest::newRow("empty") << QStringList() << QStringLiteral("新規1");
        QTest::newRow("bare and 1") << QStringList({QStringLiteral("新規"), QStringLiteral("新規1")})
                                    << QStringLiteral("新規2");
        QTest::newRow("3 and 10") << QStringList({QStringLiteral("新規3"), QStringLiteral("新規10")})
                                  << QStringLiteral("新規11");
        QTest::newRow("inside a name") << QStringList({QStringLiteral("A新規7B"), QStringLiteral("DVD")})
                                       << QStringLiteral("新規8");
        QTest::newRow("out of range") << QStringList({QStringLiteral("新規99999999999")}) << QStringLiteral("新規1");
    }
    void addNamesNewEntriesAfterTheLargestNumber()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, added);
        QList<PackageOrder> orders;
        for (const QString& name : existing)
            orders << PackageOrder(1000, name);
        PackageSizeEditDialog dialog;
        shown(dialog, orders);
        auto* list = child<QListWidget>(&dialog, "listWidget");
        add(&dialog);
        QCOMPARE(list->count(), existing.size() + 1);
        QListWidgetItem* item = list->item(list->count() - 1);
        QCOMPARE(item->text(), added);
        QCOMPARE(item->data(PackageSizeEditDialog::SizeRole), QVariant::fromValue<qint64>(0));
        QVERIFY(item->isSelected());
    }

    void addingAndRemovingEntries()
    {
        PackageSizeEditDialog dialog;
        shown(dialog, {});
        auto* list = child<QListWidget>(&dialog, "listWidget");
        auto* remove = child<QPushButton>(&dialog, "pushButtonItemRemove");
        auto* property = child<QGroupBox>(&dialog, "groupBoxProperty");

        add(&dialog);
        add(&dialog);
        add(&dialog);
        QCOMPARE(names(list), QStringList({QStringLiteral("新規1"), QStringLiteral("新規2"), QStringLiteral("新規3")}));
        // A new entry is selected but does not become the current one.
        QVERIFY(!list->currentItem());
        QVERIFY(!property->isEnabled());

        clickEntry(list, 2);
        QVERIFY(property->isEnabled());
        QVERIFY(remove->isEnabled());
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditName")->text(), QStringLiteral("新規3"));
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(names(list), QStringList({QStringLiteral("新規1"), QStringLiteral("新規2")}));
        add(&dialog);
        QCOMPARE(list->item(2)->text(), QStringLiteral("新規3"));

        // Removing never renames the others; emptying the list disables the
        // property fields and the remove button again.
        while (list->count() > 0) {
            clickEntry(list, 0);
            QTest::mouseClick(remove, Qt::LeftButton);
        }
        QVERIFY(!remove->isEnabled());
        QVERIFY(!property->isEnabled());
    }

    void editingTheCurrentEntry()
    {
        PackageSizeEditDialog dialog;
        shown(dialog, {PackageOrder(1536, QStringLiteral("DVD")), PackageOrder(2048, QStringLiteral("BD"))});
        auto* list = child<QListWidget>(&dialog, "listWidget");
        auto* name = child<QLineEdit>(&dialog, "lineEditName");
        auto* size = child<QLineEdit>(&dialog, "lineEditSize");
        auto* label = child<QLabel>(&dialog, "labelSizeFormat");

        clickEntry(list, 0);
        QCOMPARE(name->text(), QStringLiteral("DVD"));
        QCOMPARE(size->text(), QStringLiteral("1536"));
        QCOMPARE(label->text(), QStringLiteral("1.50 KiB (1,536 バイト)"));

        retype(size, QStringLiteral("1048576"));
        QCOMPARE(label->text(), QStringLiteral("1.00 MiB (1,048,576 バイト)"));
        // The size field takes digits only, at most 18 of them.
        retype(size, QStringLiteral("12a3456789012345678901"));
        QCOMPARE(size->text(), QStringLiteral("123456789012345678"));
        retype(size, QStringLiteral("4096"));

        // A name another entry has is refused when leaving the entry, while
        // the typed size is kept.
        retype(name, QStringLiteral("BD"));
        clickEntry(list, 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("DVD"));
        QCOMPARE(list->item(0)->data(PackageSizeEditDialog::SizeRole).toLongLong(), qint64(4096));
        QCOMPARE(name->text(), QStringLiteral("BD"));

        // A fresh name is taken; an empty size field counts as 0.
        retype(name, QStringLiteral("Blu-ray"));
        retype(size, QString());
        QCOMPARE(label->text(), QStringLiteral("0.00 B (0 バイト)"));
        clickEntry(list, 0);
        QCOMPARE(list->item(1)->text(), QStringLiteral("Blu-ray"));
        QCOMPARE(list->item(1)->data(PackageSizeEditDialog::SizeRole).toLongLong(), qint64(0));
    }

    void okCommitsTheCurrentEntryWithoutTheNameCheck()
    {
        PackageSizeEditDialog dialog;
        shown(dialog, {PackageOrder(1, QStringLiteral("A")), PackageOrder(2, QStringLiteral("B"))});
        auto* list = child<QListWidget>(&dialog, "listWidget");
        clickEntry(list, 1);
        retype(child<QLineEdit>(&dialog, "lineEditName"), QStringLiteral("A"));
        retype(child<QLineEdit>(&dialog, "lineEditSize"), QStringLiteral("999999999999999999"));
        add(&dialog);
        QTest::mouseClick(child<QPushButton>(&dialog, "okButton"), Qt::LeftButton);

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const QList<PackageOrder> expected{PackageOrder(1, QStringLiteral("A")),
                                           PackageOrder(999999999999999999LL, QStringLiteral("A")),
                                           PackageOrder(0, QStringLiteral("新規1"))};
        QCOMPARE(dialog.orders(), expected);
    }

    void cancelKeepsTheGivenOrders()
    {
        const QList<PackageOrder> given{PackageOrder(700, QStringLiteral("X"))};
        PackageSizeEditDialog dialog;
        shown(dialog, given);
        auto* list = child<QListWidget>(&dialog, "listWidget");
        clickEntry(list, 0);
        retype(child<QLineEdit>(&dialog, "lineEditName"), QStringLiteral("Y"));
        add(&dialog);
        QTest::mouseClick(child<QPushButton>(&dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.orders(), given);
    }
};

QTEST_MAIN(PackageSizeEditDialogTest)
#include "tst_packagesizeeditdialog.moc"
