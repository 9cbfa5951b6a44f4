#include "GuiDriver.h"
#include "GuiSupport.h"
#include "HeldMove.h"
#include "ImageFormat.h"
#include "MainWindow.h"
#include "MainWindowSupport.h"
#include "MoveTexts.h"
#include "PackageSizeEditDialog.h"
#include "PackagingDialog.h"
#include "Packager.h"
#include "PackagingFixture.h"
#include "Platform.h"
#include "SizeFormat.h"
#include "TestSupport.h"
#include "TreeBuilder.h"
#include "TreeInventory.h"
#include "WidgetFit.h"
#include "XmlExporterSettingsDialog.h"

#include <QMessageBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QScopeGuard>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTextBrowser>
#include <QToolTip>
#include <QTreeWidget>
#include <QXmlStreamReader>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <random>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace korvo;
using namespace korvo::test;

namespace {

QPushButton* button(QWidget* dialog, const char* name)
{
    return child<QPushButton>(dialog, name);
}

void click(QAbstractButton* button)
{
    if (qobject_cast<QCheckBox*>(button))
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
    else
        QTest::mouseClick(button, Qt::LeftButton);
}

QTreeWidget* rows(QWidget* dialog)
{
    return child<QTreeWidget>(dialog, "treeWidgetPackage");
}

QString statusText(QWidget* dialog)
{
    return child<QLabel>(dialog, "labelStats")->text();
}

// A move's last status: the fixture's huge.bin is in no package of "T4",
// and the move's end says so again.
QString withLeftOut(const QString& text)
{
    return text + QStringLiteral("\r\n") + MoveTexts::leftOutLine(1);
}

// The application's font at `pointSize` while it lives.
struct ScopedFontSize
{
    explicit ScopedFontSize(int pointSize) : saved(QApplication::font())
    {
        QFont font = saved;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
    }
    ~ScopedFontSize() { QApplication::setFont(saved); }
    const QFont saved;
};

// Every folder of a tree, the root too, one sorted line each: its path below
// the root, its files' names and its figures, own and total.
QStringList folderFigures(const DirectoryNodePtr& root)
{
    QStringList lines;
    QList<DirectoryNodePtr> folders{root};
    const int prefix = root->absoluteFilePath().size();
    while (!folders.isEmpty()) {
        const DirectoryNodePtr folder = folders.takeLast();
        QStringList names;
        for (const FileNodePtr& file : folder->files())
            names << file->fileName();
        lines << QStringLiteral("%1 [%2] %3 %4 %5 %6 %7 %8 %9")
                     .arg(folder->absoluteFilePath().mid(prefix), names.join(QLatin1Char(',')))
                     .arg(folder->size())
                     .arg(folder->sizeOnDisk())
                     .arg(folder->totalSize())
                     .arg(folder->totalSizeOnDisk())
                     .arg(folder->subdirectoryCount())
                     .arg(folder->totalFileCount())
                     .arg(folder->totalSubdirectoryCount());
        for (const DirectoryNodePtr& sub : folder->subdirectories())
            folders << sub;
    }
    lines.sort();
    return lines;
}

// The texts of a row's item rows, sorted.
QStringList itemRowTexts(const QTreeWidgetItem* row)
{
    QStringList texts;
    for (int i = 0; i < row->childCount(); ++i)
        texts << row->child(i)->text(0);
    texts.sort();
    return texts;
}

// A folder of `count` files of about 700,000,000 bytes, in memory: a CD
// package each.
DirectoryNodePtr largeFiles(int count)
{
    const DirectoryNodePtr root = TreeBuilder::root(QStringLiteral("C:/videos"));
    for (int i = 0; i < count; ++i)
        TreeBuilder::file(root, QStringLiteral("v%1.mp4").arg(i), 699613104 - i * 1000);
    TreeBuilder::total(root);
    return root;
}

// A shown packaging dialog over a fresh scan of the fixture's folder, or
// over the given tree.
struct Session
{
    explicit Session(const PackagingFixture& fixture) : Session(scanFolder(fixture.scan)) {}
    explicit Session(const DirectoryNodePtr& tree) : root(tree)
    {
        dialog.setRoot(root);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            qFatal("the packaging dialog was not shown");
    }

    // Packs with order "T4" (or the named one) and the given sort.
    void pack(int sort, const QString& order = QStringLiteral("T4"))
    {
        auto* orders = child<QComboBox>(&dialog, "comboBoxOrder");
        orders->setCurrentIndex(orders->findText(order));
        child<QComboBox>(&dialog, "comboBoxSort")->setCurrentIndex(sort);
        clickAndWait(button(&dialog, "pushButtonPack"), &PackagingDialog::packFinished);
    }

    // Moves the checked rows and waits until the move has ended and reported.
    void move() { clickAndWait(button(&dialog, "pushButtonMove"), &PackagingDialog::moveFinished); }

    // Packing and moving run on workers: a click returns at once, and the
    // dialog says when the work has ended.
    template <typename Signal>
    void clickAndWait(QPushButton* button, Signal ended)
    {
        QSignalSpy spy(&dialog, ended);
        click(button);
        if (spy.isEmpty() && !spy.wait(60000))
            qFatal("the packaging dialog's work did not end");
        QVERIFY(!dialog.isBusy());
    }

    void setLabel(const QString& label)
    {
        QLineEdit* edit = child<QComboBox>(&dialog, "comboBoxLabel")->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        // Japanese text comes from the input method as one committed string.
        QInputMethodEvent input;
        input.setCommitString(label);
        QCoreApplication::sendEvent(edit, &input);
    }

    // Leaves exactly the given 1-based rows checked, by clicking.
    void checkOnly(const QList<int>& numbers)
    {
        QTreeWidget* tree = rows(&dialog);
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = tree->topLevelItem(i);
            const bool wanted = numbers.contains(i + 1);
            if (!row->isDisabled() && (row->checkState(0) == Qt::Checked) != wanted)
                clickCheckBox(tree, row);
        }
    }

    DirectoryNodePtr root;
    PackagingDialog dialog;
};

} // namespace

class PackagingDialogTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PackagingFixture> fixture;
    qint64 C = 0;

    // The scanned folder and the volume, every entry with its content.
    QStringList inventory() const
    {
        return treeInventory(fixture->dir.path(), {QStringLiteral("scan"), QStringLiteral("volume")});
    }

private slots:
    void init()
    {
        fixture.reset(new PackagingFixture);
        if (!fixture->isValid())
            QSKIP(qPrintable(fixture->error));
        C = fixture->cluster;
    }
    void cleanup() { fixture.reset(); }

    void constructedState()
    {
        PackagingDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("パッケージング"));
        // The form's size, taller by what the note needs to show every line.
        QCOMPARE(dialog.size(), QSize(459, 660 + child<QTextBrowser>(&dialog, "textBrowser")->height() - 31));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!button(&dialog, "pushButtonPack")->isEnabled());
        QVERIFY(!child<QGroupBox>(&dialog, "groupBoxPackage")->isEnabled());
        QVERIFY(!child<QCheckBox>(&dialog, "checkBoxSplit")->isChecked());
        QVERIFY(!button(&dialog, "pushButtonOrderEdit")->isHidden());
        QVERIFY(button(&dialog, "pushButtonExportConfig")->isHidden());
        QVERIFY(dialog.findChild<QSettings*>(QStringLiteral("Settings.UserPackageOrder")));
        QVERIFY(dialog.findChild<QSettings*>(QStringLiteral("Settings.UserPackageLabel")));

        auto* sorts = child<QComboBox>(&dialog, "comboBoxSort");
        const QStringList sortNames{QStringLiteral("詰め合わせ"), QStringLiteral("サイズ昇順"),
                                    QStringLiteral("サイズ降順"), QStringLiteral("名前昇順"),
                                    QStringLiteral("名前降順"), QStringLiteral("最少パッケージ数")};
        QCOMPARE(sorts->count(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(sorts->itemText(i), sortNames.at(i));
            QCOMPARE(sorts->itemData(i).toInt(), i);
        }

        // The built-in orders first, then the stored user order.
        auto* orders = child<QComboBox>(&dialog, "comboBoxOrder");
        const QStringList orderNames{QStringLiteral("CD"),     QStringLiteral("PACK_500MB"), QStringLiteral("PACK_400MB"),
                                     QStringLiteral("PACK_200MB"), QStringLiteral("PACK_100MB"), QStringLiteral("DVD"),
                                     QStringLiteral("DVD_DL"), QStringLiteral("BD"),         QStringLiteral("BD_DL"),
                                     QStringLiteral("T4")};
        QCOMPARE(orders->count(), orderNames.size());
        for (int i = 0; i < orderNames.size(); ++i)
            QCOMPARE(orders->itemText(i), orderNames.at(i));
        QCOMPARE(orders->itemData(9).toLongLong(), 4 * C);
        auto* orderSize = child<QLabel>(&dialog, "labelOrderSize");
        QCOMPARE(orderSize->text(), QStringLiteral("667.57 MiB (700,000,000 バイト)"));
        orders->setCurrentIndex(3);
        QCOMPARE(orderSize->text(), QStringLiteral("286.10 MiB (300,000,000 バイト)"));

        dialog.setRoot(scanFolder(fixture->scan));
        QVERIFY(button(&dialog, "pushButtonPack")->isEnabled());
    }

    void packShowsOneRowPerPackage_data()
    {
        // Items: Delta 2C, alpha 3C, beta 100 bytes (C on disk), gamma 2C;
        // huge.bin (5C) is above the limit of 4C and in no package. Each row
        // is a triple: size in clusters, extra bytes, size on disk in clusters.
        QTest::addColumn<int>("sort");
        QTest::addColumn<QVector<int>>("packages");
        QTest::newRow("assorted") << 0 << QVector<int>{3, 100, 4, /**/ 4, 0, 4};
        QTest::newRow("size ascending") << 1 << QVector<int>{2, 100, 3, /**/ 2, 0, 2, /**/ 3, 0, 3};
        QTest::newRow("size descending") << 2 << QVector<int>{3, 0, 3, /**/ 4, 0, 4, /**/ 0, 100, 1};
        QTest::newRow("name ascending") << 3 << QVector<int>{2, 0, 2, /**/ 3, 100, 4, /**/ 2, 0, 2};
        QTest::newRow("name descending") << 4 << QVector<int>{2, 100, 3, /**/ 3, 0, 3, /**/ 2, 0, 2};
        QTest::newRow("fewest: best fit's, which is the fewest") << 5 << QVector<int>{3, 100, 4, /**/ 4, 0, 4};
    }
    void packShowsOneRowPerPackage()
    {
        QFETCH(int, sort);
        QFETCH(QVector<int>, packages);
        QList<QPair<qint64, qint64>> expected;
        for (int i = 0; i + 2 < packages.size(); i += 3)
            expected.append(qMakePair(packages.at(i) * C + packages.at(i + 1), packages.at(i + 2) * C));

        Session session(*fixture);
        session.pack(sort);
        QTreeWidget* tree = rows(&session.dialog);
        // The packages, then the row of the item left out (huge.bin).
        QCOMPARE(tree->topLevelItemCount(), expected.size() + 1);
        QCOMPARE(tree->topLevelItem(expected.size())->text(0), MoveTexts::leftOutLine(1));
        for (int i = 0; i < expected.size(); ++i) {
            QTreeWidgetItem* row = tree->topLevelItem(i);
            QCOMPARE(row->text(0), QString::number(i + 1));
            QCOMPARE(row->checkState(0), Qt::Checked);
            QCOMPARE(row->text(1), formatSize(expected.at(i).first));
            QCOMPARE(row->text(2), formatSize(expected.at(i).second));
        }
        QVERIFY(child<QGroupBox>(&session.dialog, "groupBoxPackage")->isEnabled());
        // 8C on disk fit 4C packages: 2 at least.
        QCOMPARE(statusText(&session.dialog),
                 withLeftOut(expected.size() == 2
                                 ? QStringLiteral("パッケージ作成完了。パッケージ数：2（どのように詰めても最低2個必要なので、これが最少です。）")
                                 : QStringLiteral("パッケージ作成完了。パッケージ数：3（どのように詰めても最低2個必要です。）")));
        QVERIFY(button(&session.dialog, "pushButtonPack")->isEnabled());
        // Packing leaves the tree alone.
        QCOMPARE(session.root->totalFileCount(), 6);
    }

    // The number column is as wide as its texts, the two size columns share
    // the rest, also beside a scroll bar; a size text that does not fit its
    // column is drawn as its size alone, or cut, and is its tooltip.
    void sizeColumnsShareTheWidthAndCutTextsHaveTooltips_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<int>("largeFiles");
        QTest::addColumn<bool>("cut");
        QTest::newRow("small font") << 5 << 0 << false;
        QTest::newRow("large font") << 16 << 0 << true;
        QTest::newRow("scroll bar, small font") << 5 << 40 << false;
        QTest::newRow("scroll bar, usual font") << 9 << 40 << true;
        QTest::newRow("scroll bar, large font") << 16 << 40 << true;
    }
    void sizeColumnsShareTheWidthAndCutTextsHaveTooltips()
    {
        QFETCH(int, pointSize);
        QFETCH(int, largeFiles);
        QFETCH(bool, cut);
        std::unique_ptr<Session> session(largeFiles > 0 ? new Session(::largeFiles(largeFiles)) : new Session(*fixture));
        QTreeWidget* tree = rows(&session->dialog);
        QFont font = tree->font();
        font.setPointSize(pointSize);
        tree->setFont(font);
        if (largeFiles > 0)
            session->pack(0, QStringLiteral("CD"));
        else
            session->pack(1);
        QCOMPARE(tree->topLevelItemCount(), largeFiles > 0 ? largeFiles : 3 + 1); // and huge.bin's row
        QTRY_COMPARE(tree->verticalScrollBar()->isVisible(), largeFiles > 0);
        const int width = tree->viewport()->width();
        QTRY_COMPARE(tree->columnWidth(0) + tree->columnWidth(1) + tree->columnWidth(2), width);
        QVERIFY(qAbs(tree->columnWidth(1) - tree->columnWidth(2)) <= 1);
        QVERIFY(tree->columnWidth(0) < width / 4);
        const QFontMetrics metrics = tree->fontMetrics();
        int tooltips = 0;
        int hovered = 0; // cut cells in sight whose tooltip was asked for
        for (int column = 1; column <= 2; ++column) {
            QVERIFY(dynamic_cast<FittedTextDelegate*>(tree->itemDelegateForColumn(column)));
            const int room = itemTextRoom(tree, tree->columnWidth(column));
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                QTreeWidgetItem* row = tree->topLevelItem(i);
                if (row->isDisabled())
                    continue; // the row of the items left out
                const QString text = row->text(column);
                const QString drawn = fittedText(text, metrics, room);
                QVERIFY(metrics.horizontalAdvance(drawn) <= room);
                // The pointer resting on a cell shows the whole text where
                // it is drawn cut, and nothing where it is whole.
                const QRect line = tree->visualItemRect(row);
                const QRect cell(tree->header()->sectionViewportPosition(column), line.y(), tree->columnWidth(column),
                                 line.height());
                if (tree->viewport()->rect().contains(cell)) {
                    QToolTip::hideText();
                    QHelpEvent hover(QEvent::ToolTip, cell.center(), tree->viewport()->mapToGlobal(cell.center()));
                    QApplication::sendEvent(tree->viewport(), &hover);
                    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), drawn == text ? QString() : text);
                    hovered += drawn == text ? 0 : 1;
                }
                if (drawn == text)
                    continue;
                ++tooltips;
                // The size stays readable: only the byte count goes while
                // the size alone fits.
                const QString size = text.left(text.indexOf(QStringLiteral(" (")));
                if (metrics.horizontalAdvance(size) <= room)
                    QCOMPARE(drawn, size);
                else
                    QVERIFY(drawn.endsWith(QChar(0x2026)));
            }
        }
        QCOMPARE(tooltips > 0, cut);
        QCOMPARE(hovered > 0, cut);
        QToolTip::hideText();
    }

    // The labels, the note and the package list of the form show their
    // whole texts at a small and a large font; only the note's height and
    // the label column's width change, and the dialog grows with the note.
    void formTextsAreWhole_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::newRow("small font") << 6;
        QTest::newRow("large font") << 12;
    }
    void formTextsAreWhole()
    {
        QFETCH(int, pointSize);
        ScopedFontSize fontSize(pointSize);
        Session session(*fixture);
        PackagingDialog& dialog = session.dialog;

        auto* order = child<QComboBox>(&dialog, "comboBoxOrder");
        for (const char* name : {"label_2", "label", "label_3"}) {
            auto* label = child<QLabel>(&dialog, name);
            QVERIFY2(label->width() >= label->sizeHint().width(), name);
            QVERIFY2(label->height() >= label->sizeHint().height(), name);
            QVERIFY2(label->x() + label->width() + 9 <= order->x(), name);
        }
        // The fields keep their right edges; the preset list gives the
        // size editor's button what its text needs.
        QPushButton* edit = button(&dialog, "pushButtonOrderEdit");
        QCOMPARE(edit->x() + edit->width(), 390 + 41);
        QVERIFY(edit->fontMetrics().horizontalAdvance(edit->text()) + 8 <= edit->width());
        QCOMPARE(order->x() + order->width(), qMin(70 + 311, edit->x() - 9));
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxLabel")->x(), order->x());
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxSort")->x(), order->x());
        // The split option below the sort list starts where the fields do
        // and shows its whole text.
        auto* split = child<QCheckBox>(&dialog, "checkBoxSplit");
        QCOMPARE(split->text(), QStringLiteral("大きなフォルダを分割する。"));
        QCOMPARE(split->x(), order->x());
        QVERIFY(split->width() >= split->sizeHint().width());
        QVERIFY2(split->height() >= split->sizeHint().height(), qPrintable(QString::number(split->sizeHint().height())));
        QVERIFY(split->y() >= child<QComboBox>(&dialog, "comboBoxSort")->geometry().bottom());

        auto* note = child<QTextBrowser>(&dialog, "textBrowser");
        QTRY_COMPARE(note->verticalScrollBar()->maximum(), 0);
        QVERIFY(note->toPlainText().contains(QStringLiteral("１つファイルとして計算されます。")));
        const int grown = note->height() - 31;
        QVERIFY(grown >= 0);
        QCOMPARE(dialog.size(), QSize(459, 660 + grown));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        // What is below the note moved down by as much as the note grew.
        QCOMPARE(child<QGroupBox>(&dialog, "groupBoxPackaging")->geometry(), QRect(10, 10, 441, 215 + grown));
        QCOMPARE(child<QGroupBox>(&dialog, "groupBoxPackage")->geometry(), QRect(10, 234 + grown, 441, 351));
        QCOMPARE(child<QLabel>(&dialog, "labelStats")->geometry(), QRect(10, 594 + grown, 441, 61));
        // The pack button takes what its text needs from the note beside it.
        QPushButton* pack = button(&dialog, "pushButtonPack");
        QCOMPARE(pack->y(), 174);
        QVERIFY(split->geometry().bottom() < pack->y());
        QVERIFY(pack->width() >= pack->sizeHint().width());
        QVERIFY(pack->x() + pack->width() + 4 <= note->x());
        QCOMPARE(note->x() + note->width(), 120 + 311);
    }

    void packWithNothingThatFits()
    {
        // An order smaller than every item gives no rows; an order of 0 bytes
        // packs nothing at all and leaves the earlier packing shown.
        QVERIFY(writeFile(fixture->data + QStringLiteral("/UserPackageOrderSettings.ini"),
                          QStringLiteral("[orders]\n1\\name=T4\n1\\size=%1\n2\\name=tiny\n2\\size=10\n"
                                         "3\\name=zero\n3\\size=0\nsize=3\n")
                              .arg(4 * C)
                              .toUtf8()));
        Session session(*fixture);
        session.pack(0, QStringLiteral("tiny"));
        // No package: only the row of the items left out, which stays in
        // reach, while nothing can be moved.
        const int topLevel = session.root->fileCount() + session.root->subdirectoryCount();
        QCOMPARE(rows(&session.dialog)->topLevelItemCount(), 1);
        QCOMPARE(rows(&session.dialog)->topLevelItem(0)->childCount(), topLevel);
        QVERIFY(child<QGroupBox>(&session.dialog, "groupBoxPackage")->isEnabled());
        QVERIFY(!button(&session.dialog, "pushButtonMove")->isEnabled());
        QCOMPARE(statusText(&session.dialog),
                 QStringLiteral("パッケージ作成完了。\r\n") + MoveTexts::leftOutLine(topLevel));

        session.pack(3);
        QCOMPARE(rows(&session.dialog)->topLevelItemCount(), 4);
        QVERIFY(button(&session.dialog, "pushButtonMove")->isEnabled());
        session.pack(0, QStringLiteral("zero"));
        QCOMPARE(rows(&session.dialog)->topLevelItemCount(), 4);
        QVERIFY(statusText(&session.dialog) != QStringLiteral("パッケージ作成完了。"));
        QVERIFY(button(&session.dialog, "pushButtonPack")->isEnabled());
        QVERIFY(child<QGroupBox>(&session.dialog, "groupBoxPackage")->isEnabled());

        // The packing shown is still the one of "T4": its move goes there.
        session.checkOnly({1});
        session.move();
        QVERIFY(QFileInfo::exists(fixture->packageFolder(QString(), 1) + QStringLiteral("Delta")));
    }

    // The fewest mode's search over 100,000 items runs on the packing
    // worker: the dialog answers meanwhile, and the pack button, now "探索を
    // 中止", or closing the dialog stops it long before its time is up; the
    // best packing found is shown, never more packages than best fit.
    void fewestSearchCanBeStopped_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("stop button") << false;
        QTest::newRow("close") << true;
    }
    void fewestSearchCanBeStopped()
    {
        QFETCH(bool, close);
        // Random sizes up to a CD: best fit is one package above the bound,
        // which the search can neither beat nor prove quickly.
        const DirectoryNodePtr root = TreeBuilder::root(QStringLiteral("C:/many"));
        std::mt19937_64 random(20261209);
        for (int i = 0; i < 100000; ++i)
            TreeBuilder::file(root, QString::number(i), 1 + qint64(random() % 700000000));
        TreeBuilder::total(root);
        QList<PackagePtr> bestFit;
        Packager().pack(builtInPackageOrders().first(), Assorted, root, bestFit);

        Session session(root);
        child<QComboBox>(&session.dialog, "comboBoxOrder")->setCurrentIndex(0);
        child<QComboBox>(&session.dialog, "comboBoxSort")->setCurrentIndex(5);
        QPushButton* pack = button(&session.dialog, "pushButtonPack");
        QSignalSpy finished(&session.dialog, &PackagingDialog::packFinished);
        click(pack);
        QVERIFY(session.dialog.isBusy());
        QCOMPARE(pack->text(), QStringLiteral("探索を中止"));
        QVERIFY(pack->isEnabled());
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(10);
        QTRY_VERIFY(ticks >= 20);
        QVERIFY(finished.isEmpty());

        if (close)
            session.dialog.close();
        else
            click(pack);
        // The search ends at once (it would go on for 10 seconds); the rows
        // of its packages then fill in batches.
        QTRY_VERIFY2_WITH_TIMEOUT(pack->text() == QStringLiteral("パッケージを作成"), "the search ran on", 8000);
        QVERIFY(finished.wait(60000));
        const int packages = rows(&session.dialog)->topLevelItemCount();
        QVERIFY(packages > 0 && packages <= bestFit.size());
        QVERIFY(statusText(&session.dialog).startsWith(QStringLiteral("パッケージ作成完了。パッケージ数：")));
        if (close)
            QTRY_VERIFY(!session.dialog.isVisible());
    }

    // A package of 100,000 items unfolds a batch of rows at a time: the
    // window goes on answering between batches, and every item gets its row.
    void largePackageUnfoldsInBatches()
    {
        const DirectoryNodePtr root = TreeBuilder::root(QStringLiteral("C:/many"));
        for (int i = 0; i < 100000; ++i)
            TreeBuilder::file(root, QStringLiteral("f%1").arg(i, 6, 10, QLatin1Char('0')), 1);
        TreeBuilder::total(root);
        Session session(root);
        child<QComboBox>(&session.dialog, "comboBoxOrder")->setCurrentIndex(0);
        QSignalSpy finished(&session.dialog, &PackagingDialog::packFinished);
        click(button(&session.dialog, "pushButtonPack"));
        QVERIFY(finished.wait(60000));
        QTreeWidget* tree = rows(&session.dialog);
        QTreeWidgetItem* package = tree->topLevelItem(0);
        tree->expandItem(package);
        QVERIFY(package->childCount() > 0 && package->childCount() < 100000);
        QTRY_COMPARE_WITH_TIMEOUT(package->childCount(), 100000, 60000);
        QVERIFY(package->child(99999)->text(0).startsWith(QStringLiteral("f099999")));
    }

    void checkBoxesAndTheirButtons()
    {
        Session session(*fixture);
        session.pack(3);
        QTreeWidget* tree = rows(&session.dialog);
        QPushButton* all = button(&session.dialog, "pushButtonAllCheck");
        QPushButton* none = button(&session.dialog, "pushButtonAllUncheck");
        QPushButton* move = button(&session.dialog, "pushButtonMove");
        QCOMPARE(tree->topLevelItemCount(), 3 + 1); // and huge.bin's row

        clickCheckBox(tree, tree->topLevelItem(0));
        QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QVERIFY(all->isEnabled());
        QVERIFY(none->isEnabled());
        QVERIFY(move->isEnabled());

        clickCheckBox(tree, tree->topLevelItem(1));
        clickCheckBox(tree, tree->topLevelItem(2));
        QVERIFY(all->isEnabled());
        QVERIFY(!none->isEnabled());
        QVERIFY(!move->isEnabled());

        // Clicks in the size columns change nothing.
        clickCell(tree, tree->topLevelItem(1), 1);
        clickCell(tree, tree->topLevelItem(2), 2);
        QCOMPARE(tree->topLevelItem(1)->checkState(0), Qt::Unchecked);
        QVERIFY(!none->isEnabled());
        QVERIFY(!move->isEnabled());

        // A toggle by the keyboard is not watched.
        tree->setFocus();
        tree->setCurrentItem(tree->topLevelItem(1));
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(tree->topLevelItem(1)->checkState(0), Qt::Checked);
        QVERIFY(!move->isEnabled());
        QVERIFY(!none->isEnabled());

        // Neither all-button updates the other two buttons' state.
        click(all);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(tree->topLevelItem(i)->checkState(0), Qt::Checked);
        QVERIFY(move->isEnabled());
        QVERIFY(all->isEnabled());
        QVERIFY(!none->isEnabled());

        clickCheckBox(tree, tree->topLevelItem(2));
        clickCheckBox(tree, tree->topLevelItem(2));
        QVERIFY(!all->isEnabled());
        QVERIFY(none->isEnabled());
        click(none);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(tree->topLevelItem(i)->checkState(0), Qt::Unchecked);
        QVERIFY(!move->isEnabled());
        QVERIFY(!all->isEnabled());
        QVERIFY(none->isEnabled());

        // A new packing checks every row but leaves the move button alone.
        session.pack(0);
        QCOMPARE(tree->topLevelItemCount(), 2 + 1); // and huge.bin's row
        QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::Checked);
        QCOMPARE(tree->topLevelItem(1)->checkState(0), Qt::Checked);
        QVERIFY(!move->isEnabled());
    }

    void moveNumbersAfterTheLargestEntry()
    {
        // Folders 1 to 5 and the listing 5.xml are there already.
        const QString base = fixture->baseFolder(QStringLiteral("L"));
        for (int n = 1; n <= 5; ++n)
            QVERIFY(makeFolder(base + QString::number(n)));
        QVERIFY(writeFile(base + QStringLiteral("5.xml"), QByteArray("<korvo/>")));

        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        session.setLabel(QStringLiteral("L"));
        const qint64 totalBefore = session.root->totalSizeOnDisk();
        session.checkOnly({1});
        session.move();

        const QString six = fixture->packageFolder(QStringLiteral("L"), 6);
        QVERIFY(QFileInfo(six + QStringLiteral("Delta/d1.bin")).isFile());
        QVERIFY(!QFileInfo::exists(fixture->scan + QStringLiteral("/Delta")));
        QCOMPARE(statusText(&session.dialog), withLeftOut(QStringLiteral("パッケージ6を%1へ移動完了。").arg(six)));
        QVERIFY(!child<QGroupBox>(&session.dialog, "groupBoxPackaging")->isEnabled());
        QVERIFY(!button(&session.dialog, "pushButtonMove")->isEnabled());
        QTreeWidget* tree = rows(&session.dialog);
        QVERIFY(tree->topLevelItem(0)->isDisabled());
        QVERIFY(!tree->topLevelItem(1)->isDisabled());
        QCOMPARE(session.root->totalSizeOnDisk(), totalBefore - 2 * C);
        QCOMPARE(session.root->totalSubdirectoryCount(), 0);
        QVERIFY(fixture->openedUrls.isEmpty());

        // A later move of the same packing keeps the numbers: #3 goes to 8
        // (not 7), although 6 is now the largest entry.
        session.checkOnly({3});
        QVERIFY(button(&session.dialog, "pushButtonMove")->isEnabled());
        session.move();
        const QString eight = fixture->packageFolder(QStringLiteral("L"), 8);
        QVERIFY(QFileInfo(eight + QStringLiteral("gamma.dat")).isFile());
        QVERIFY(!QFileInfo::exists(fixture->packageFolder(QStringLiteral("L"), 7)));
        QVERIFY(tree->topLevelItem(2)->isDisabled());
        QVERIFY(!tree->topLevelItem(1)->isDisabled());
        QCOMPARE(session.root->totalSizeOnDisk(), totalBefore - 4 * C);
        QCOMPARE(session.root->totalFileCount(), 3);
        QVERIFY(session.dialog.isVisible());
    }

    // Folder 3 is taken by the time #3 moves, so it goes to 4; but gamma.dat
    // has been replaced since the scan: the package fails, its folder goes
    // again, its row stays checked, and the move ends on a summary and a box.
    void failedPackageStaysChecked()
    {
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        session.setLabel(QStringLiteral("L"));
        session.checkOnly({1, 2});
        session.move();
        QVERIFY(QFileInfo::exists(fixture->packageFolder(QStringLiteral("L"), 2) + QStringLiteral("alpha.bin")));

        const QString three = fixture->packageFolder(QStringLiteral("L"), 3);
        QVERIFY(writeFile(three + QStringLiteral("gamma.dat"), QByteArray("other")));
        const QString gamma = fixture->scan + QStringLiteral("/gamma.dat");
        QVERIFY(writeFile(fixture->path(QStringLiteral("new gamma")), 2 * C));
        QVERIFY(QFile::remove(gamma) && QFile::rename(fixture->path(QStringLiteral("new gamma")), gamma));
        const QStringList before = inventory();
        const qint64 totalBefore = session.root->totalSize();
        MessageBoxCloser boxes;
        session.checkOnly({3});
        session.move();

        QTreeWidgetItem* row = rows(&session.dialog)->topLevelItem(2);
        QVERIFY(!row->isDisabled());
        QCOMPARE(row->checkState(0), Qt::Checked);
        const QString line = QStringLiteral("パッケージ4を%1へ移動失敗。\r\nItem replaced since the scan. path:%2.\r\n")
                                 .arg(fixture->packageFolder(QStringLiteral("L"), 4), QDir::toNativeSeparators(gamma));
        const QString summary = QStringLiteral("パッケージ4の移動に失敗しました。");
        QCOMPARE(statusText(&session.dialog), withLeftOut(summary));
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("パッケージの移動"));
        QCOMPARE(boxes.seen.at(0).text, withLeftOut(summary) + QStringLiteral("\r\n\r\n") + line);
        QCOMPARE(inventory(), before);
        QCOMPARE(session.root->totalSize(), totalBefore);
        QVERIFY(session.dialog.isVisible());
    }

    // A base folder that cannot be opened (here a file of that name) stops
    // the move before anything moves; once it is gone, the numbers are
    // counted again and the move goes ahead.
    void unlistableBaseFolderStopsTheMove()
    {
        const QString base = QDir::cleanPath(fixture->baseFolder(QStringLiteral("L")));
        QVERIFY(writeFile(base, QByteArray("in the way")));
        Session session(*fixture);
        session.pack(3);
        session.setLabel(QStringLiteral("L"));
        const QStringList before = inventory();
        MessageBoxCloser boxes;
        session.move();

        const QString summary = QStringLiteral("パッケージの移動に失敗しました。");
        QCOMPARE(statusText(&session.dialog), withLeftOut(summary));
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text,
                 withLeftOut(summary)
                     + QStringLiteral("\r\n\r\nパッケージを%1へ移動失敗。\r\nThe base folder level is not a folder. path:%2.\r\n")
                           .arg(fixture->baseFolder(QStringLiteral("L")), QDir::toNativeSeparators(base)));
        QCOMPARE(inventory(), before);
        QTreeWidget* tree = rows(&session.dialog);
        for (int i = 0; i < tree->topLevelItemCount() - 1; ++i) // the last row counts the item left out
            QVERIFY(!tree->topLevelItem(i)->isDisabled());

        QVERIFY(QFile::remove(base));
        session.checkOnly({1});
        session.move();
        QVERIFY(QFileInfo(fixture->packageFolder(QStringLiteral("L"), 1) + QStringLiteral("Delta")).isDir());
        QCOMPARE(boxes.seen.size(), 1);
    }

    // A package whose move fails and whose undo fails too, between two that
    // move: the status ends on the summary, not on the last success, and
    // the box names the item left in the package folder.
    void failuresAreSummarised()
    {
#ifdef Q_OS_WIN
        const qint64 ioError = 1117; // ERROR_IO_DEVICE
        const qint64 busy = 32;      // ERROR_SHARING_VIOLATION
#else
        const qint64 ioError = EIO;
        const qint64 busy = EBUSY;
#endif
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        session.setLabel(QStringLiteral("L"));
        const QString two = fixture->packageFolder(QStringLiteral("L"), 2);
        const QScopeGuard restore([] { Packager::setMoveFunction(Packager::MoveFunction()); });
        Packager::setMoveFunction([=](const NativePath& source, const NativePath& destination, qint64* code) {
            if (destination.fileName() == NativePath::fromText(QStringLiteral("beta.txt"))) {
                *code = ioError;
                return false;
            }
            if (source.fileName() == NativePath::fromText(QStringLiteral("alpha.bin"))
                && source.parent().fileName() == NativePath::fromText(QStringLiteral("2"))) {
                *code = busy;
                return false;
            }
            return platform::moveWithoutReplacing(source, destination, code);
        });
        const QStringList before = inventory();
        MessageBoxCloser boxes;
        session.move();

        const QString summary = QStringLiteral("パッケージ2の移動に失敗しました。\r\n"
                                               "元の場所へ戻せなかった項目がパッケージフォルダに残っています。"
                                               "項目名は「Move back failed」の行にあります。\r\n"
                                               "Run 'korvo-cli recover \"%1\"' to undo it before moving again.")
                                    .arg(QDir::toNativeSeparators(QDir::cleanPath(fixture->baseFolder(QStringLiteral("L")))));
        QCOMPARE(statusText(&session.dialog), withLeftOut(summary));
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("パッケージの移動"));
        const QString scan = fixture->scan;
        const QString folder = QDir::cleanPath(two);
        QCOMPARE(boxes.seen.at(0).text,
                 withLeftOut(summary) + QStringLiteral("\r\n\r\nパッケージ2を%1へ移動失敗。\r\n").arg(two)
                     + QStringLiteral("Move failed. old:%1 new:%2 winError:%3.\r\n")
                           .arg(QDir::toNativeSeparators(scan + QStringLiteral("/beta.txt")),
                                QDir::toNativeSeparators(folder + QStringLiteral("/beta.txt")))
                           .arg(ioError)
                     + QStringLiteral("Move back failed. old:%1 new:%2 winError:%3.\r\n")
                           .arg(QDir::toNativeSeparators(scan + QStringLiteral("/alpha.bin")),
                                QDir::toNativeSeparators(folder + QStringLiteral("/alpha.bin")))
                           .arg(busy));
        QTreeWidget* tree = rows(&session.dialog);
        QVERIFY(tree->topLevelItem(0)->isDisabled());
        QVERIFY(!tree->topLevelItem(1)->isDisabled());
        QVERIFY(tree->topLevelItem(2)->isDisabled());
        QVERIFY(session.dialog.isVisible());

        // alpha.bin waits in folder 2, which is kept for it; nothing is lost.
        const QString base = QStringLiteral("volume/korvo_pack/T4/L/");
        QStringList expected = movedInventory(before, QStringLiteral("scan"), {QStringLiteral("Delta")},
                                              base + QStringLiteral("1"));
        expected = movedInventory(expected, QStringLiteral("scan"), {QStringLiteral("alpha.bin")},
                                  base + QStringLiteral("2"));
        expected = movedInventory(expected, QStringLiteral("scan"), {QStringLiteral("gamma.dat")},
                                  base + QStringLiteral("3"));
        // Its journal stays beside it, naming it for the undo.
        const QStringList withJournal = treeInventory(fixture->dir.path(), {QStringLiteral("volume")});
        QCOMPARE(withJournal.filter(QStringLiteral(".2.korvo-move")).size(), 1);
        QCOMPARE(inventory().size(), expected.size() + 1);

        // Moving package 2 again is refused until the interrupted move is
        // undone: asked and answered yes, alpha.bin goes home on the worker,
        // then the package moves whole, into the number it had.
        Packager::setMoveFunction(Packager::MoveFunction());
        boxes.seen.clear();
        boxes.answer = QMessageBox::Yes;
        session.checkOnly({});
        session.checkOnly({2});
        session.move();
        QCOMPARE(boxes.seen.size(), 2);
        QVERIFY(boxes.seen.at(0).text.startsWith(QStringLiteral("前回のパッケージの移動が中断されたままです。")));
        QCOMPARE(boxes.seen.at(1).text, withLeftOut(QStringLiteral("全て完了しました。")) + QStringLiteral("\r\n")
                                             + MoveTexts::leftOutItem(QStringLiteral("huge.bin"), 5 * C));
        expected = movedInventory(before, QStringLiteral("scan"), {QStringLiteral("Delta")}, base + QStringLiteral("1"));
        expected = movedInventory(expected, QStringLiteral("scan"),
                                  {QStringLiteral("alpha.bin"), QStringLiteral("beta.txt")}, base + QStringLiteral("2"));
        expected = movedInventory(expected, QStringLiteral("scan"), {QStringLiteral("gamma.dat")},
                                  base + QStringLiteral("3"));
        QCOMPARE(inventory(), expected);
        const QString log = child<QLabel>(&session.dialog, "labelStats")->toolTip();
        QVERIFY2(log.contains(QStringLiteral("元に戻しました（1個の項目を戻しました）。")), qPrintable(log));
    }

    // A package whose items all moved but whose journal cannot be removed
    // is not finished: its line and the failure box give the reason, the
    // summary names recover, and a journal korvo did not write (here a
    // folder in its place) is never offered for undoing.
    void unfinishedPackageIsAFailure()
    {
#ifdef Q_OS_WIN
        const qint64 isAFolder = 5; // ERROR_ACCESS_DENIED
#else
        const qint64 isAFolder = EISDIR;
#endif
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        session.setLabel(QStringLiteral("L"));
        session.checkOnly({1});
        const QString base = QDir::cleanPath(fixture->baseFolder(QStringLiteral("L")));
        const QString journal = base + QStringLiteral("/.1.korvo-move");
        HeldMove held(QStringLiteral("Delta"));
        QSignalSpy ended(&session.dialog, &PackagingDialog::moveFinished);
        click(button(&session.dialog, "pushButtonMove"));
        QTRY_VERIFY(held.reached());
        QVERIFY(QFile::rename(journal, base + QStringLiteral("/journal")));
        QVERIFY(makeFolder(journal + QStringLiteral("/inside")));
        MessageBoxCloser boxes;
        held.release();
        QVERIFY(ended.wait(60000));

        const QString line = QStringLiteral("パッケージ1を%1へ移動しましたが、完了できませんでした。\r\n"
                                            "Remove journal failed. path:%2 winError:%3 (%4).\r\n")
                                 .arg(fixture->packageFolder(QStringLiteral("L"), 1), QDir::toNativeSeparators(journal),
                                      QString::number(isAFolder), platform::errorText(isAFolder));
        const QString summary = QStringLiteral("パッケージ1の移動に失敗しました。\r\nRun 'korvo-cli recover \"%1\"' to "
                                               "undo it before moving again.")
                                    .arg(QDir::toNativeSeparators(base));
        QCOMPARE(statusText(&session.dialog), withLeftOut(summary));
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text, withLeftOut(summary) + QStringLiteral("\r\n\r\n") + line);
        QVERIFY(child<QLabel>(&session.dialog, "labelStats")->toolTip().contains(line));

        boxes.seen.clear();
        session.checkOnly({2});
        session.move();
        QTRY_COMPARE(boxes.seen.size(), 1);
        QVERIFY2(boxes.seen.at(0).text.contains(QStringLiteral("Journal refused, nothing was changed. path:%1")
                                                    .arg(QDir::toNativeSeparators(journal))),
                 qPrintable(boxes.seen.at(0).text));
        QVERIFY(QFileInfo(fixture->path(QStringLiteral("scan/alpha.bin"))).isFile());
    }

    // Refusing to undo an interrupted move leaves everything as it is.
    void interruptedMoveLeftAlone()
    {
        Session session(*fixture);
        session.pack(3);
        session.setLabel(QStringLiteral("L"));
        const QString base = fixture->dir.filePath(QStringLiteral("volume/korvo_pack/T4/L"));
        QVERIFY(QDir().mkpath(base));
        QVERIFY(writeFile(base + QStringLiteral("/.7.korvo-move"), QByteArray("korvo-move 2\nnumber 7\nend\n")));
        const QStringList before = inventory();
        MessageBoxCloser boxes;
        boxes.answer = QMessageBox::No;
        session.move();
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(statusText(&session.dialog), QStringLiteral("中断された移動が残っているため、移動しませんでした。"));
        QCOMPARE(inventory(), before);
        QVERIFY(button(&session.dialog, "pushButtonMove")->isEnabled());
    }

    // A move of another folder by korvo-cli to the same label between two
    // moves of this packing: the dialog's later packages skip its numbers.
    void dialogAndCliShareALabel()
    {
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        session.setLabel(QStringLiteral("L"));
        session.checkOnly({1});
        session.move();

        QVERIFY(writeFile(fixture->path(QStringLiteral("other/o1")), 3 * C));
        QVERIFY(writeFile(fixture->path(QStringLiteral("other/o2")), 2 * C));
        const CliRun run = runCli({QStringLiteral("move"), QStringLiteral("--limit"), QString::number(4 * C),
                                   QStringLiteral("--name"), QStringLiteral("T4"), QStringLiteral("--label"),
                                   QStringLiteral("L"), QStringLiteral("--volume-root"), fixture->volume,
                                   fixture->path(QStringLiteral("other"))});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(QStringLiteral("パッケージ3を")), qPrintable(run.out)); // o1 in 2, o2 in 3

        const QStringList before = inventory();
        MessageBoxCloser boxes;
        session.checkOnly({2, 3});
        session.move();
        QCOMPARE(statusText(&session.dialog),
                 withLeftOut(QStringLiteral("パッケージ5を%1へ移動完了。").arg(fixture->packageFolder(QStringLiteral("L"), 5))));
        const QString base = QStringLiteral("volume/korvo_pack/T4/L/");
        QStringList expected = movedInventory(before, QStringLiteral("scan"),
                                              {QStringLiteral("alpha.bin"), QStringLiteral("beta.txt")},
                                              base + QStringLiteral("4"));
        expected = movedInventory(expected, QStringLiteral("scan"), {QStringLiteral("gamma.dat")},
                                  base + QStringLiteral("5"));
        QCOMPARE(inventory(), expected);
    }

    void lastMoveReportsListingsClosesAndOpensTheBaseFolder()
    {
        Session session(*fixture);
        session.pack(3);
        session.setLabel(QStringLiteral("ラベル"));
        click(child<QCheckBox>(&session.dialog, "checkBoxSave"));
        click(child<QCheckBox>(&session.dialog, "checkBoxOpenExplorer"));
        MessageBoxCloser boxes;
        session.move();

        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("報告"));
        QCOMPARE(boxes.seen.at(0).text, withLeftOut(QStringLiteral("全て完了しました。")) + QStringLiteral("\r\n")
                                             + MoveTexts::leftOutItem(QStringLiteral("huge.bin"), 5 * C));
        QVERIFY(!session.dialog.isVisible());

        const QString base = fixture->baseFolder(QStringLiteral("ラベル"));
        QCOMPARE(fixture->openedUrls, QList<QUrl>{QUrl::fromLocalFile(QDir::cleanPath(base))});
        QVERIFY(QFileInfo(fixture->openedUrls.at(0).toLocalFile()).isDir());

        // One listing per package beside its folder, naming what it holds.
        const QStringList names{QStringLiteral("Delta"), QStringLiteral("beta.txt"), QStringLiteral("gamma.dat")};
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(!QFileInfo::exists(fixture->packageFolder(QStringLiteral("ラベル"), n) + QString::number(n)
                                       + QStringLiteral(".xml")));
            QFile listing(base + QString::number(n) + QStringLiteral(".xml"));
            QVERIFY2(listing.open(QIODevice::ReadOnly), qPrintable(listing.fileName()));
            const QByteArray content = listing.readAll();
            QVERIFY(content.contains(names.at(n - 1).toUtf8()));
            QXmlStreamReader reader(content);
            while (!reader.atEnd())
                reader.readNext();
            QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        }
        // The status shows the last package and its listing; its tooltip
        // keeps every package's line and report.
        auto* status = child<QLabel>(&session.dialog, "labelStats");
        QCOMPARE(statusText(&session.dialog).count(QStringLiteral("保存に成功しました。")), 1);
        QVERIFY(statusText(&session.dialog).startsWith(
            QStringLiteral("パッケージ3を%1へ移動完了。\r\n%2").arg(fixture->packageFolder(QStringLiteral("ラベル"), 3), base)));
        QCOMPARE(status->toolTip().count(QStringLiteral("保存に成功しました。")), 3);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(status->toolTip().contains(
                QStringLiteral("パッケージ%1を%2へ移動完了。").arg(n).arg(fixture->packageFolder(QStringLiteral("ラベル"), n))));
        QCOMPARE(session.root->totalFileCount(), 1); // huge.bin is left
        QCOMPARE(session.root->totalSizeOnDisk(), 5 * C);

        // The label the move used is offered by the next dialog.
        PackagingDialog next;
        auto* labels = child<QComboBox>(&next, "comboBoxLabel");
        QCOMPARE(labels->count(), 1);
        QCOMPARE(labels->itemText(0), QStringLiteral("ラベル"));
    }

    void failingListingIsReported()
    {
        // While package 1 moves (its number chosen already), something else
        // takes its listing's name. A listing is written only into a file it
        // creates, never through or over that entry.
        const QString base = fixture->baseFolder(QString());
        const QString path = base + QStringLiteral("1.xml");
        const QString elsewhere = fixture->path(QStringLiteral("elsewhere/listing.xml"));
        QVERIFY(makeFolder(fixture->path(QStringLiteral("elsewhere"))));
        const QScopeGuard restore([] { Packager::setMoveFunction(Packager::MoveFunction()); });
        Packager::setMoveFunction([&](const NativePath& source, const NativePath& destination, qint64* code) {
#ifdef Q_OS_WIN
            // A hidden folder.
            makeFolder(path);
            SetFileAttributesW(reinterpret_cast<const wchar_t*>(path.utf16()),
                               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
#else
            // A link that leads nowhere yet.
            QFile::link(elsewhere, path);
#endif
            return platform::moveWithoutReplacing(source, destination, code);
        });

        Session session(*fixture);
        session.pack(3);
        // A status that fits has no tooltip; one cut (the line of the item
        // left out may wrap) has its whole text.
        const QLabel* stats = child<QLabel>(&session.dialog, "labelStats");
        QVERIFY(stats->toolTip().isEmpty() || stats->toolTip() == stats->text());
        session.checkOnly({1});
        click(child<QCheckBox>(&session.dialog, "checkBoxSave"));
        MessageBoxCloser boxes;
        session.move();
#ifndef Q_OS_WIN
        if (!QFileInfo(path).isSymLink())
            QSKIP("the temporary folder's file system has no symbolic links");
#endif
        QTRY_COMPARE(boxes.seen.size(), 1);

        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("エクスポートの報告"));
        const QString report = boxes.seen.at(0).text;
        const QString head =
            QStringLiteral("\r\n%1\r\n保存に失敗しました。\r\n").arg(QDir::toNativeSeparators(QDir::cleanPath(path)));
        QVERIFY2(report.startsWith(head), qPrintable(report));
        QVERIFY(report.size() > head.size());
        QVERIFY(treeInventory(fixture->path(QStringLiteral("elsewhere"))).isEmpty());
#ifdef Q_OS_WIN
        QVERIFY(QFileInfo(path).isDir());
#else
        QCOMPARE(QFileInfo(path).symLinkTarget(), elsewhere);
#endif
        // The package stays moved; the report follows its status line.
        QVERIFY(QFileInfo(fixture->packageFolder(QString(), 1) + QStringLiteral("Delta")).isDir());
        QCOMPARE(statusText(&session.dialog),
                 withLeftOut(QStringLiteral("パッケージ1を%1へ移動完了。").arg(fixture->packageFolder(QString(), 1)) + report));
        // More than the status box holds: the whole text is its tooltip.
        auto* status = child<QLabel>(&session.dialog, "labelStats");
        QVERIFY(status->heightForWidth(status->width()) > status->height());
        QCOMPARE(status->toolTip(), statusText(&session.dialog));
    }

    // A report box opens only while no package moves: while package 1's
    // listing failure is shown (for a second), package 2 has not started,
    // and each package's image report lands on its own line. Before, the
    // worker went on under the open box, and a report could land on a later
    // package's line.
    void reportBoxesWaitForNoPackageMoving()
    {
        const QString listing = fixture->baseFolder(QString()) + QStringLiteral("1.xml");
        const QScopeGuard restore([] { Packager::setMoveFunction(Packager::MoveFunction()); });
        Packager::setMoveFunction([&](const NativePath& source, const NativePath& destination, qint64* code) {
            // Something else takes package 1's listing name while it moves.
#ifdef Q_OS_WIN
            makeFolder(listing);
#else
            QFile::link(fixture->path(QStringLiteral("elsewhere")), listing);
#endif
            return platform::moveWithoutReplacing(source, destination, code);
        });
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        session.checkOnly({1, 2});
        click(child<QCheckBox>(&session.dialog, "checkBoxSave"));
        const QString two = fixture->packageFolder(QString(), 2);
        QStringList seen;
        bool secondStartedUnderTheBox = false;
        QElapsedTimer open;
        ModalWatcher watcher([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box || !box->isVisible())
                return;
            if (box->windowTitle() == QStringLiteral("エクスポートの報告") && !open.isValid())
                open.start();
            if (open.isValid() && open.elapsed() < 1000)
                return; // the listing's box stays a second
            secondStartedUnderTheBox = secondStartedUnderTheBox || QFileInfo::exists(two);
            seen << box->windowTitle();
            open.invalidate();
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->close();
        });
        session.move();

        QVERIFY2(seen.contains(QStringLiteral("エクスポートの報告")), qPrintable(seen.join(QLatin1Char(','))));
        QVERIFY(!secondStartedUnderTheBox);
        QVERIFY(QFileInfo(two + QStringLiteral("alpha.bin")).isFile());
        // Package 1's line, with its reports, comes before package 2's.
        const QString log = child<QLabel>(&session.dialog, "labelStats")->toolTip();
        const int second = log.indexOf(QStringLiteral("パッケージ2を"));
        QVERIFY2(second > log.indexOf(QStringLiteral("1.xml")) && log.indexOf(QStringLiteral("1.xml")) > 0, qPrintable(log));
    }

    // While package 2 is held in its first item, the dialog answers: its
    // timers run, it shows the running package and how far the move is, and
    // nothing can start another pack or move.
    void moveKeepsTheDialogAnswering()
    {
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        HeldMove held(QStringLiteral("alpha.bin"));
        QSignalSpy ended(&session.dialog, &PackagingDialog::moveFinished);
        click(button(&session.dialog, "pushButtonMove"));
        QVERIFY(session.dialog.isBusy());
        QTRY_VERIFY(held.reached());

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(10);
        QTRY_VERIFY(ticks >= 5);
        QTRY_COMPARE(statusText(&session.dialog),
                     QStringLiteral("パッケージ2を%1へ移動中...").arg(fixture->packageFolder(QString(), 2)));
        auto* progress = child<QProgressBar>(&session.dialog, "progressBarMove");
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->text(), QStringLiteral("2/3"));
        QCOMPARE(progress->value(), 1); // Delta moved, alpha waits
        QVERIFY(progress->toolTip().contains(QStringLiteral("パッケージ 2/3")));
        QVERIFY(rows(&session.dialog)->topLevelItem(0)->isDisabled());
        QVERIFY(!child<QGroupBox>(&session.dialog, "groupBoxPackaging")->isEnabled());
        for (const char* name : {"pushButtonMove", "pushButtonAllCheck", "pushButtonAllUncheck"})
            QVERIFY2(!button(&session.dialog, name)->isEnabled(), name);
        session.dialog.setCheckedAll(); // as a late click would
        QVERIFY(!button(&session.dialog, "pushButtonMove")->isEnabled());
        QCOMPARE(ended.size(), 0);

        MessageBoxCloser boxes;
        held.release();
        QVERIFY(ended.wait(60000));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text, withLeftOut(QStringLiteral("全て完了しました。")) + QStringLiteral("\r\n")
                                             + MoveTexts::leftOutItem(QStringLiteral("huge.bin"), 5 * C));
        QVERIFY(!progress->isVisible());
        QVERIFY(QFileInfo(fixture->packageFolder(QString(), 3) + QStringLiteral("gamma.dat")).isFile());
    }

    // Closing the dialog or pressing Escape while package 1 moves asks
    // whether to stop; stopping lets package 1 finish, moves nothing more,
    // leaves no journal and then closes the dialog. Answering no lets the
    // move go on.
    void closingDuringAMove_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<bool>("stop");
        QTest::newRow("close, stop") << false << true;
        QTest::newRow("escape, stop") << true << true;
        QTest::newRow("close, go on") << false << false;
    }
    void closingDuringAMove()
    {
        QFETCH(bool, escape);
        QFETCH(bool, stop);
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma
        const QStringList before = inventory();
        HeldMove held(QStringLiteral("Delta"));
        QSignalSpy ended(&session.dialog, &PackagingDialog::moveFinished);
        click(button(&session.dialog, "pushButtonMove"));
        QTRY_VERIFY(held.reached());

        MessageBoxCloser boxes;
        boxes.answer = stop ? QMessageBox::Yes : QMessageBox::No;
        if (escape)
            QTest::keyClick(&session.dialog, Qt::Key_Escape);
        else
            session.dialog.close();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("パッケージの移動"));
        QVERIFY(boxes.seen.at(0).text.startsWith(QStringLiteral("パッケージを移動中です。")));
        QVERIFY(session.dialog.isVisible()); // not before the package is done
        held.release();
        QVERIFY(ended.wait(60000));
        QTRY_VERIFY(!session.dialog.isVisible());

        const QString base = QStringLiteral("volume/korvo_pack/T4/");
        QStringList expected = movedInventory(before, QStringLiteral("scan"), {QStringLiteral("Delta")},
                                              base + QStringLiteral("1"));
        if (stop) {
            QCOMPARE(boxes.seen.size(), 1);
            QVERIFY2(statusText(&session.dialog).startsWith(QStringLiteral("移動を中止しました。残りの2個のパッケージ")),
                     qPrintable(statusText(&session.dialog)));
            QVERIFY(!rows(&session.dialog)->topLevelItem(1)->isDisabled());
        } else {
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).text, withLeftOut(QStringLiteral("全て完了しました。")) + QStringLiteral("\r\n")
                                                 + MoveTexts::leftOutItem(QStringLiteral("huge.bin"), 5 * C));
            expected = movedInventory(expected, QStringLiteral("scan"),
                                      {QStringLiteral("alpha.bin"), QStringLiteral("beta.txt")}, base + QStringLiteral("2"));
            expected = movedInventory(expected, QStringLiteral("scan"), {QStringLiteral("gamma.dat")},
                                      base + QStringLiteral("3"));
        }
        QCOMPARE(inventory(), expected); // no journal, no half-moved package
    }

    // The image option is off by default; checked, each moved package gets
    // its ISO image beside its folder, reported after its line. A build that
    // cannot write images hides the option.
    void imageOfEachMovedPackage()
    {
        Session session(*fixture);
        auto* image = child<QCheckBox>(&session.dialog, "checkBoxImage");
        QVERIFY(!image->isChecked());
        if (!ImageFormats::available()) {
            QVERIFY(image->isHidden());
            QSKIP(qPrintable(ImageFormats::unavailableReason()));
        }
        QVERIFY(image->isVisible());
        QVERIFY(image->geometry().left() > child<QCheckBox>(&session.dialog, "checkBoxOpenExplorer")->geometry().left());
        // Chosen after packing: packed again, sized for the images.
        session.pack(3, QStringLiteral("PACK_100MB"));
        QSignalSpy packed(&session.dialog, &PackagingDialog::packFinished);
        click(image);
        QVERIFY(packed.wait(60000));
        QCOMPARE(rows(&session.dialog)->topLevelItemCount(), 1);
        MessageBoxCloser boxes; // the last package moved: every package is done
        session.move();
        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text, QStringLiteral("全て完了しました。"));

        const QString iso = fixture->baseFolder(QString(), QStringLiteral("PACK_100MB")) + QStringLiteral("1.iso");
        QVERIFY(QFileInfo(iso).isFile());
        QVERIFY(QFileInfo(fixture->packageFolder(QString(), 1, QStringLiteral("PACK_100MB")) + QStringLiteral("Delta")).isDir());
        QVERIFY(QFileInfo(iso).size() <= 200000000);
        QCOMPARE(statusText(&session.dialog),
                 QStringLiteral("パッケージ1を%1へ移動完了。").arg(fixture->packageFolder(QString(), 1, QStringLiteral("PACK_100MB")))
                     + QStringLiteral("\r\n%1\r\n保存に成功しました。\r\n").arg(QDir::toNativeSeparators(QDir::cleanPath(iso))));
    }

    // Items too large for the order are greyed rows below the packages and a
    // line of the status; the image option packs again, by what each item
    // takes in an ISO image (none fits four clusters then), and back.
    void leftOutRowsAndTheImageOption()
    {
        Session session(*fixture);
        session.pack(3); // #1 Delta, #2 alpha and beta, #3 gamma; huge.bin left out
        QTreeWidget* tree = rows(&session.dialog);
        QCOMPARE(tree->topLevelItemCount(), 4);
        QTreeWidgetItem* head = tree->topLevelItem(3);
        QVERIFY(head->isDisabled());
        QCOMPARE(head->text(0), MoveTexts::leftOutLine(1));
        QCOMPARE(head->childCount(), 1);
        QCOMPARE(head->child(0)->text(0), MoveTexts::leftOutItem(QStringLiteral("huge.bin"), 5 * C));
        QVERIFY(head->child(0)->isDisabled());
        QCOMPARE(statusText(&session.dialog),
                 withLeftOut(QStringLiteral("パッケージ作成完了。パッケージ数：3（どのように詰めても最低2個必要です。）")));
        // The counting row is no package: checking all leaves it alone.
        click(button(&session.dialog, "pushButtonAllUncheck"));
        click(button(&session.dialog, "pushButtonAllCheck"));
        QVERIFY(button(&session.dialog, "pushButtonMove")->isEnabled());

        auto* image = child<QCheckBox>(&session.dialog, "checkBoxImage");
        if (!ImageFormats::available())
            QSKIP(qPrintable(ImageFormats::unavailableReason()));
        const int topLevel = session.root->fileCount() + session.root->subdirectoryCount();
        QSignalSpy packed(&session.dialog, &PackagingDialog::packFinished);
        click(image);
        QVERIFY(packed.wait(60000));
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->childCount(), topLevel);
        QCOMPARE(statusText(&session.dialog), QStringLiteral("パッケージ作成完了。\r\n") + MoveTexts::leftOutLine(topLevel));
        // The list and the option stay in reach; nothing can be moved.
        QVERIFY(child<QGroupBox>(&session.dialog, "groupBoxPackage")->isEnabled());
        QVERIFY(!button(&session.dialog, "pushButtonMove")->isEnabled());
        QVERIFY(!button(&session.dialog, "pushButtonAllCheck")->isEnabled());

        click(image);
        QVERIFY(packed.wait(60000));
        QCOMPARE(tree->topLevelItemCount(), 4);
        QVERIFY(button(&session.dialog, "pushButtonMove")->isEnabled());
    }

    // A folder larger than the package, split: its pieces are rows named by
    // their paths below the scanned folder, and the main window's move puts
    // them at the same paths below their package folders; a source folder
    // the move emptied goes, and the window's figures and the tree in memory
    // are those of a fresh scan.
    void splitFolderMovesFromTheMainWindow()
    {
        // Photos (13C): 2019 (5C) goes as its two files, 2020 (2C) and
        // cover.png whole, and raw/huge.raw (5C) alone exceeds "T4" (4C).
        const QString photos = fixture->scan + QStringLiteral("/Photos/");
        const QList<QPair<QString, int>> files{{QStringLiteral("2019/a.jpg"), 3}, {QStringLiteral("2019/b.jpg"), 2},
                                               {QStringLiteral("2020/c.jpg"), 2}, {QStringLiteral("cover.png"), 1},
                                               {QStringLiteral("raw/huge.raw"), 5}};
        for (const auto& file : files)
            QVERIFY(writeFile(photos + file.first, file.second * C));
        const auto item = [this](const char* path, int clusters) {
            return MoveTexts::leftOutItem(QString::fromUtf8(path), clusters * C);
        };
        QStringList pieces{item("Delta", 2),     item("Photos/2019/a.jpg", 3), item("Photos/2019/b.jpg", 2),
                           item("Photos/2020", 2), item("Photos/cover.png", 1),  item("alpha.bin", 3),
                           item("beta.txt", 1),  item("gamma.dat", 2)};
        pieces.sort();

        const ScopedSettingsFile settings(fixture->dir);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(dropAndWait(window, fixture->scan));
        QMap<int, QStringList> moved; // package number: the paths of its pieces
        bool handled = false;
        whenModal("korvo::PackagingDialog", [&](QWidget* modal) {
            handled = true;
            const QScopeGuard close([modal] { modal->close(); }); // also when a check fails
            auto* dialog = qobject_cast<PackagingDialog*>(modal);
            QTreeWidget* tree = rows(dialog);
            auto* orders = child<QComboBox>(dialog, "comboBoxOrder");
            orders->setCurrentIndex(orders->findText(QStringLiteral("T4")));
            child<QComboBox>(dialog, "comboBoxSort")->setCurrentIndex(3);
            QSignalSpy packed(dialog, &PackagingDialog::packFinished);
            click(button(dialog, "pushButtonPack"));
            QVERIFY(packed.wait(60000));
            // Whole, Photos is left out; split (the option packs again), only
            // its piece larger than the limit is.
            QCOMPARE(itemRowTexts(tree->topLevelItem(tree->topLevelItemCount() - 1)),
                     (QStringList{item("Photos", 13), item("huge.bin", 5)}));
            click(child<QCheckBox>(dialog, "checkBoxSplit"));
            QVERIFY(packed.wait(60000));
            const int packages = tree->topLevelItemCount() - 1;
            QCOMPARE(itemRowTexts(tree->topLevelItem(packages)),
                     (QStringList{item("Photos/raw/huge.raw", 5), item("huge.bin", 5)}));

            // Each package row unfolds to its pieces; the rows holding a piece
            // of Photos stay checked.
            QStringList shown;
            for (int i = 0; i < packages; ++i) {
                QTreeWidgetItem* row = tree->topLevelItem(i);
                QCOMPARE(row->childCount(), 0);
                tree->expandItem(row);
                shown += itemRowTexts(row);
                for (const QString& text : itemRowTexts(row))
                    if (text.startsWith(QStringLiteral("Photos/")))
                        moved[i + 1] << text.section(QChar(0x3000), 0, 0);
                if (!moved.contains(i + 1)) {
                    tree->scrollToItem(row);
                    clickCheckBox(tree, row);
                }
            }
            shown.sort();
            QCOMPARE(shown, pieces);
            QVERIFY(!moved.isEmpty() && moved.size() < packages);
            QSignalSpy ended(dialog, &PackagingDialog::moveFinished);
            click(button(dialog, "pushButtonMove"));
            QVERIFY(ended.wait(60000));
            for (int i = 0; i < packages; ++i)
                QCOMPARE(tree->topLevelItem(i)->isDisabled(), moved.contains(i + 1));
        });
        packagingAction(window)->trigger();
        QVERIFY(handled);

        // The pieces at their paths in their package folders, gone from the
        // scanned folder with the folder they emptied.
        QVERIFY(!moved.isEmpty());
        for (auto it = moved.cbegin(); it != moved.cend(); ++it) {
            for (const QString& path : it.value()) {
                QVERIFY2(QFileInfo::exists(fixture->packageFolder(QString(), it.key()) + path), qPrintable(path));
                QVERIFY2(!QFileInfo::exists(fixture->scan + QStringLiteral("/") + path), qPrintable(path));
            }
        }
        QVERIFY(!QFileInfo::exists(photos + QStringLiteral("2019")));
        QVERIFY(QFileInfo(photos + QStringLiteral("raw/huge.raw")).isFile());
        const DirectoryNodePtr fresh = scanFolder(fixture->scan);
        QVERIFY(fresh);
        QCOMPARE(propertyValue(window, 1), formatSize(fresh->totalSize()));
        QCOMPARE(propertyValue(window, 2), formatSize(fresh->totalSizeOnDisk()));
        QCOMPARE(propertyValue(window, 3), QStringLiteral("ファイル数：%1 フォルダ数：%2")
                                               .arg(fresh->totalFileCount())
                                               .arg(fresh->totalSubdirectoryCount()));
        QCOMPARE(folderFigures(window.scannedRoot()), folderFigures(fresh));
    }

    void labelMustBeOneFolderName()
    {
        Session session(*fixture);
        session.pack(3);
        MessageBoxCloser boxes;
        for (const QString& label : {QStringLiteral("x/y"), QStringLiteral(".."), QStringLiteral("a\\b")}) {
            session.setLabel(label);
            click(button(&session.dialog, "pushButtonMove"));
            QTRY_COMPARE(boxes.seen.size(), 1);
            QVERIFY2(boxes.seen.at(0).text.contains(QStringLiteral("「%1」").arg(label)),
                     qPrintable(boxes.seen.at(0).text));
            boxes.seen.clear();
            QVERIFY(child<QGroupBox>(&session.dialog, "groupBoxPackaging")->isEnabled());
            QVERIFY(button(&session.dialog, "pushButtonMove")->isEnabled());
        }
        QVERIFY(QFileInfo(fixture->scan + QStringLiteral("/Delta")).isDir());
        QVERIFY(!QFileInfo::exists(fixture->volume + QStringLiteral("/korvo_pack")));
        QCOMPARE(session.root->totalFileCount(), 6);
    }

    void orderNameMustBeOneFolderName()
    {
        QVERIFY(writeFile(fixture->data + QStringLiteral("/UserPackageOrderSettings.ini"),
                          QStringLiteral("[orders]\n1\\name=../up\n1\\size=%1\nsize=1\n").arg(4 * C).toUtf8()));
        Session session(*fixture);
        session.pack(3, QStringLiteral("../up"));
        QCOMPARE(rows(&session.dialog)->topLevelItemCount(), 3 + 1); // and huge.bin's row
        MessageBoxCloser boxes;
        click(button(&session.dialog, "pushButtonMove"));
        QTRY_COMPARE(boxes.seen.size(), 1);
        QVERIFY(boxes.seen.at(0).text.contains(QStringLiteral("「../up」")));
        QVERIFY(!QFileInfo::exists(fixture->volume + QStringLiteral("/up")));
        QVERIFY(QFileInfo(fixture->scan + QStringLiteral("/Delta")).isDir());
    }
};

QTEST_MAIN(PackagingDialogTest)
#include "tst_packagingdialog.moc"
