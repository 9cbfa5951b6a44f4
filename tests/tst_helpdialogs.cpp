// The Help menu's dialogs: about, library list and library details.

#include "AboutDialog.h"
#include "GuiSupport.h"
#include "ImageFormat.h"
#include "LibraryDetailDialog.h"
#include "LibraryDialog.h"
#include "MainWindow.h"
#include "MainWindowSupport.h"
#include "QtTranslation.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTranslator>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace korvo;
using namespace korvo::test;

namespace {

QAction* helpEntry(const MainWindow& window, const QString& text)
{
    for (QAction* top : window.menuBar()->actions()) {
        if (top->text() != QStringLiteral("ヘルプ(&H)") || !top->menu())
            continue;
        for (QAction* action : top->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
    }
    return nullptr;
}

bool isFixedAt(const QWidget* widget, const QSize& size)
{
    return widget->size() == size && widget->minimumSize() == size && widget->maximumSize() == size;
}

} // namespace

class HelpDialogsTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<ScopedSettingsFile> settingsFile;
    std::unique_ptr<MainWindow> window;

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        settingsFile = std::make_unique<ScopedSettingsFile>(dir);
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window->close();
        window->close();
        window.reset();
        settingsFile.reset();
        QCOMPARE(visibleTopLevelWindows(), QStringList());
    }

    void aboutShowsNameVersionAndNotice()
    {
        QAction* about = helpEntry(*window, QStringLiteral("アバウト(&A)"));
        QVERIFY(about);
        QString title, text, objectName;
        bool fixed = false;
        QWidget* parent = nullptr;
        ModalWatcher watcher([&](QWidget* modal) {
            auto* dialog = qobject_cast<AboutDialog*>(modal);
            if (!dialog || !title.isEmpty())
                return;
            title = dialog->windowTitle();
            objectName = dialog->objectName();
            parent = dialog->parentWidget();
            fixed = isFixedAt(dialog, QSize(371, 140));
            text = dialog->findChild<QTextBrowser*>(QStringLiteral("pidrTextBrowser"))->toPlainText();
            auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("okButtonBox"));
            box->button(QDialogButtonBox::Close)->click();
        });
        about->trigger();

        QCOMPARE(title, QStringLiteral("korvoについて"));
        QCOMPARE(objectName, QStringLiteral("AboutDialog"));
        QCOMPARE(parent, window.get());
        QVERIFY(fixed);
        QCOMPARE(text.split(QLatin1Char('\n')),
                 QStringList({QStringLiteral("korvo : フォルダ一覧・パッケージ化ツール ver 1.0.0"), QString(),
                              QStringLiteral("Copyright (C) 2026 The korvo authors"), QString()}));
        // Destroyed when its modal run returned.
        QVERIFY(!window->findChild<AboutDialog*>());
    }

    void libraryListOpensTheDetails()
    {
        QAction* library = helpEntry(*window, QStringLiteral("ライブラリ(&A)"));
        QVERIFY(library);

        struct
        {
            bool fixed = false;
            bool headerHidden = false;
            QStringList items;
            QString headerLabel;
            bool enabledBeforeClick = true;
            bool enabledAfterClick = false;
            QString detailTitle;
            QString detailPlain;
            QString detailHtml;
            bool detailFixed = false;
            bool detailParentIsLibrary = false;
            bool libraryOpenAfterDetail = false;
            bool done = false;
        } seen;

        ModalWatcher watcher([&](QWidget* modal) {
            auto* dialog = qobject_cast<LibraryDialog*>(modal);
            if (!dialog || seen.done)
                return;
            seen.done = true;
            seen.fixed = isFixedAt(dialog, QSize(240, 180));
            auto* tree = dialog->findChild<QTreeWidget*>(QStringLiteral("treeWidget"));
            auto* detail = dialog->findChild<QPushButton*>(QStringLiteral("detailPushButton"));
            seen.headerHidden = tree->isHeaderHidden();
            seen.headerLabel = tree->headerItem()->text(0);
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                seen.items << tree->topLevelItem(i)->text(0);
            seen.enabledBeforeClick = detail->isEnabled();
            const QRect itemRect = tree->visualItemRect(tree->topLevelItem(0));
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, itemRect.center());
            seen.enabledAfterClick = detail->isEnabled();

            // The details open modally on top; a second watcher reads and
            // closes them.
            ModalWatcher detailWatcher([&](QWidget* inner) {
                auto* details = qobject_cast<LibraryDetailDialog*>(inner);
                if (!details || !seen.detailTitle.isEmpty())
                    return;
                seen.detailTitle = details->windowTitle();
                seen.detailFixed = isFixedAt(details, QSize(318, qMax(253, details->height())));
                seen.detailParentIsLibrary = details->parentWidget() == dialog;
                auto* browser = details->findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
                seen.detailPlain = browser->toPlainText();
                seen.detailHtml = browser->toHtml();
                details->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                    ->button(QDialogButtonBox::Close)
                    ->click();
            });
            QTest::mouseClick(detail, Qt::LeftButton);
            seen.libraryOpenAfterDetail = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                ->button(QDialogButtonBox::Close)
                ->click();
        });
        library->trigger();

        QVERIFY(seen.done);
        QVERIFY(seen.fixed);
        QVERIFY(seen.headerHidden);
        QCOMPARE(seen.headerLabel, QStringLiteral("名前"));
        QStringList shipped{QStringLiteral("Qt")};
        if (ImageFormats::available())
            shipped << QStringLiteral("libarchive") << QStringLiteral("zlib");
#ifdef Q_OS_WIN
        shipped << QStringLiteral("libstdc++") << QStringLiteral("libgcc_s") << QStringLiteral("libwinpthread");
#endif
        QCOMPARE(seen.items, shipped);
        QVERIFY(!seen.enabledBeforeClick);
        QVERIFY(seen.enabledAfterClick);

        QCOMPARE(seen.detailTitle, QStringLiteral("ライブラリの詳細"));
        QVERIFY(seen.detailFixed);
        QVERIFY(seen.detailParentIsLibrary);
        QVERIFY(seen.detailPlain.startsWith(QStringLiteral("Qt\n")));
        QVERIFY2(seen.detailPlain.contains(QStringLiteral("Version: ") + QString::fromLatin1(qVersion())),
                 qPrintable(seen.detailPlain));
        QVERIFY(seen.detailPlain.contains(QStringLiteral("License: LGPL v3")));
        QVERIFY(!seen.detailPlain.contains(QStringLiteral("5.2.0")));
        QVERIFY(!seen.detailPlain.contains(QStringLiteral("2.1")));
        QVERIFY(seen.detailPlain.contains(QStringLiteral("The Qt Company")));
        QVERIFY(seen.detailHtml.contains(QStringLiteral("href=\"https://www.qt.io/\"")));
        QVERIFY(seen.detailHtml.contains(QStringLiteral("href=\"https://doc.qt.io/qt-5/lgpl.html\"")));
        QVERIFY(seen.libraryOpenAfterDetail);
        QVERIFY(!window->findChild<LibraryDialog*>());
    }

    // The whole text shows without scrolling: where the font needs more room
    // than the form's, the text and the dialog grow by what is missing and
    // the buttons move down with the same gap, as far as the screen allows.
    void detailTextIsWhole_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<bool>("fitsOnScreen");
        QTest::newRow("small font") << 6 << true;
        QTest::newRow("large font") << 14 << true;
        QTest::newRow("taller than the screen") << 72 << false;
    }
    void detailTextIsWhole()
    {
        QFETCH(int, pointSize);
        QFETCH(bool, fitsOnScreen);
        const QFont saved = QApplication::font();
        auto restore = qScopeGuard([&] { QApplication::setFont(saved); });
        QFont font = saved;
        font.setPointSize(pointSize);
        QApplication::setFont(font);

        LibraryDetailDialog dialog;
        dialog.libraryIndex = 0;
        dialog.updateText();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* browser = dialog.findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("The Qt Company")));
        if (fitsOnScreen) {
            QTRY_COMPARE(browser->verticalScrollBar()->maximum(), 0);
        } else {
            // The rest of the text is reached by scrolling.
            QVERIFY(dialog.height() <= QGuiApplication::primaryScreen()->availableGeometry().height());
            QTRY_VERIFY(browser->verticalScrollBar()->maximum() > 0);
        }
        const int grown = browser->height() - 192;
        QVERIFY(grown >= 0);
        QCOMPARE(browser->geometry(), QRect(10, 10, 291, 192 + grown));
        QCOMPARE(buttons->geometry(), QRect(140, 220 + grown, 156, 23));
        QVERIFY(isFixedAt(&dialog, QSize(318, 253 + grown)));
        if (pointSize > 12)
            QVERIFY(grown > 0);
    }

    // Every library after Qt names its version (the one it runs with),
    // home page, licence and licence text.
    void everyLibraryHasItsDetails()
    {
        QVERIFY(libraryCount() >= (ImageFormats::available() ? 3 : 1));
        for (int i = 0; i < libraryCount(); ++i) {
            const LibraryInfo info = libraryInfo(i);
            QVERIFY2(!info.version.isEmpty() && info.version.at(0).isDigit(), qPrintable(info.name + info.version));
            QVERIFY2(info.homePage.startsWith(QStringLiteral("https://")) && info.licenceUrl.startsWith(QStringLiteral("https://"))
                         && !info.licence.isEmpty() && !info.copyright.isEmpty(),
                     qPrintable(info.name));
            LibraryDetailDialog dialog;
            dialog.libraryIndex = i;
            dialog.updateText();
            const QString plain = dialog.findChild<QTextBrowser*>(QStringLiteral("textBrowser"))->toPlainText();
            QVERIFY2(plain.startsWith(info.name + QLatin1Char('\n')) && plain.contains(QStringLiteral("Version: ") + info.version)
                         && plain.contains(QStringLiteral("License: ") + info.licence),
                     qPrintable(plain));
        }
        if (ImageFormats::available())
            QCOMPARE(libraryInfo(1).version, ImageFormats::libraryVersion());
    }

    // With Qt's translation installed, as the program does, Qt's standard
    // buttons speak Japanese; the dialogs' own texts stay as they are.
    void qtButtonsInJapanese()
    {
        QString error;
        QVERIFY2(installQtTranslation(qApp, &error), qPrintable(error));
        const auto remove = qScopeGuard([] {
            for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
                QCoreApplication::removeTranslator(translator);
                delete translator;
            }
        });
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Close
                                 | QDialogButtonBox::Yes | QDialogButtonBox::No);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QCOMPARE(buttons.button(QDialogButtonBox::Close)->text(), QStringLiteral("閉じる"));
        QCOMPARE(buttons.button(QDialogButtonBox::Yes)->text(), QStringLiteral("はい(&Y)"));
        QCOMPARE(buttons.button(QDialogButtonBox::No)->text(), QStringLiteral("いいえ(&N)"));
        LibraryDialog library;
        QCOMPARE(library.windowTitle(), QStringLiteral("ライブラリ"));
        QCOMPARE(library.findChild<QPushButton*>(QStringLiteral("detailPushButton"))->text(), QStringLiteral("詳細"));
        QCOMPARE(library.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Close)->text(),
                 QStringLiteral("閉じる"));
    }

    void detailsOfAnUnknownLibraryAreEmpty()
    {
        LibraryDetailDialog dialog;
        QCOMPARE(dialog.libraryIndex, -1);
        dialog.updateText();
        const QString plain = dialog.findChild<QTextBrowser*>(QStringLiteral("textBrowser"))->toPlainText();
        QVERIFY(plain.contains(QStringLiteral("Version: \n")));
        QVERIFY(!plain.contains(QStringLiteral("Qt")));
        QCOMPARE(libraryName(0), QStringLiteral("Qt"));
        QCOMPARE(libraryName(libraryCount()), QString());
        QCOMPARE(libraryName(-1), QString());
        auto* browser = dialog.findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
        QCOMPARE(browser->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(browser->openExternalLinks());
    }
};

QTEST_MAIN(HelpDialogsTest)
#include "tst_helpdialogs.moc"
