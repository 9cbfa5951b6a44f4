#include "Scan.h"

#include "Arguments.h"
#include "Console.h"
#include "Json.h"

#include "Platform.h"
#include "ScanJob.h"
#include "SizeFormat.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <csignal>

namespace korvo::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

ScanResult scanArgument(const QString& argument, int threads)
{
    ScanResult result;
    const NativePath given = argumentPath(argument);
    bool isFolder = false;
    if (argument.isEmpty() || !platform::entryExists(given, &isFolder)) {
        result.errorString = QStringLiteral("no such file or folder: %1").arg(shownArgument(argument));
        return result;
    }
    const NativePath folder = isFolder ? given : given.parent();
    result.folder = folder.toText();

    ScanJob job;
    job.setFolder(folder);
    EnumerateOptions options;
    options.threads = threads;
    job.setOptions(options);
    ScanOutcome outcome;

    interrupted.store(false);
    auto previous = std::signal(SIGINT, onInterrupt);
    QThread* thread = QThread::create([&] { outcome = job.run(); });
    thread->start();
    const bool terminal = stderrIsTerminal();
    QElapsedTimer clock;
    clock.start();
    qint64 nextReport = 1000;
    bool cancelling = false;
    while (!thread->wait(50)) {
        if (interrupted.load() && !cancelling) {
            job.cancel();
            cancelling = true;
        }
        if (terminal && clock.elapsed() >= nextReport) {
            nextReport += 1000;
            const EnumerateProgress now = job.snapshot();
            printProgressLine(cancelling ? QStringLiteral("キャンセル中...")
                                         : QStringLiteral("ファイル数：%1 フォルダ数：%2 サイズ：%3")
                                               .arg(now.fileCount)
                                               .arg(now.directoryCount)
                                               .arg(formatSize(now.totalSize)));
        }
    }
    delete thread;
    std::signal(SIGINT, previous);
    endProgressLine();

    result.stats = outcome.stats;
    result.unreadable = outcome.unreadable;
    if (outcome.root) {
        for (const UnreadableFolder& folder : outcome.unreadable)
            err() << "korvo-cli: cannot read folder '" << folder.path.toText() << "': " << folder.reason << "\n";
        err().flush();
    }
    if (!outcome.root) {
        result.errorString = QStringLiteral("scan cancelled");
        return result;
    }
    result.root = outcome.root;
    return result;
}

QString jsonUnreadable(const ScanResult& scan)
{
    QStringList paths;
    for (const UnreadableFolder& folder : scan.unreadable)
        paths << jsonString(exactText(folder.path));
    return QStringLiteral("\"unreadableFolderCount\": %1, \"unreadableFolders\": %2")
        .arg(scan.unreadable.size())
        .arg(jsonArray(paths));
}

} // namespace korvo::cli
