// korvo-cli scan: scans a folder with the engine the window uses and prints
// what the window shows after a completed scan, or the figures as JSON.

#include "Command.h"
#include "Json.h"
#include "Scan.h"

#include "SizeFormat.h"

#include <QLocale>
#include <QTextStream>

namespace korvo::cli {

namespace {

const char* const synopsis = "Usage: korvo-cli scan [--json] [--threads N] DIR\n";
const char* const usage =
    "Usage: korvo-cli scan [--json] [--threads N] DIR\n"
    "\n"
    "Scans the folder DIR (a file stands for the folder that holds it) and prints,\n"
    "one per line, what korvo's window shows after the scan: the folder, its size,\n"
    "its size on disk, its file and folder counts and the time the scan took.\n"
    "\n"
    "  --json      print one JSON object instead, with the keys path, totalSize,\n"
    "              totalSizeOnDisk, totalFileCount, totalSubdirectoryCount (the\n"
    "              root folder's totals), fileCount, directoryCount (the counts of\n"
    "              the scan, the root folder not counted), listingSeconds and\n"
    "              totallingSeconds (the two phases of the scan),\n"
    "              unreadableFolderCount and unreadableFolders (the folders\n"
    "              that could not be listed)\n"
    "  --threads N list folders on N threads, 1 to 64 (default: KORVO_SCAN_THREADS\n"
    "              when set, else four per processor, 4 to 32, on a local disk\n"
    "              and 64 on a network share or FUSE file system); the result\n"
    "              is the same for any N\n"
    "  -h, --help  show this text\n"
    "\n"
    "On a terminal the running counts appear on stderr once a second; Ctrl-C\n"
    "cancels the scan. A folder that cannot be listed counts as empty, and gets\n"
    "one warning line on stderr with the system's reason.\n"
    "Exit status: 0 when the scan completed, 1 when it failed or was cancelled,\n"
    "2 when the command line is wrong.\n";

// Keeps the scanned tree until the process ends: freeing a tree of a
// million nodes one by one takes a noticeable share of the scan's own time,
// and the system takes the memory back at once when the process exits.
void keepUntilExit(const DirectoryNodePtr& root)
{
    static auto* const kept = new DirectoryNodePtr;
    *kept = root;
}

// Seconds as JSON numbers: the shortest text that gives back the double.
QString jsonSeconds(double seconds)
{
    return QString::number(seconds, 'g', QLocale::FloatingPointShortest);
}

int scanCommand(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");

    bool json = false;
    int threads = 0;
    QStringList folders;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument == QLatin1String("--threads")) {
            bool ok = false;
            threads = i + 1 < arguments.size() ? arguments.at(++i).toInt(&ok) : 0;
            if (!ok || threads < 1 || threads > 64) {
                err << "korvo-cli scan: --threads needs a number from 1 to 64\n" << synopsis;
                return UsageError;
            }
        } else if (!optionsEnded && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            out << usage;
            return Success;
        } else if (!optionsEnded && argument == QLatin1String("--json")) {
            json = true;
        } else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            err << "korvo-cli scan: unknown option '" << argument << "'\n" << synopsis;
            return UsageError;
        } else {
            folders << argument;
        }
    }
    if (folders.size() != 1) {
        err << (folders.isEmpty() ? "korvo-cli scan: no folder given\n" : "korvo-cli scan: give one folder only\n")
            << synopsis;
        return UsageError;
    }

    const ScanResult result = scanArgument(folders.first(), threads);
    if (!result.root) {
        err << "korvo-cli scan: " << result.errorString << '\n';
        return Failure;
    }

    const EnumerateProgress& stats = result.stats;
    const DirectoryNode& root = *result.root;
    if (json) {
        out << "{\n"
            << "  \"path\": " << jsonString(root.absoluteFilePath()) << ",\n"
            << "  \"totalSize\": " << root.totalSize() << ",\n"
            << "  \"totalSizeOnDisk\": " << root.totalSizeOnDisk() << ",\n"
            << "  \"totalFileCount\": " << root.totalFileCount() << ",\n"
            << "  \"totalSubdirectoryCount\": " << root.totalSubdirectoryCount() << ",\n"
            << "  \"fileCount\": " << stats.fileCount << ",\n"
            << "  \"directoryCount\": " << stats.directoryCount << ",\n"
            << "  \"listingSeconds\": " << jsonSeconds(stats.listingSeconds) << ",\n"
            << "  \"totallingSeconds\": " << jsonSeconds(stats.totallingSeconds) << ",\n"
            << "  " << jsonUnreadable(result) << "\n"
            << "}\n";
    } else {
        out << QStringLiteral("場所：") << root.absoluteFilePath() << '\n'
            << QStringLiteral("サイズ：") << formatSize(stats.totalSize) << '\n'
            << QStringLiteral("ディスク上のサイズ：") << formatSize(stats.totalSizeOnDisk) << '\n'
            << QStringLiteral("内容：")
            << QStringLiteral("ファイル数：%1 フォルダ数：%2").arg(stats.fileCount).arg(stats.directoryCount) << '\n'
            << QStringLiteral("列挙完了 経過時間：%1 秒。")
                   .arg(QString::number(stats.listingSeconds + stats.totallingSeconds, 'g', 6))
            << '\n';
    }
    out.flush();
    keepUntilExit(result.root);
    return Success;
}

const CommandRegistration registration("scan", "scan a folder and print its size and counts", scanCommand);

} // namespace

} // namespace korvo::cli
