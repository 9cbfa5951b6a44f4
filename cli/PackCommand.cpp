// korvo-cli pack DIR: split a folder's top-level items into packages within
// a size limit and show them, as the packaging dialog's pack step does.

#include "Command.h"
#include "Console.h"
#include "Json.h"
#include "PackOptions.h"

#include "FileNode.h"
#include "PackTexts.h"
#include "SizeFormat.h"

namespace korvo::cli {

namespace {

QString percentOf(qint64 sizeOnDisk, qint64 limit)
{
    const double percent = limit > 0 ? 100.0 * double(sizeOnDisk) / double(limit) : 100.0;
    return QString::number(percent, 'f', 1) + QLatin1Char('%');
}

const char* const PackHelp =
    "Usage: korvo-cli pack [OPTIONS] DIR\n"
    "\n"
    "Scans DIR (a file stands for the folder that holds it) and splits its\n"
    "top-level items (its files, and its subfolders taken whole unless\n"
    "--split-folders is given) into packages\n"
    "whose size on disk stays within a limit. Prints each package with its\n"
    "number, item count, size, size on disk and how full it is, then its items\n"
    "(folders with a trailing /), then the items left out because each alone\n"
    "exceeds the limit. A line after the first says at least how many packages\n"
    "any packing needs. With --image, each package is sized by what its image\n"
    "takes, and its line gives the most that image takes. Nothing on disk\n"
    "changes.\n"
    "\n";

const char* const PackJsonHelp =
    "  --json         print one JSON object instead:\n"
    "                 {\"order\", \"limit\", \"sort\", \"image\", \"packages\": [{\"number\",\n"
    "                 \"size\", \"sizeOnDisk\", \"items\" (and with --image \"imageAtMost\")}],\n"
    "                 \"lowerBound\" (at least how many packages any packing\n"
    "                 needs), \"excluded\", \"unreadableFolderCount\",\n"
    "                 \"unreadableFolders\"}\n"
    "\n"
    "Exit status: 0 packed, 1 the scan failed, 2 wrong usage.\n";

void printJson(const PackOptions& options, const QList<PackagePtr>& packages, int lowerBound,
               const QList<PackagablePtr>& excluded, const ScanResult& scan)
{
    QStringList packageTexts;
    for (int i = 0; i < packages.size(); ++i) {
        const PackagePtr& package = packages[i];
        // With an image, the most that package's image takes.
        const QString image = options.image == ImageFormat::None
                                  ? QString()
                                  : QStringLiteral(", \"imageAtMost\": %1").arg(package->weight);
        packageTexts << QStringLiteral("{\"number\": %1, \"size\": %2, \"sizeOnDisk\": %3, \"items\": %4%5}")
                            .arg(i + 1)
                            .arg(package->size)
                            .arg(package->sizeOnDisk)
                            .arg(jsonNames(package->items, scan.root->path()), image);
    }
    out() << "{" << jsonOrder(options) << ", \"packages\": " << jsonArray(packageTexts)
          << ", \"lowerBound\": " << lowerBound << ", \"excluded\": " << jsonNames(excluded, scan.root->path())
          << ", " << jsonUnreadable(scan) << "}\n";
}

void printText(const PackOptions& options, const QList<PackagePtr>& packages, int lowerBound,
               const QList<PackagablePtr>& excluded, const ScanResult& scan)
{
    out() << options.order.name << ": " << formatSize(options.order.size) << ", sort " << options.sortName
          << ", " << packages.size() << (packages.size() == 1 ? " package" : " packages") << "\n";
    if (!packages.isEmpty())
        out() << PackTexts::countLine(packages.size(), lowerBound) << "\n";
    for (int i = 0; i < packages.size(); ++i) {
        const PackagePtr& package = packages[i];
        out() << "#" << (i + 1) << "  " << package->items.size() << (package->items.size() == 1 ? " item" : " items")
              << "  size " << formatSize(package->size) << "  on disk " << formatSize(package->sizeOnDisk) << "  "
              << percentOf(package->sizeOnDisk, options.order.size);
        if (options.image != ImageFormat::None)
            out() << "  image at most " << formatSize(package->weight) << "  "
                  << percentOf(package->weight, options.order.size);
        out() << "\n";
        for (const PackagablePtr& item : package->items)
            out() << "    " << shownName(item, scan.root->path()) << "\n";
    }
    out() << "Left out (larger than the limit on their own): " << excluded.size() << "\n";
    for (const PackagablePtr& item : excluded)
        out() << "    " << shownName(item, scan.root->path()) << "  " << formatSize(item->totalSizeOnDisk()) << "\n";
}

int packCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("pack");
    const CommandLine read = readCommandLine(arguments, packOptions());
    if (read.help) {
        out() << PackHelp << PackOptionsHelp << PackJsonHelp;
        return Success;
    }
    PackOptions options;
    const QString problem = read.problem.isEmpty() ? readPackOptions(read, options) : read.problem;
    if (!problem.isEmpty())
        return usageError(command, problem);

    ScanResult scan;
    QList<PackagePtr> packages;
    QList<PackagablePtr> excluded;
    int lowerBound = 0;
    if (!scanAndPack(command, options, scan, packages, excluded, &lowerBound))
        return Failure;
    if (options.json)
        printJson(options, packages, lowerBound, excluded, scan);
    else
        printText(options, packages, lowerBound, excluded, scan);
    return Success;
}

const CommandRegistration packRegistration("pack", "split a folder's top-level items into packages", packCommand);

} // namespace

} // namespace korvo::cli
