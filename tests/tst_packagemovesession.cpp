// The packaging dialog's move session without a widget or a worker: a
// scripted move plays each step, and the session's lines, boxes and summary
// are what the user would read.

#include "FileNode.h"
#include "MoveTexts.h"
#include "PackageMoveSession.h"
#include "PackageTarget.h"

#include <QDir>
#include <QtTest>

using namespace korvo;

namespace {

// One step of a scripted move.
struct Step
{
    enum Kind { Moved, Failed, Unfinished } kind = Moved;
    int number = 1;
    bool listingFails = false;
    bool imageFails = false;
    bool leftItemsBehind = false;
};

PackageMoveResult resultOf(const Step& step)
{
    PackageMoveResult result;
    result.index = step.number - 1;
    result.folder.number = step.number;
    result.folder.text = QStringLiteral("/v/korvo_pack/CD/L/%1/").arg(step.number);
    result.folder.listingText = QStringLiteral("/v/korvo_pack/CD/L/%1.xml").arg(step.number);
    result.moved = step.kind != Step::Failed;
    if (step.kind != Step::Moved)
        result.error = QStringLiteral("Sync folder failed.\r\n");
    result.journalLeft = step.kind == Step::Unfinished || step.leftItemsBehind;
    result.leftItemsBehind = step.leftItemsBehind;
    result.listingTried = result.moved;
    result.listingWritten = result.moved && !step.listingFails;
    if (step.listingFails)
        result.listingError = QStringLiteral("full");
    result.imageTried = result.moved;
    result.imageWritten = result.moved && !step.imageFails;
    result.imageText = QStringLiteral("/v/korvo_pack/CD/L/%1.iso").arg(step.number);
    if (step.imageFails)
        result.imageError = QStringLiteral("no room");
    return result;
}

} // namespace

Q_DECLARE_METATYPE(Step)

class PackageMoveSessionTest : public QObject
{
    Q_OBJECT

private slots:
    // Each package's line carries its own reports; a failed listing or image
    // has its box right after that line; the move ends on one summary of
    // every failure, with recover named where a journal stays.
    void linesBoxesAndSummary_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("boxes");  // titles, in order
        QTest::addColumn<QString>("lastLine");   // the status the move ends on
        QTest::addColumn<int>("leftOut");        // items the packing left out
        const QString base = QDir::toNativeSeparators(
            QDir::cleanPath(PackageTarget::baseFolder(QStringLiteral("/v"), QStringLiteral("CD"), QStringLiteral("L"))));
        const QString recover = QStringLiteral("Run 'korvo-cli recover \"%1\"' to undo it before moving again.").arg(base);
        QTest::newRow("all moved") << QList<Step>{{Step::Moved, 1}, {Step::Moved, 2}} << QStringList()
                                   << QString() << 0;
        // Items in no package are named again at the end, success or not.
        QTest::newRow("all moved, items left out") << QList<Step>{{Step::Moved, 1}, {Step::Moved, 2}} << QStringList()
                                                   << QString() << 2;
        QTest::newRow("one failed, an item left out")
            << QList<Step>{{Step::Moved, 1}, {Step::Failed, 2}} << QStringList{QStringLiteral("パッケージの移動")}
            << QStringLiteral("パッケージ2の移動に失敗しました。\r\n") + MoveTexts::leftOutLine(1) << 1;
        QTest::newRow("listing and image of the first fail")
            << QList<Step>{{Step::Moved, 1, true, true}, {Step::Moved, 2}}
            << QStringList{QStringLiteral("エクスポートの報告"), QStringLiteral("イメージの報告")}
            << QStringLiteral("パッケージ1のイメージの作成に失敗しました。") << 0;
        QTest::newRow("one failed, items left behind")
            << QList<Step>{{Step::Moved, 1}, {Step::Failed, 2, false, false, true}}
            << QStringList{QStringLiteral("パッケージの移動")}
            << QStringLiteral("パッケージ2の移動に失敗しました。\r\n元の場所へ戻せなかった項目がパッケージフォルダに残っています。"
                              "項目名は「Move back failed」の行にあります。\r\n")
                   + recover
            << 0;
        QTest::newRow("one not finished")
            << QList<Step>{{Step::Unfinished, 1}, {Step::Moved, 2, false, true}}
            << QStringList{QStringLiteral("イメージの報告"), QStringLiteral("パッケージの移動")}
            << QStringLiteral("パッケージ1の移動に失敗しました。\r\nパッケージ2のイメージの作成に失敗しました。\r\n") + recover
            << 0;
    }

    void linesBoxesAndSummary()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(QStringList, boxes);
        QFETCH(QString, lastLine);
        QFETCH(int, leftOut);
        QStringList shown;
        QStringList boxTexts;
        PackageMoveSession::Presenter presenter;
        presenter.inform = presenter.warn = [&](const QString& title, const QString& text) {
            shown << title;
            boxTexts << text;
        };
        QList<PackagePtr> packages;
        for (int i = 0; i < steps.size(); ++i)
            packages << PackagePtr(new Package);
        PackageMoveSession session(DirectoryNodePtr(), packages, presenter);
        QSignalSpy ended(&session, &PackageMoveSession::ended);
        PackageMoveRequest request;
        request.volumeRoot = NativePath::fromText(QStringLiteral("/v"));
        request.orderName = QStringLiteral("CD");
        request.label = QStringLiteral("L");
        for (int i = 0; i < leftOut; ++i)
            request.leftOut << PackagablePtr(new FileNode(QStringLiteral("/s"), QStringLiteral("big%1").arg(i), 9, 9, NodeTimes()));
        session.prepare(request);
        for (const Step& step : steps) {
            const PackageMoveResult result = resultOf(step);
            session.packageStarted(result);
            // A box opened for this package comes before any later package.
            const int boxesBefore = shown.size();
            session.packageEnded(result);
            for (int i = boxesBefore; i < shown.size(); ++i)
                QVERIFY(boxTexts.at(i).contains(QStringLiteral("%1.").arg(step.number)));
        }
        PackageMoveSession::JobEnd end;
        end.numberBase = 0;
        session.jobEnded(end);

        QCOMPARE(shown, boxes);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(session.numberBase(), 0);
        // One line per package, each with its own reports, then the summary.
        QCOMPARE(session.log().size(), steps.size() + (lastLine.isEmpty() ? 0 : 1));
        for (int i = 0; i < steps.size(); ++i) {
            const QString line = session.log().at(i);
            QVERIFY2(line.startsWith(QStringLiteral("パッケージ%1を").arg(steps.at(i).number)), qPrintable(line));
            if (steps.at(i).kind != Step::Failed)
                QVERIFY2(line.contains(QStringLiteral("%1.iso").arg(steps.at(i).number))
                             && !line.contains(QStringLiteral("%1.iso").arg(steps.at(i).number + 1)),
                         qPrintable(line));
        }
        if (!lastLine.isEmpty())
            QCOMPARE(session.log().last(), lastLine);
        if (leftOut > 0) {
            QVERIFY(session.log().last().endsWith(QStringLiteral("\r\n") + MoveTexts::leftOutLine(leftOut)));
            QCOMPARE(MoveTexts::leftOutLine(leftOut),
                     QStringLiteral("上限を超えるため、パッケージに入らない項目が%1個あります。").arg(leftOut));
        }
    }

    // A move refused for interrupted moves that the user does not undo, or
    // for a journal korvo did not write, ends with nothing moved and says
    // why; only the interrupted one is offered for undoing.
    void refusedMoves()
    {
        int asked = 0;
        QStringList warned;
        PackageMoveSession::Presenter presenter;
        presenter.ask = [&](const QString&, const QString&) {
            ++asked;
            return false;
        };
        presenter.warn = [&](const QString&, const QString& text) { warned << text; };
        PackageMoveSession session(DirectoryNodePtr(), {}, presenter);
        QSignalSpy ended(&session, &PackageMoveSession::ended);
        PackageMoveSession::JobEnd end;
        end.outcome = PackageMoveJob::Refused;
        end.interrupted = true;
        end.errorString = QStringLiteral("パッケージ1の移動が中断されたままです: x\r\n");
        session.jobEnded(end);
        QCOMPARE(asked, 1);
        QCOMPARE(session.log().last(), QStringLiteral("中断された移動が残っているため、移動しませんでした。"));

        end.journalRefused = true;
        end.errorString = QStringLiteral("Journal refused, nothing was changed.\r\n");
        session.jobEnded(end);
        QCOMPARE(asked, 1);
        QCOMPARE(warned, QStringList{QStringLiteral("Journal refused, nothing was changed.")});
        QCOMPARE(ended.size(), 2);
        QVERIFY(ended.at(0).first().toBool() && ended.at(1).first().toBool());
    }
};

QTEST_GUILESS_MAIN(PackageMoveSessionTest)
#include "tst_packagemovesession.moc"
