// korvo-cli move DIR: pack a folder's top-level items as korvo-cli pack does
// and move chosen packages into numbered folders, as the packaging dialog
// does, through the same mover.

#include "Arguments.h"
#include "Command.h"
#include "Console.h"
#include "Json.h"
#include "PackOptions.h"
#include "PackageChecksums.h"

#include "PackageListing.h"
#include "PackageMover.h"
#include "PackageTarget.h"
#include "Platform.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <set>

namespace korvo::cli {

namespace {

// Ctrl-C while packages move: the package being moved finishes (it is all or
// nothing), and no further package starts.
std::atomic<bool> stopRequested{false};

extern "C" void onStopRequest(int)
{
    stopRequested.store(true);
}

// "1,3,5-7" into package indexes (0-based); false with a message when a
// number is not one of 1 to `count`.
bool readPackageList(const QString& text, int count, std::set<int>& indexes, QString& problem)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        problem = QStringLiteral("--packages needs package numbers, such as 1,3 or 2-4");
        return false;
    }
    for (const QString& rawPart : parts) {
        const QString part = rawPart.trimmed();
        const int dash = part.indexOf(QLatin1Char('-'), 1);
        bool okFirst = false;
        bool okLast = false;
        const int first = (dash < 0 ? part : part.left(dash)).toInt(&okFirst, 10);
        const int last = dash < 0 ? first : part.mid(dash + 1).toInt(&okLast, 10);
        if (!okFirst || (dash >= 0 && !okLast) || first > last) {
            problem = QStringLiteral("'%1' in --packages is not a package number or range").arg(part);
            return false;
        }
        if (first < 1 || last > count) {
            problem = count == 0 ? QStringLiteral("there are no packages to choose from")
                                 : QStringLiteral("package %1 does not exist (the packing made %2)")
                                       .arg(first < 1 ? first : last)
                                       .arg(count);
            return false;
        }
        for (int number = first; number <= last; ++number)
            indexes.insert(number - 1);
    }
    return true;
}

// The dialog's texts end with CR LF; a terminal wants plain lines.
QString asLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// What korvo-cli move was asked for, beyond the shared pack options.
struct MoveRequest
{
    PackOptions options;
    QString label;
    bool packagesGiven = false; // else every package moves
    QString packageList;
    NativePath volumeRoot; // empty: where the scanned folder's packages go
    bool listing = false;
    bool checksums = false;
    bool dryRun = false;
};

// What became of one chosen package.
struct PackageReport
{
    int index = 0;
    int number = -1;      // its folder number; below 1 when none could be given
    QString folder;       // its folder text
    bool moved = false;
    QString listing;      // the listing written, empty when none was
    QString error;        // why it did not move, or why its listing or manifest failed
};

const char* const MoveHelp =
    "Usage: korvo-cli move [OPTIONS] DIR\n"
    "\n"
    "Packs DIR as 'korvo-cli pack' does and moves the chosen packages, each all\n"
    "or nothing and never replacing anything, into numbered folders:\n"
    "  VOLUME_ROOT/korvo_pack/ORDER/LABEL/N\n"
    "where N continues after the largest number already there (folders and\n"
    "N.xml listings alike). A package only goes into a folder it creates: when\n"
    "N or N.xml exists by then, it takes the next number free for both. An item\n"
    "that is no longer the one scanned (replaced, or a file of another size)\n"
    "fails its package. Prints one line per package.\n"
    "\n";

const char* const MoveOptionsHelp =
    "  --label TEXT        the label folder (default empty: the packages go right\n"
    "                      under the order's folder); one folder name\n"
    "  --packages LIST     package numbers to move, such as 1,3 or 2-4 (default all)\n"
    "  --listing           write an XML listing N.xml of each moved package beside\n"
    "                      its folder\n"
    "  --checksums         write a SHA-256 manifest N.sha256 of each moved package\n"
    "                      beside its folder ('korvo-cli verify' and\n"
    "                      'sha256sum -c' check it)\n"
    "  --volume-root DIR   where korvo_pack goes (default: the mount point of the\n"
    "                      file system that holds DIR when you may create folders\n"
    "                      there, else the highest folder above DIR on it where\n"
    "                      you may, such as your home folder)\n"
    "  --dry-run           print what would move where; touch nothing\n"
    "  --json              print one JSON object describing the outcome\n"
    "\n"
    "Exit status: 0 all moved, 1 a package, listing or manifest failed (or the scan),\n"
    "2 wrong usage.\n";

// Reads the arguments into `request`; -1 when the command goes on, else
// the exit code (help shown, or wrong usage).
int readRequest(const QStringList& arguments, MoveRequest& request)
{
    const QString command = QStringLiteral("move");
    PackOptionParser p;
    const QCommandLineOption label(QStringLiteral("label"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption packages(QStringLiteral("packages"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption listing(QStringLiteral("listing"), QString());
    const QCommandLineOption volumeRoot(QStringLiteral("volume-root"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QString());
    const QCommandLineOption checksums(QStringLiteral("checksums"), QString());
    p.parser.addOptions({label, packages, listing, volumeRoot, dryRun, checksums});
    if (!p.parser.parse(QStringList{QStringLiteral("korvo-cli move")} + arguments))
        return usageError(command, p.parser.errorText());
    if (p.parser.isSet(p.help)) {
        out() << MoveHelp << PackOptionsHelp << MoveOptionsHelp;
        return Success;
    }
    const QString problem = p.read(request.options);
    if (!problem.isEmpty())
        return usageError(command, problem);
    // Checked before anything else: neither may lead outside the order's folder.
    request.label = p.parser.value(label);
    QString nameProblem;
    if (!PackageTarget::isSingleFolderName(request.options.order.name, &nameProblem))
        return usageError(command, QStringLiteral("order name %1").arg(nameProblem));
    if (!PackageTarget::isSingleFolderName(request.label, &nameProblem))
        return usageError(command, QStringLiteral("label %1").arg(nameProblem));
    if (p.parser.isSet(volumeRoot)) {
        const QString argument = p.parser.value(volumeRoot);
        bool isFolder = false;
        request.volumeRoot = argumentPath(argument);
        if (argument.isEmpty() || !platform::entryExists(request.volumeRoot, &isFolder) || !isFolder)
            return usageError(command,
                              QStringLiteral("--volume-root '%1' is not a folder").arg(shownArgument(argument)));
    }
    request.packagesGiven = p.parser.isSet(packages);
    request.packageList = p.parser.value(packages);
    request.listing = p.parser.isSet(listing);
    request.checksums = p.parser.isSet(checksums);
    request.dryRun = p.parser.isSet(dryRun);
    return -1;
}

// Writes a moved package's listing and says how it went on `shown`.
void writeListingOf(const PackageFolder& folder, const PackagePtr& package, PackageReport& report,
                    QTextStream* shown)
{
    QString error;
    const bool written = PackageListing::writeListing(folder, package, XmlExporterSettings(), &error);
    if (written)
        report.listing = folder.listingText;
    else
        report.error = error;
    if (shown) {
        *shown << "    " << folder.listingText << QStringLiteral(" 保存に") << PackageListing::savedWord(written);
        if (!written)
            *shown << " " << report.error;
        *shown << "\n";
    }
}

// Moves one package into a folder of its own, then writes its listing and
// manifest, saying how each step went unless the output is JSON.
PackageReport movePackageAt(PackageMover& mover, int index, int wanted, const PackagePtr& package,
                            const MoveRequest& request)
{
    PackageReport report;
    report.index = index;
    PackageFolder folder;
    report.moved = mover.createPackageFolder(wanted, &folder) && mover.movePackage(folder, package);
    report.number = folder.number;
    report.folder = folder.text;
    // A number out of range has no folder: printReport() says so.
    QTextStream* shown = request.options.json || report.number < 1 ? nullptr : &out();
    if (!report.moved) {
        report.error = asLines(mover.errorString());
        if (shown)
            *shown << asLines(PackageListing::failedLine(QString::number(report.number), report.folder,
                                                         mover.errorString()))
                   << "\n";
        return report;
    }
    if (shown)
        *shown << PackageListing::movedLine(folder) << "\n";
    if (request.listing)
        writeListingOf(folder, package, report, shown);
    if (request.checksums)
        writePackageChecksums(folder, shown, report.error);
    return report;
}

// Where a package would go: the number it would take now, after those
// already planned in this run.
PackageReport planPackageAt(PackageMover& mover, int index, int wanted, std::set<int>& planned)
{
    PackageReport report;
    report.index = index;
    if (!mover.findFreeNumber(wanted, [&planned](int number) { return planned.count(number) > 0; },
                              &report.number)) {
        report.error = asLines(mover.errorString());
        report.number = -1;
        return report;
    }
    planned.insert(report.number);
    report.folder = mover.folderFor(report.number).text;
    return report;
}

// The lines of a planned package, or of one that could have no number; a
// moved or failed package has said so as it went.
void printReport(const PackageReport& report, const PackagePtr& package, const PackageMover& mover,
                 const MoveRequest& request)
{
    if (report.number < 1) {
        out() << "#" << (report.index + 1) << ": " << report.error << "\n";
    } else if (request.dryRun) {
        out() << "#" << (report.index + 1) << " -> " << report.folder << "\n";
        for (const PackagablePtr& item : package->items)
            out() << "    " << QDir::toNativeSeparators(item->absoluteFilePath()) << " -> "
                  << QDir::toNativeSeparators(QDir(report.folder).absoluteFilePath(item->fileName())) << "\n";
        if (request.listing)
            out() << "    listing " << mover.folderFor(report.number).listingText << "\n";
        if (request.checksums)
            out() << "    checksums " << mover.folderFor(report.number).manifestText << "\n";
    }
    out().flush();
}

QString jsonReport(const PackageReport& report, const PackagePtr& package)
{
    return QStringLiteral("{\"number\": %1, \"folderNumber\": %2, \"folder\": %3, \"items\": %4, "
                          "\"moved\": %5, \"listing\": %6, \"error\": %7}")
        .arg(report.index + 1)
        .arg(report.number)
        .arg(jsonString(report.folder), jsonNames(package->items),
             report.moved ? QStringLiteral("true") : QStringLiteral("false"),
             report.listing.isEmpty() ? QStringLiteral("null") : jsonString(report.listing),
             jsonString(report.error));
}

// The package indexes to move; false after a usage error.
bool choosePackages(const MoveRequest& request, int count, std::set<int>& chosen, int* exitCode)
{
    if (!request.packagesGiven) {
        for (int i = 0; i < count; ++i)
            chosen.insert(i);
        return true;
    }
    QString problem;
    if (readPackageList(request.packageList, count, chosen, problem))
        return true;
    *exitCode = usageError(QStringLiteral("move"), problem);
    return false;
}

// Moves (or plans) the chosen packages in order; stops early on Ctrl-C.
QList<PackageReport> moveChosen(PackageMover& mover, int base, const std::set<int>& chosen,
                                const QList<PackagePtr>& packages, const MoveRequest& request, bool* interrupted)
{
    QList<PackageReport> reports;
    std::set<int> planned;
    stopRequested.store(false);
    const auto previousHandler = std::signal(SIGINT, onStopRequest);
    for (const int i : chosen) {
        if (stopRequested.load()) {
            err() << "korvo-cli move: interrupted; package #" << (i + 1) << " and those after it were not moved.\n";
            err().flush();
            *interrupted = true;
            break;
        }
        const int wanted = PackageTarget::folderNumber(base, i);
        reports << (request.dryRun ? planPackageAt(mover, i, wanted, planned)
                                   : movePackageAt(mover, i, wanted, packages[i], request));
        if (!request.options.json)
            printReport(reports.last(), packages[i], mover, request);
    }
    std::signal(SIGINT, previousHandler);
    return reports;
}

// Every chosen package failed before any could start: the base folder
// cannot be listed.
QList<PackageReport> failAll(const std::set<int>& chosen, const PackageMover& mover, const MoveRequest& request)
{
    QList<PackageReport> reports;
    for (const int i : chosen) {
        PackageReport report;
        report.index = i;
        report.error = asLines(mover.errorString());
        reports << report;
    }
    if (!request.options.json)
        out() << asLines(PackageListing::failedLine(QString(), mover.baseFolderText(), mover.errorString())) << "\n";
    return reports;
}

void printOutcome(const MoveRequest& request, const ScanResult& scan, const PackageMover& mover,
                  const QList<PackagePtr>& packages, const QList<PackageReport>& reports)
{
    const PackOptions& options = request.options;
    if (options.json) {
        QStringList texts;
        for (const PackageReport& report : reports)
            texts << jsonReport(report, packages[report.index]);
        out() << "{\"order\": " << jsonString(options.order.name) << ", \"limit\": " << options.order.size
              << ", \"sort\": " << jsonString(options.sortName) << ", \"label\": " << jsonString(request.label)
              << ", \"baseFolder\": " << jsonString(mover.baseFolderText())
              << ", \"dryRun\": " << (request.dryRun ? "true" : "false") << ", \"packages\": ["
              << texts.join(QStringLiteral(", ")) << "], " << jsonUnreadable(scan) << "}\n";
        return;
    }
    const bool allMoved = std::all_of(reports.cbegin(), reports.cend(),
                                      [](const PackageReport& report) { return report.moved; });
    if (packages.isEmpty())
        out() << "No packages: nothing fits the limit.\n";
    else if (!request.dryRun && allMoved && reports.size() == packages.size())
        out() << QStringLiteral("全て完了しました。") << "\n";
}

bool anyFailed(const QList<PackageReport>& reports, bool dryRun)
{
    return std::any_of(reports.cbegin(), reports.cend(), [dryRun](const PackageReport& report) {
        return dryRun ? report.number < 1 : !report.moved || !report.error.isEmpty();
    });
}

int moveCommand(const QStringList& arguments)
{
    MoveRequest request;
    const int early = readRequest(arguments, request);
    if (early >= 0)
        return early;

    ScanResult scan;
    QList<PackagePtr> packages;
    if (!scanAndPack(QStringLiteral("move"), request.options, scan, packages))
        return Failure;
    std::set<int> chosen;
    int exitCode = Success;
    if (!choosePackages(request, packages.size(), chosen, &exitCode))
        return exitCode;

    const NativePath volumeRoot = request.volumeRoot.isEmpty() ? PackageTarget::volumeRoot(scan.root->nativeFilePath())
                                                               : request.volumeRoot;
    PackageMover mover(scan.root, volumeRoot, request.options.order.name, request.label);
    int base = 0;
    bool interrupted = false;
    const QList<PackageReport> reports = chosen.empty() || mover.findNumberBase(&base)
                                             ? moveChosen(mover, base, chosen, packages, request, &interrupted)
                                             : failAll(chosen, mover, request);

    // Every moved item leaves the tree in one pass (one pass per package
    // would sweep the whole top level each time).
    Package movedItems;
    for (const PackageReport& report : reports) {
        if (report.moved)
            movedItems.items += packages[report.index]->items;
    }
    scan.root->remove(PackagePtr(new Package(movedItems)));
    printOutcome(request, scan, mover, packages, reports);
    out().flush();
    return interrupted || anyFailed(reports, request.dryRun) ? Failure : Success;
}

const CommandRegistration moveRegistration("move", "move packages of a folder into numbered folders", moveCommand);

} // namespace

} // namespace korvo::cli
