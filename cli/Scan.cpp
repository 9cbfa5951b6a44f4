#include "Scan.h"

#include "Arguments.h"
#include "Json.h"

#include "Platform.h"
#include "ScanJob.h"
#include "SizeFormat.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace korvo::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
}

bool progressLineOpen = false;

} // namespace

bool stderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

void printProgressLine(const QString& text)
{
    std::fprintf(stderr, "\r\033[K%s", text.toLocal8Bit().constData());
    std::fflush(stderr);
    progressLineOpen = true;
}

void endProgressLine()
{
    if (!progressLineOpen)
        return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    progressLineOpen = false;
}

void clearProgressLine()
{
    if (!progressLineOpen)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    progressLineOpen = false;
}

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
        for (const UnreadableFolder& folder : outcome.unreadable) {
            const QString line = QStringLiteral("korvo-cli: cannot read folder '%1': %2\n")
                                     .arg(folder.path.toText(), folder.reason);
            std::fputs(line.toLocal8Bit().constData(), stderr);
        }
        std::fflush(stderr);
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
    return QStringLiteral("\"unreadableFolderCount\": %1, \"unreadableFolders\": [%2]")
        .arg(scan.unreadable.size())
        .arg(paths.join(QStringLiteral(", ")));
}

} // namespace korvo::cli
