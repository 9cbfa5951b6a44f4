// korvo-cli scan: scans a folder with the engine the window uses and prints
// what the window shows after a completed scan, or the figures as JSON.

#include "Arguments.h"
#include "Command.h"
#include "Console.h"
#include "Json.h"
#include "Scan.h"

#include "SizeFormat.h"

#include <QLocale>

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

// Reads the arguments; -1 when the command goes on, else the exit code
// (help shown, or wrong usage, said with the synopsis).
int readArguments(const QStringList& arguments, bool* json, int* threads, QString* folder)
{
    const QString command = QStringLiteral("scan");
    const CommandLine read = readCommandLine(
        arguments, {{QStringLiteral("json")}, {QStringLiteral("threads"), QStringLiteral("a number from 1 to 64")}});
    if (read.help) {
        out() << usage;
        return Success;
    }
    if (!read.problem.isEmpty())
        return usageError(command, read.problem, QLatin1String(synopsis));
    bool ok = true;
    *threads = read.isSet(QStringLiteral("threads")) ? read.value(QStringLiteral("threads")).toInt(&ok) : 0;
    if (!ok || (read.isSet(QStringLiteral("threads")) && (*threads < 1 || *threads > 64)))
        return usageError(command, QStringLiteral("--threads needs a number from 1 to 64"), QLatin1String(synopsis));
    if (read.operands.size() != 1)
        return usageError(command,
                          read.operands.isEmpty() ? QStringLiteral("no folder given") : QStringLiteral("give one folder only"),
                          QLatin1String(synopsis));
    *json = read.isSet(QStringLiteral("json"));
    *folder = read.operands.first();
    return -1;
}

void printJson(const ScanResult& result)
{
    const EnumerateProgress& stats = result.stats;
    const DirectoryNode& root = *result.root;
    out() << "{\n"
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
}

void printText(const ScanResult& result)
{
    const EnumerateProgress& stats = result.stats;
    out() << QStringLiteral("場所：") << result.root->absoluteFilePath() << '\n'
          << QStringLiteral("サイズ：") << formatSize(stats.totalSize) << '\n'
          << QStringLiteral("ディスク上のサイズ：") << formatSize(stats.totalSizeOnDisk) << '\n'
          << QStringLiteral("内容：")
          << QStringLiteral("ファイル数：%1 フォルダ数：%2").arg(stats.fileCount).arg(stats.directoryCount) << '\n'
          << QStringLiteral("列挙完了 経過時間：%1 秒。")
                 .arg(QString::number(stats.listingSeconds + stats.totallingSeconds, 'g', 6))
          << '\n';
}

int scanCommand(const QStringList& arguments)
{
    bool json = false;
    int threads = 0;
    QString folder;
    const int early = readArguments(arguments, &json, &threads, &folder);
    if (early >= 0)
        return early;
    const ScanResult result = scanArgument(folder, threads);
    if (!result.root)
        return failure(QStringLiteral("scan"), result.errorString);
    if (json)
        printJson(result);
    else
        printText(result);
    out().flush();
    keepUntilExit(result.root);
    return Success;
}

const CommandRegistration registration("scan", "scan a folder and print its size and counts", scanCommand);

} // namespace

} // namespace korvo::cli
