// Drives the real packaging dialog (offscreen, as the GUI tests do) over a
// folder of many top-level items: pack, then move every package with its
// listing. A precise 10 ms timer on the GUI thread records the longest gap
// between its ticks in each step: the longest time the window could not
// answer. The same move by korvo-cli over a copy of the folder is timed
// beside it.
//
//   bench_dialog [ITEMS] [FOLDER]    100,000 items of 2 MiB (sparse) by default,
//                                    in FOLDER (default: a temporary folder)

#include "Enumerate.h"
#include "EnumerateProgress.h"
#include "EnumerateWorker.h"
#include "PackagingDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cstdio>

using namespace korvo;

namespace {

// The longest gap between two ticks of a 10 ms timer since reset().
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            longest_ = qMax(longest_, sinceTick_.restart());
        });
        timer_.start();
        sinceTick_.start();
    }
    void reset()
    {
        longest_ = 0;
        sinceTick_.restart();
    }
    qint64 longest() const { return qMax(longest_, sinceTick_.elapsed()); }

private:
    QTimer timer_;
    QElapsedTimer sinceTick_;
    qint64 longest_ = 0;
};

bool makeItems(const QString& folder, int count)
{
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < count; ++i) {
        QFile file(QStringLiteral("%1/f%2").arg(folder).arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(2 * 1024 * 1024))
            return false;
    }
    return true;
}

// Runs the event loop until `signal` of `dialog` comes; the time taken.
template <typename Signal>
qint64 clickAndWait(PackagingDialog& dialog, const char* button, Signal signal)
{
    QSignalSpy spy(&dialog, signal);
    QElapsedTimer clock;
    clock.start();
    dialog.findChild<QPushButton*>(QLatin1String(button))->click();
    while (spy.isEmpty())
        spy.wait(1000);
    return clock.elapsed();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    registerMetaTypes();
    const QStringList arguments = application.arguments();
    const int items = arguments.size() > 1 ? arguments.at(1).toInt() : 100000;
    QTemporaryDir temporary(arguments.size() > 2 ? arguments.at(2) + QStringLiteral("/bench-dialog-XXXXXX")
                                                 : QDir::tempPath() + QStringLiteral("/bench-dialog-XXXXXX"));
    const QString top = temporary.path();
    std::printf("%d items of 2 MiB (sparse), CD packages sorted by name, with listings; in %s\n", items,
                qPrintable(top));
    if (!makeItems(top + QStringLiteral("/gui/items"), items) || !makeItems(top + QStringLiteral("/cli/items"), items)) {
        std::fprintf(stderr, "could not make the items\n");
        return 1;
    }

    std::atomic<bool> cancel{false};
    EnumerateProgress progress;
    const DirectoryNodePtr root = enumerateTree(QDir(top + QStringLiteral("/gui/items")), cancel, progress);
    QDir().mkpath(top + QStringLiteral("/data"));
    PackagingDialog::setDataFolder(top + QStringLiteral("/data"));
    PackagingDialog::setVolumeRoot(top + QStringLiteral("/gui"));
    PackagingDialog::setUrlOpener([](const QUrl&) { return true; });

    PackagingDialog dialog;
    dialog.setRoot(root);
    dialog.show();
    dialog.findChild<QComboBox*>(QStringLiteral("comboBoxSort"))->setCurrentIndex(3);
    // The final report box is closed as soon as it shows.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    boxCloser.start(50);

    StallMeter meter;
    const qint64 packTime = clickAndWait(dialog, "pushButtonPack", &PackagingDialog::packFinished);
    const qint64 packStall = meter.longest();
    dialog.findChild<QCheckBox*>(QStringLiteral("checkBoxSave"))->setChecked(true);
    meter.reset();
    const qint64 moveTime = clickAndWait(dialog, "pushButtonMove", &PackagingDialog::moveFinished);
    const qint64 moveStall = meter.longest();

    QElapsedTimer clock;
    clock.start();
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/korvo-cli"),
              {QStringLiteral("move"), QStringLiteral("--order"), QStringLiteral("CD"), QStringLiteral("--sort"),
               QStringLiteral("name-asc"), QStringLiteral("--listing"), QStringLiteral("--volume-root"),
               top + QStringLiteral("/cli"), top + QStringLiteral("/cli/items")});
    cli.waitForFinished(-1);
    const qint64 cliTime = clock.elapsed();
    if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0)
        std::fprintf(stderr, "korvo-cli move failed (exit %d)\n", cli.exitCode());

    std::printf("\n%-28s %16s %12s\n", "step", "longest stall", "time");
    std::printf("%-28s %13lld ms %9.2f s\n", "dialog: pack", packStall, packTime / 1000.0);
    std::printf("%-28s %13lld ms %9.2f s\n", "dialog: move with listings", moveStall, moveTime / 1000.0);
    std::printf("%-28s %16s %9.2f s\n", "korvo-cli move --listing", "", cliTime / 1000.0);
    std::printf("\ndialog move / korvo-cli move: %.2fx (target 1.5x); longest stall target 100 ms\n",
                double(moveTime) / qMax<qint64>(1, cliTime));
    return 0;
}
