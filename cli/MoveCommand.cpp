// korvo-cli move DIR: pack a folder's top-level items as korvo-cli pack does
// and move chosen packages into numbered folders, as the packaging dialog
// does, through the same mover.

#include "Arguments.h"
#include "Command.h"
#include "Console.h"
#include "Json.h"
#include "PackOptions.h"
#include "MovePrinter.h"

#include "ImageBeside.h"
#include "ImageFormat.h"
#include "MoveTexts.h"
#include "PackageFiles.h"
#include "PackageMoveJob.h"
#include "PackageMover.h"
#include "PackageTarget.h"
#include "Platform.h"
#include "RelativePath.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <set>

namespace korvo::cli {

namespace {

// The job a stop signal asks to stop: the package being moved finishes (it
// is all or nothing), and no further package starts.
std::atomic<PackageMoveJob*> runningJob{nullptr};

extern "C" void onStopRequest(int)
{
    if (PackageMoveJob* job = runningJob.load())
        job->requestStop();
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
    QList<PackagablePtr> leftOut; // items of the packing in no package
};

// What became of one chosen package.
struct PackageReport
{
    int index = 0;
    int number = -1;      // its folder number; below 1 when none could be given
    QString folder;       // its folder text
    bool moved = false;
    QString listing;      // the listing written, empty when none was
    QString image;        // the image written, empty when none was
    bool imageTooLarge = false;
    bool unsaved = false; // its listing or manifest failed
    bool imageFailed = false;
    bool unfinished = false;  // moved, but its final sync or journal removal failed
    bool leftItemsBehind = false; // a failed move left items in its folder
    bool journalLeft = false; // its journal stays for 'korvo-cli recover'

    QString error;        // why it did not move, or why its listing, manifest or image failed
};

const char* const MoveHelp =
    "Usage: korvo-cli move [OPTIONS] DIR\n"
    "\n"
    "Packs DIR as 'korvo-cli pack' does and moves the chosen packages, each all\n"
    "or nothing and never replacing anything, into numbered folders:\n"
    "  VOLUME_ROOT/korvo_pack/ORDER/LABEL/N\n"
    "where N continues after the largest number already there (folders, N.xml\n"
    "listings, manifests and images alike). A package only goes into a folder it\n"
    "creates: when N or a file beside it (%1) exists\n"
    "by then, it takes the next number free for all. An item\n"
    "that is no longer the one scanned (replaced, or a file of another size)\n"
    "fails its package. Prints one line per package, and one for each listing,\n"
    "manifest and image written beside it.\n"
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
    "  --image FORMAT      (above) also writes the image of each moved package\n"
    "                      beside its folder, after its listing and manifest:\n"
    "                      'iso' for N.iso (ISO\n"
    "                      9660 with Joliet and Rock Ridge, ready to burn) or 'zip'\n"
    "                      for N.zip; with --checksums N.sha256 goes inside too.\n"
    "                      An image larger than the package size is flagged on\n"
    "                      the package's line: the medium may not take it\n"
    "  --volume-root DIR   where korvo_pack goes (default: the mount point of the\n"
    "                      file system that holds DIR when you may create folders\n"
    "                      there, else the highest folder above DIR on it where\n"
    "                      you may, such as your home folder)\n"
    "  --dry-run           print what would move where; touch nothing\n"
    "  --json              print one JSON object describing the outcome\n"
    "\n"
    "Exit status: 0 all moved, 1 a package, listing, manifest or image failed (or\n"
    "the scan, or this build has no images), 2 wrong usage.\n";

QList<Option> moveOptions()
{
    return packOptions() + QList<Option>{{QStringLiteral("label"), QStringLiteral("a folder name")},
                                         {QStringLiteral("packages"), QStringLiteral("package numbers, such as 1,3 or 2-4")},
                                         {QStringLiteral("listing")},
                                         {QStringLiteral("volume-root"), QStringLiteral("a folder")},
                                         {QStringLiteral("dry-run")},
                                         {QStringLiteral("checksums")}};
}

// Reads the label and checks it and the order's name: folder levels are
// made of them. Empty on success, else the usage message.
QString readLabel(const CommandLine& read, MoveRequest& request)
{
    // Checked before anything else: neither may lead outside the order's folder.
    request.label = read.value(QStringLiteral("label"));
    // Folder levels are made from these texts: bytes that are not text would
    // silently become another name.
    if (!isText(request.label) || !isText(request.options.order.name))
        return QStringLiteral("the label and the order name must be text; '%1' is not")
            .arg(shownArgument(isText(request.label) ? request.options.order.name : request.label));
    QString nameProblem;
    if (!PackageTarget::isSingleFolderName(request.options.order.name, &nameProblem))
        return QStringLiteral("order name %1").arg(nameProblem);
    if (!PackageTarget::isSingleFolderName(request.label, &nameProblem))
        return QStringLiteral("label %1").arg(nameProblem);
    return QString();
}

// Reads what goes beyond the shared options and the label; empty on
// success, else the usage message.
QString readMoveOptions(const CommandLine& read, MoveRequest& request)
{
    if (read.isSet(QStringLiteral("volume-root"))) {
        const QString argument = read.value(QStringLiteral("volume-root"));
        if (!isFolderArgument(argument, &request.volumeRoot))
            return QStringLiteral("--volume-root '%1' is not a folder").arg(shownArgument(argument));
    }
    request.packagesGiven = read.isSet(QStringLiteral("packages"));
    request.packageList = read.value(QStringLiteral("packages"));
    request.listing = read.isSet(QStringLiteral("listing"));
    request.checksums = read.isSet(QStringLiteral("checksums"));
    request.dryRun = read.isSet(QStringLiteral("dry-run"));
    return QString();
}

// Reads the arguments into `request`; -1 when the command goes on, else
// the exit code (help shown, wrong usage, or no images in this build).
int readRequest(const QStringList& arguments, MoveRequest& request)
{
    const QString command = QStringLiteral("move");
    const CommandLine read = readCommandLine(arguments, moveOptions());
    if (read.help) {
        // The files kept beside a package come from their one table.
        out() << QString::fromUtf8(MoveHelp).arg(PackageFiles::helpList()) << PackOptionsHelp << MoveOptionsHelp;
        return Success;
    }
    QString problem = read.problem;
    if (problem.isEmpty())
        problem = readPackOptions(read, request.options);
    if (problem.isEmpty())
        problem = readLabel(read, request);
    if (problem.isEmpty())
        problem = readMoveOptions(read, request);
    if (!problem.isEmpty())
        return usageError(command, problem);
    if (request.options.image != ImageFormat::None && !ImageFormats::available())
        return failure(command, QStringLiteral("--image: ") + ImageFormats::unavailableReason());
    return -1;
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

// The line of a package that could have no number, which no observer saw.
void printUnnumbered(const PackageReport& report)
{
    out() << "#" << (report.index + 1) << ": " << report.error << "\n";
}

// The lines of a planned package, or of one that could have no number; a
// moved or failed package has said so as it went.
void printReport(const PackageReport& report, const PackagePtr& package, const PackageMover& mover,
                 const MoveRequest& request)
{
    if (report.number < 1) {
        printUnnumbered(report);
    } else if (request.dryRun) {
        out() << "#" << (report.index + 1) << " -> " << report.folder << "\n";
        for (const PackagablePtr& item : package->items)
            out() << "    " << QDir::toNativeSeparators(item->absoluteFilePath()) << " -> "
                  << QDir::toNativeSeparators(
                         QDir(report.folder).absoluteFilePath(RelativePath::textOf(package->scannedFolder, *item)))
                  << "\n";
        if (request.listing)
            out() << "    listing " << mover.folderFor(report.number).listingText << "\n";
        if (request.checksums)
            out() << "    checksums " << mover.folderFor(report.number).manifestText << "\n";
        if (request.options.image != ImageFormat::None)
            out() << "    image "
                  << MoveTexts::shown(ImageFormats::pathBeside(mover.folderFor(report.number).path, request.options.image))
                  << "\n";
    }
    out().flush();
}

QString jsonReport(const PackageReport& report, const PackagePtr& package)
{
    return QStringLiteral("{\"number\": %1, \"folderNumber\": %2, \"folder\": %3, \"items\": %4, "
                          "\"moved\": %5, \"listing\": %6, \"image\": %7, \"imageTooLarge\": %8, \"error\": %9}")
        .arg(report.index + 1)
        .arg(report.number)
        .arg(jsonString(report.folder), jsonNames(package->items, package->scannedFolder),
             jsonBool(report.moved),
             report.listing.isEmpty() ? QStringLiteral("null") : jsonString(report.listing),
             report.image.isEmpty() ? QStringLiteral("null") : jsonString(report.image),
             jsonBool(report.imageTooLarge), jsonString(report.error));
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

// Ctrl-C, SIGTERM and SIGHUP (a closed terminal) while packages move: the
// package being moved finishes or is undone, and no further package starts.
class StopSignals
{
public:
    explicit StopSignals(PackageMoveJob& job)
    {
        runningJob.store(&job);
        for (int i = 0; i < Count; ++i)
            previous_[i] = std::signal(Signals[i], onStopRequest);
    }
    ~StopSignals()
    {
        for (int i = 0; i < Count; ++i)
            std::signal(Signals[i], previous_[i]);
        runningJob.store(nullptr);
    }

private:
#ifdef SIGHUP
    static constexpr int Count = 3;
    static constexpr int Signals[Count] = {SIGINT, SIGTERM, SIGHUP};
#else
    static constexpr int Count = 2;
    static constexpr int Signals[Count] = {SIGINT, SIGTERM};
#endif
    void (*previous_[Count])(int);
};

// Plans the chosen packages in order.
QList<PackageReport> planChosen(PackageMover& mover, int base, const std::set<int>& chosen,
                                const QList<PackagePtr>& packages, const MoveRequest& request)
{
    QList<PackageReport> reports;
    std::set<int> planned;
    for (const int i : chosen) {
        reports << planPackageAt(mover, i, PackageTarget::folderNumber(base, i), planned);
        if (!request.options.json)
            printReport(reports.last(), packages[i], mover, request);
    }
    return reports;
}

PackageReport reportOf(const PackageMoveResult& result)
{
    PackageReport report;
    report.index = result.index;
    report.number = result.folder.number;
    report.folder = result.folder.text;
    report.moved = result.moved;
    if (result.listingWritten)
        report.listing = result.folder.listingText;
    if (result.imageWritten)
        report.image = result.imageText;
    report.imageTooLarge = result.imageLargerThanOrder;
    report.unsaved = (result.listingTried && !result.listingWritten) || (result.manifestTried && !result.manifestWritten);
    report.imageFailed = result.imageTried && !result.imageWritten;
    report.unfinished = result.moved && !result.error.isEmpty();
    report.journalLeft = result.journalLeft;
    report.leftItemsBehind = result.leftItemsBehind;
    QStringList errors;
    for (const QString& error : {result.error, result.listingError, result.manifestError, result.imageError}) {
        if (!error.isEmpty())
            errors << asLines(error);
    }
    report.error = errors.join(QLatin1Char('\n'));
    return report;
}

// A package move job for the request, its number base found already.
PackageMoveRequest jobRequest(const ScanResult& scan, const NativePath& volumeRoot, int base,
                              const std::set<int>& chosen, const QList<PackagePtr>& packages,
                              const MoveRequest& request)
{
    PackageMoveRequest job;
    job.root = scan.root;
    job.volumeRoot = volumeRoot;
    job.orderName = request.options.order.name;
    job.label = request.label;
    job.numberBase = base;
    for (const int i : chosen)
        job.packages << PackageMoveRequest::Chosen{i, packages[i]};
    job.listing = request.listing;
    job.checksums = request.checksums;
    job.image = request.options.image;
    job.orderSize = request.options.order.size;
    return job;
}

// Moves the chosen packages in order through the shared job; stops early on
// a stop signal. False when the base folder holds an interrupted move.
bool moveChosen(PackageMoveJob& job, const MoveRequest& request,
                QList<PackageReport>& reports, bool* interrupted)
{
    MovePrinter printer(request.options.json, request.options.order.size);
    job.setObserver(&printer);
    PackageMoveJob::Outcome outcome;
    {
        StopSignals stopSignals(job);
        outcome = job.run();
    }
    if (outcome == PackageMoveJob::Refused) {
        failure(QStringLiteral("move"), asLines(job.errorString()));
        return false;
    }
    for (const PackageMoveResult& result : job.results()) {
        reports << reportOf(result);
        if (!request.options.json && result.folder.number < 1)
            printUnnumbered(reports.last());
    }
    if (outcome == PackageMoveJob::Stopped) {
        failure(QStringLiteral("move"), QStringLiteral("interrupted; package #%1 and those after it were not moved.")
                                            .arg(job.stoppedBefore() + 1));
        *interrupted = true;
    }
    return true;
}

// Every chosen package failed before any could start: the base folder
// cannot be listed.
QList<PackageReport> failAll(const std::set<int>& chosen, const QString& baseText, const QString& reason,
                             const MoveRequest& request)
{
    QList<PackageReport> reports;
    for (const int i : chosen) {
        PackageReport report;
        report.index = i;
        report.error = asLines(reason);
        reports << report;
    }
    if (!request.options.json)
        out() << asLines(MoveTexts::failedLine(QString(), baseText, reason)) << "\n";
    return reports;
}

// The last line: all done, or what failed, as the dialog's summary says it.
QString lastLine(const QList<PackageReport>& reports, bool complete, const QString& baseText)
{
    MoveTexts::Summary summary;
    for (const PackageReport& report : reports) {
        const QString name = MoveTexts::packageName(report.number, report.index);
        if (report.journalLeft)
            summary.recoverFolder = baseText;
        summary.leftItemsBehind = summary.leftItemsBehind || report.leftItemsBehind;
        if (!report.moved || report.unfinished)
            summary.failed << name;
        if (report.moved && report.unsaved)
            summary.unsaved << name;
        if (report.moved && report.imageFailed)
            summary.imageFailed << name;
    }
    if (summary.isEmpty())
        return complete ? MoveTexts::allDone() : QString();
    return asLines(MoveTexts::summary(summary));
}

void printOutcome(const MoveRequest& request, const ScanResult& scan, const QString& baseText,
                  const QList<PackagePtr>& packages, const QList<PackageReport>& reports)
{
    const PackOptions& options = request.options;
    if (options.json) {
        QStringList texts;
        for (const PackageReport& report : reports)
            texts << jsonReport(report, packages[report.index]);
        out() << "{" << jsonOrder(options) << ", \"label\": " << jsonString(request.label)
              << ", \"baseFolder\": " << jsonString(baseText)
              << ", \"dryRun\": " << jsonBool(request.dryRun) << ", \"packages\": " << jsonArray(texts)
              << ", \"excluded\": " << jsonNames(request.leftOut, scan.root->path()) << ", " << jsonUnreadable(scan) << "}\n";
        return;
    }
    if (packages.isEmpty()) {
        out() << "No packages: nothing fits the limit.\n";
        return;
    }
    if (request.dryRun)
        return;
    const QString line = lastLine(reports, reports.size() == packages.size(), baseText);
    if (!line.isEmpty())
        out() << line << "\n";
}

bool anyFailed(const QList<PackageReport>& reports, bool dryRun)
{
    return std::any_of(reports.cbegin(), reports.cend(), [dryRun](const PackageReport& report) {
        return dryRun ? report.number < 1 : !report.moved || !report.error.isEmpty();
    });
}

// Plans the chosen packages (--dry-run).
QList<PackageReport> planAll(const ScanResult& scan, const NativePath& volumeRoot, const std::set<int>& chosen,
                             const QList<PackagePtr>& packages, const MoveRequest& request, QString* baseText)
{
    PackageMover mover(scan.root, volumeRoot, request.options.order.name, request.label);
    *baseText = mover.baseFolderText();
    int base = 0;
    if (!chosen.empty() && !mover.findNumberBase(&base))
        return failAll(chosen, mover.baseFolderText(), mover.errorString(), request);
    return planChosen(mover, base, chosen, packages, request);
}

int moveCommand(const QStringList& arguments)
{
    MoveRequest request;
    const int early = readRequest(arguments, request);
    if (early >= 0)
        return early;

    ScanResult scan;
    QList<PackagePtr> packages;
    if (!scanAndPack(QStringLiteral("move"), request.options, scan, packages, request.leftOut))
        return Failure;
    std::set<int> chosen;
    int exitCode = Success;
    if (!choosePackages(request, packages.size(), chosen, &exitCode))
        return exitCode;

    const NativePath volumeRoot = request.volumeRoot.isEmpty() ? PackageTarget::volumeRoot(scan.root->nativeFilePath())
                                                               : request.volumeRoot;
    QList<PackageReport> reports;
    QString baseText;
    bool interrupted = false;
    if (request.dryRun) {
        reports = planAll(scan, volumeRoot, chosen, packages, request, &baseText);
    } else {
        PackageMoveJob job(jobRequest(scan, volumeRoot, -1, chosen, packages, request));
        baseText = job.baseFolderText();
        if (!moveChosen(job, request, reports, &interrupted))
            return Failure;
        if (job.results().isEmpty() && !job.errorString().isEmpty())
            reports = failAll(chosen, baseText, job.errorString(), request);
    }

    // Every moved item leaves the tree in one pass (one pass per package
    // would sweep the whole top level each time).
    Package movedItems;
    for (const PackageReport& report : reports) {
        if (report.moved)
            movedItems.items += packages[report.index]->items;
    }
    scan.root->remove(PackagePtr(new Package(movedItems)));
    printOutcome(request, scan, baseText, packages, reports);
    out().flush();
    return interrupted || anyFailed(reports, request.dryRun) ? Failure : Success;
}

const CommandRegistration moveRegistration("move", "move packages of a folder into numbered folders", moveCommand);

} // namespace

} // namespace korvo::cli
