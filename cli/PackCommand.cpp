// korvo-cli pack DIR and korvo-cli move DIR: split a folder's top-level
// items into packages within a size limit, show them, and move chosen
// packages into numbered folders on the folder's volume, as the packaging
// dialog does.

#include "Command.h"
#include "Json.h"
#include "PackageChecksums.h"
#include "Scan.h"

#include "ExportWorker.h"
#include "Exporter.h"
#include "FileNode.h"
#include "PackageOrder.h"
#include "PackageTarget.h"
#include "Packager.h"
#include "SizeFormat.h"

#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <map>
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

const std::map<QString, PackSort>& sortNames()
{
    static const std::map<QString, PackSort> names{
        {QStringLiteral("assorted"), Assorted},
        {QStringLiteral("size-asc"), SizeAscending},
        {QStringLiteral("size-desc"), SizeDescending},
        {QStringLiteral("name-asc"), NameAscending},
        {QStringLiteral("name-desc"), NameDescending}};
    return names;
}

QString builtInNames()
{
    QStringList names;
    for (const PackageOrder& order : builtInPackageOrders())
        names << order.name;
    return names.join(QStringLiteral(", "));
}

QString sortList()
{
    QStringList names;
    for (const auto& entry : sortNames())
        names << entry.first;
    return names.join(QStringLiteral(", "));
}

// stdout and stderr in UTF-8 whatever the locale: names and texts are
// Japanese as often as not.
QTextStream& out()
{
    static QTextStream stream(stdout);
    static const bool once = [] {
        stream.setCodec("UTF-8");
        return true;
    }();
    Q_UNUSED(once);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    static const bool once = [] {
        stream.setCodec("UTF-8");
        return true;
    }();
    Q_UNUSED(once);
    return stream;
}

int usageError(const QString& command, const QString& message)
{
    err() << "korvo-cli " << command << ": " << message << "\n"
          << "Try 'korvo-cli " << command << " --help'.\n";
    err().flush();
    return UsageError;
}

QString jsonNames(const QList<PackagablePtr>& items)
{
    QStringList names;
    for (const PackagablePtr& item : items)
        names << jsonString(item->fileName());
    return QLatin1Char('[') + names.join(QStringLiteral(", ")) + QLatin1Char(']');
}

bool isFolder(const PackagablePtr& item)
{
    return !item.dynamicCast<DirectoryNode>().isNull();
}

// A folder item is shown with a trailing slash.
QString shownName(const PackagablePtr& item)
{
    return isFolder(item) ? item->fileName() + QLatin1Char('/') : item->fileName();
}

// The options both commands share, read and checked.
struct PackOptions
{
    PackageOrder order;
    PackSort sort = Assorted;
    QString sortName;
    bool json = false;
    QString folder; // the one positional argument
};

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QString()};
    QCommandLineOption order{QStringLiteral("order"), QString(), QStringLiteral("NAME")};
    QCommandLineOption limit{QStringLiteral("limit"), QString(), QStringLiteral("BYTES")};
    QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    QCommandLineOption sort{QStringLiteral("sort"), QString(), QStringLiteral("MODE")};
    QCommandLineOption json{QStringLiteral("json"), QString()};

    Parser()
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, order, limit, name, sort, json});
    }

    // Empty on success, else the usage message.
    QString readPackOptions(PackOptions& options) const
    {
        if (parser.isSet(order) && parser.isSet(limit))
            return QStringLiteral("give either --order or --limit, not both");
        if (parser.isSet(name) && !parser.isSet(limit))
            return QStringLiteral("--name names a --limit; a built-in order keeps its own name");
        if (parser.isSet(limit)) {
            bool ok = false;
            const QString text = parser.value(limit);
            const qint64 bytes = text.toLongLong(&ok, 10);
            if (!ok || bytes < 0 || text.startsWith(QLatin1Char('+')))
                return QStringLiteral("--limit needs a byte count of 0 or more, not '%1'").arg(text);
            options.order = PackageOrder(bytes, parser.isSet(name) ? parser.value(name) : QString::number(bytes));
            if (options.order.name.isEmpty())
                return QStringLiteral("--name must not be empty");
        } else {
            const QString wanted = parser.isSet(order) ? parser.value(order) : QStringLiteral("CD");
            bool found = false;
            for (const PackageOrder& builtIn : builtInPackageOrders()) {
                if (builtIn.name == wanted) {
                    options.order = builtIn;
                    found = true;
                }
            }
            if (!found)
                return QStringLiteral("unknown order '%1' (choose from: %2, or give --limit BYTES)")
                    .arg(wanted, builtInNames());
        }
        options.sortName = parser.isSet(sort) ? parser.value(sort) : QStringLiteral("assorted");
        const auto found = sortNames().find(options.sortName);
        if (found == sortNames().end())
            return QStringLiteral("unknown sort '%1' (choose from: %2)").arg(options.sortName, sortList());
        options.sort = found->second;
        options.json = parser.isSet(json);
        const QStringList positional = parser.positionalArguments();
        if (positional.size() != 1)
            return QStringLiteral("expected one folder, got %1 argument(s)").arg(positional.size());
        options.folder = positional.first();
        return QString();
    }
};

const char* const PackOptionsHelp =
    "  --order NAME   a built-in package order: CD (700,000,000 bytes), PACK_500MB\n"
    "                 (500,000,000), PACK_400MB (400,000,000), PACK_200MB\n"
    "                 (300,000,000), PACK_100MB (200,000,000); default CD\n"
    "  --limit BYTES  a limit of your own, in bytes on disk; its name is the\n"
    "                 number unless --name is given\n"
    "  --name NAME    the name of a --limit\n"
    "  --sort MODE    assorted (best fit, in listed order), size-asc, size-desc,\n"
    "                 name-asc, name-desc (next fit in that order); default assorted\n";

// Items of the root that no package holds because they alone exceed the
// limit, in listed order.
QList<PackagablePtr> excludedItems(const DirectoryNodePtr& root, qint64 limit)
{
    QList<PackagablePtr> excluded;
    for (const FileNodePtr& file : root->files()) {
        if (file->sizeOnDisk() > limit)
            excluded << file;
    }
    for (const DirectoryNodePtr& folder : root->subdirectories()) {
        if (folder->totalSizeOnDisk() > limit)
            excluded << folder;
    }
    return excluded;
}

QString percentOf(qint64 sizeOnDisk, qint64 limit)
{
    const double percent = limit > 0 ? 100.0 * double(sizeOnDisk) / double(limit) : 100.0;
    return QString::number(percent, 'f', 1) + QLatin1Char('%');
}

// Scans the options' folder and packs its top-level items; false, after
// saying why on stderr, when the scan failed or was cancelled.
bool scanAndPack(const QString& command, const PackOptions& options, ScanResult& scan, QList<PackagePtr>& packages)
{
    scan = scanArgument(options.folder);
    if (!scan.root) {
        err() << "korvo-cli " << command << ": " << scan.errorString << "\n";
        return false;
    }
    Packager().pack(options.order, options.sort, scan.root, packages);
    return true;
}

// ---------------------------------------------------------------------------
// pack

int packCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("pack");
    Parser p;
    if (!p.parser.parse(QStringList{QStringLiteral("korvo-cli pack")} + arguments))
        return usageError(command, p.parser.errorText());
    if (p.parser.isSet(p.help)) {
        out() << "Usage: korvo-cli pack [OPTIONS] DIR\n"
                 "\n"
                 "Scans DIR (a file stands for the folder that holds it) and splits its\n"
                 "top-level items (its files, and its subfolders taken whole) into packages\n"
                 "whose size on disk stays within a limit. Prints each package with its\n"
                 "number, item count, size, size on disk and how full it is, then its items\n"
                 "(folders with a trailing /), then the items left out because each alone\n"
                 "exceeds the limit. Nothing on disk changes.\n"
                 "\n"
              << PackOptionsHelp
              << "  --json         print one JSON object instead:\n"
                 "                 {\"order\", \"limit\", \"sort\", \"packages\": [{\"number\", \"size\",\n"
                 "                 \"sizeOnDisk\", \"items\"}], \"excluded\"}\n"
                 "\n"
                 "Exit status: 0 packed, 1 the scan failed, 2 wrong usage.\n";
        return Success;
    }
    PackOptions options;
    const QString problem = p.readPackOptions(options);
    if (!problem.isEmpty())
        return usageError(command, problem);

    ScanResult scan;
    QList<PackagePtr> packages;
    if (!scanAndPack(command, options, scan, packages))
        return Failure;
    const QList<PackagablePtr> excluded = excludedItems(scan.root, options.order.size);

    if (options.json) {
        QStringList packageTexts;
        for (int i = 0; i < packages.size(); ++i) {
            const PackagePtr& package = packages[i];
            packageTexts << QStringLiteral("{\"number\": %1, \"size\": %2, \"sizeOnDisk\": %3, \"items\": %4}")
                                .arg(i + 1)
                                .arg(package->size)
                                .arg(package->sizeOnDisk)
                                .arg(jsonNames(package->items));
        }
        out() << "{\"order\": " << jsonString(options.order.name) << ", \"limit\": " << options.order.size
              << ", \"sort\": " << jsonString(options.sortName) << ", \"packages\": ["
              << packageTexts.join(QStringLiteral(", ")) << "], \"excluded\": " << jsonNames(excluded) << "}\n";
        return Success;
    }

    out() << options.order.name << ": " << formatSize(options.order.size) << ", sort " << options.sortName
          << ", " << packages.size() << (packages.size() == 1 ? " package" : " packages") << "\n";
    for (int i = 0; i < packages.size(); ++i) {
        const PackagePtr& package = packages[i];
        out() << "#" << (i + 1) << "  " << package->items.size() << (package->items.size() == 1 ? " item" : " items")
              << "  size " << formatSize(package->size) << "  on disk " << formatSize(package->sizeOnDisk) << "  "
              << percentOf(package->sizeOnDisk, options.order.size) << "\n";
        for (const PackagablePtr& item : package->items)
            out() << "    " << shownName(item) << "\n";
    }
    out() << "Left out (larger than the limit on their own): " << excluded.size() << "\n";
    for (const PackagablePtr& item : excluded)
        out() << "    " << shownName(item) << "  " << formatSize(item->totalSizeOnDisk()) << "\n";
    return Success;
}

// ---------------------------------------------------------------------------
// move

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

// Writes the XML listing of a moved package, as the dialog's option does;
// false with the error text when it fails.
bool writeListing(const QString& path, const QString& packageFolder, const PackagePtr& package, QString& errorString)
{
    const DirectoryNodePtr node = makePackageNode(QDir(packageFolder), package);
    ExportWorker worker;
    bool succeeded = false;
    QEventLoop loop;
    QObject::connect(&worker, qOverload<bool, const QString&, const QString&>(&ExportWorker::finished), &loop,
                     [&](bool ok, const QString&, const QString& error) {
                         succeeded = ok;
                         errorString = error;
                     });
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.setup(path, node, createXmlExporter(XmlExporterSettings()));
    worker.start(QThread::InheritPriority);
    loop.exec();
    worker.wait();
    return succeeded;
}

// The dialog's texts end with CR LF; a terminal wants plain lines.
QString asLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

int moveCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("move");
    Parser p;
    const QCommandLineOption label(QStringLiteral("label"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption packagesOption(QStringLiteral("packages"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption listing(QStringLiteral("listing"), QString());
    const QCommandLineOption volumeRootOption(QStringLiteral("volume-root"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QString());
    const QCommandLineOption checksums(QStringLiteral("checksums"), QString());
    p.parser.addOptions({label, packagesOption, listing, volumeRootOption, dryRun, checksums});
    if (!p.parser.parse(QStringList{QStringLiteral("korvo-cli move")} + arguments))
        return usageError(command, p.parser.errorText());
    if (p.parser.isSet(p.help)) {
        out() << "Usage: korvo-cli move [OPTIONS] DIR\n"
                 "\n"
                 "Packs DIR as 'korvo-cli pack' does and moves the chosen packages, each all\n"
                 "or nothing and never replacing anything, into numbered folders:\n"
                 "  VOLUME_ROOT/korvo_pack/ORDER/LABEL/N\n"
                 "where N continues after the largest number already there (folders and\n"
                 "N.xml listings alike). Prints one line per package.\n"
                 "\n"
              << PackOptionsHelp
              << "  --label TEXT        the label folder (default empty: the packages go right\n"
                 "                      under the order's folder); one folder name\n"
                 "  --packages LIST     package numbers to move, such as 1,3 or 2-4 (default all)\n"
                 "  --listing           write an XML listing N.xml of each moved package beside\n"
                 "                      its folder\n"
                 "  --checksums         write a SHA-256 manifest N.sha256 of each moved package\n"
                 "                      beside its folder ('korvo-cli verify' and\n"
                 "                      'sha256sum -c' check it)\n"
                 "  --volume-root DIR   where korvo_pack goes (default: the mount point of the\n"
                 "                      file system that holds DIR)\n"
                 "  --dry-run           print what would move where; touch nothing\n"
                 "  --json              print one JSON object describing the outcome\n"
                 "\n"
                 "Exit status: 0 all moved, 1 a package, listing or manifest failed (or the scan),\n"
                 "2 wrong usage.\n";
        return Success;
    }
    PackOptions options;
    const QString problem = p.readPackOptions(options);
    if (!problem.isEmpty())
        return usageError(command, problem);
    // Checked before anything else: neither may lead outside the order's folder.
    const QString labelText = p.parser.value(label);
    QString nameProblem;
    if (!PackageTarget::isSingleFolderName(options.order.name, &nameProblem))
        return usageError(command, QStringLiteral("order name %1").arg(nameProblem));
    if (!PackageTarget::isSingleFolderName(labelText, &nameProblem))
        return usageError(command, QStringLiteral("label %1").arg(nameProblem));
    QString volumeRoot;
    if (p.parser.isSet(volumeRootOption)) {
        const QFileInfo given(p.parser.value(volumeRootOption));
        if (!given.isDir())
            return usageError(command, QStringLiteral("--volume-root '%1' is not a folder").arg(given.filePath()));
        volumeRoot = given.absoluteFilePath();
    }

    ScanResult scan;
    QList<PackagePtr> packages;
    if (!scanAndPack(command, options, scan, packages))
        return Failure;
    Packager packager;

    std::set<int> chosen;
    if (p.parser.isSet(packagesOption)) {
        QString listProblem;
        if (!readPackageList(p.parser.value(packagesOption), packages.size(), chosen, listProblem))
            return usageError(command, listProblem);
    } else {
        for (int i = 0; i < packages.size(); ++i)
            chosen.insert(i);
    }

    if (volumeRoot.isEmpty())
        volumeRoot = PackageTarget::volumeRoot(scan.folder);
    const QString base = PackageTarget::baseFolder(volumeRoot, options.order.name, labelText);
    const int numberBase = PackageTarget::findFolderNumberBase(base);
    const bool dry = p.parser.isSet(dryRun);
    const bool withListing = p.parser.isSet(listing);

    bool anyFailed = false;
    int movedCount = 0;
    // Every moved item, taken out of the tree in one pass at the end (one
    // pass per package would cost a sweep of the whole top level each).
    Package movedItems;
    QStringList jsonPackages;
    stopRequested.store(false);
    const auto previousHandler = std::signal(SIGINT, onStopRequest);
    for (const int i : chosen) {
        if (stopRequested.load()) {
            err() << "korvo-cli move: interrupted; package #" << (i + 1) << " and those after it were not moved.\n";
            err().flush();
            anyFailed = true;
            break;
        }
        const PackagePtr& package = packages[i];
        const int number = PackageTarget::folderNumber(numberBase, i);
        QString folder;
        QString listingFile;
        QString error;
        bool moved = false;
        if (number < 0) {
            error = QStringLiteral("No folder number is left after %1 in %2.").arg(numberBase).arg(base);
            if (!options.json)
                out() << "#" << (i + 1) << ": " << error << "\n";
            anyFailed = true;
        } else {
            folder = PackageTarget::packageFolder(base, number);
            if (withListing)
                listingFile = PackageTarget::listingPath(base, number);
            if (dry) {
                if (!options.json) {
                    out() << "#" << (i + 1) << " -> " << folder << "\n";
                    for (const PackagablePtr& item : package->items)
                        out() << "    " << item->absoluteFilePath() << " -> "
                              << QDir(folder).absoluteFilePath(item->fileName()) << "\n";
                    if (withListing)
                        out() << "    listing " << listingFile << "\n";
                    if (p.parser.isSet(checksums))
                        out() << "    checksums " << packageManifestText(folder) << "\n";
                }
            } else {
                // A folder that cannot be made shows up as the move's failure.
                QDir().mkpath(folder);
                moved = packager.movePackage(QDir(folder), package);
                if (moved) {
                    movedItems.items += package->items;
                    ++movedCount;
                    if (!options.json)
                        out() << QStringLiteral("パッケージ%1を%2へ移動完了。").arg(number).arg(folder) << "\n";
                    if (withListing) {
                        QString listingError;
                        const bool written = writeListing(listingFile, folder, package, listingError);
                        if (!written) {
                            anyFailed = true;
                            error = listingError;
                        }
                        if (!options.json)
                            out() << "    " << listingFile << QStringLiteral(" 保存に")
                                  << (written ? QStringLiteral("成功しました。") : QStringLiteral("失敗しました。"))
                                  << (written ? QString() : QLatin1Char(' ') + listingError) << "\n";
                    }
                    if (p.parser.isSet(checksums) &&
                        !writePackageChecksums(folder, options.json ? nullptr : &out(), error))
                        anyFailed = true;
                } else {
                    anyFailed = true;
                    error = asLines(packager.errorString());
                    if (!options.json)
                        out() << QStringLiteral("パッケージ%1を%2へ移動失敗。").arg(number).arg(folder) << "\n"
                              << error << "\n";
                }
            }
        }
        out().flush();
        if (options.json) {
            jsonPackages << QStringLiteral("{\"number\": %1, \"folderNumber\": %2, \"folder\": %3, \"items\": %4, "
                                           "\"moved\": %5, \"listing\": %6, \"error\": %7}")
                                .arg(i + 1)
                                .arg(number)
                                .arg(jsonString(folder), jsonNames(package->items),
                                     moved ? QStringLiteral("true") : QStringLiteral("false"),
                                     listingFile.isEmpty() ? QStringLiteral("null") : jsonString(listingFile),
                                     jsonString(error));
        }
    }
    std::signal(SIGINT, previousHandler);
    scan.root->remove(PackagePtr(new Package(movedItems)));
    if (options.json) {
        out() << "{\"order\": " << jsonString(options.order.name) << ", \"limit\": " << options.order.size
              << ", \"sort\": " << jsonString(options.sortName) << ", \"label\": " << jsonString(labelText)
              << ", \"baseFolder\": " << jsonString(base) << ", \"dryRun\": " << (dry ? "true" : "false")
              << ", \"packages\": [" << jsonPackages.join(QStringLiteral(", ")) << "]}\n";
    } else if (!dry && !packages.isEmpty() && movedCount == packages.size()) {
        out() << QStringLiteral("全て完了しました。") << "\n";
    } else if (packages.isEmpty()) {
        out() << "No packages: nothing fits the limit.\n";
    }
    out().flush();
    return anyFailed ? Failure : Success;
}

const CommandRegistration packRegistration("pack", "split a folder's top-level items into packages", packCommand);
const CommandRegistration moveRegistration("move", "move packages of a folder into numbered folders", moveCommand);

} // namespace

} // namespace korvo::cli
