// Packing with split folders against the scan: makes a tree of about
// 200,000 small files (sparse, 512 bytes to 12 KiB, from a fixed seed, so
// every run makes the same tree) in a temporary folder, in top-level folders
// far larger than the limit and nested 2 to 4 levels, so that splitting gives
// about one piece per file. It scans the tree with the engine's scan as
// korvo-cli does (best of 3, warm), then packs it with split folders in each
// of the five modes and once by ISO image weight (best fit), best of 3 each,
// and prints per packing the pieces, packages, items left out, the lower
// bound, the packing's time (with the lower bound, as korvo-cli and the
// window ask for both) and (scan + pack) / scan beside the bound of 1.25,
// by the wall clock (the verdict) and, for a busy machine, by CPU time.
// The bound is the five modes'; the ISO weight row is shown beside them.
// Exit status 3 when a mode misses it or a tree's figures are wrong.
// Last on each row: the time of DirectoryNode::remove of every package, one
// by one, as the window's tree is updated after a move of all packages (on
// the GUI thread), on the tree the row packed (scanned afresh for each row);
// the figures left in the tree after it are checked against the items left
// out. "pieces" counts the items packed and those left out.
//
//     bench_split [FILES]           FILES small files (default 200000) in a
//                                   temporary folder, removed afterwards,
//                                   packed into packages of 512 KiB
//     bench_split FOLDER LIMIT      the user's own folder, packed into
//                                   packages of LIMIT bytes
//
// Build: cmake --build build --target bench_split; run build/bin/bench_split.
// Times are wall-clock seconds (CPU seconds of the process in brackets: the
// scan walks on several threads). Making the default tree takes some seconds.

#include "DirectoryNode.h"
#include "FileNode.h"
#include "ImageFormat.h"
#include "PackageOrder.h"
#include "Packager.h"
#include "Packer.h"
#include "ScanJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <random>
#include <vector>

using namespace korvo;

namespace {

const double Bound = 1.25; // (scan + pack) / scan at most

double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

struct Timing
{
    double wall = 0;
    double cpu = 0;
};

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

// Makes the tree: top-level folders hold a few files and subfolders; a
// folder at level 2 or 3 holds files only once too few are left to share
// among subfolders, one at level 4 always does.
class TreeMaker
{
public:
    explicit TreeMaker(quint64 seed) : random_(seed) {}

    bool make(const QString& root, int files)
    {
        const int tops = 8;
        for (int t = 0; t < tops; ++t) {
            const int share = files / tops + (t < files % tops ? 1 : 0);
            if (!fill(root + QLatin1Char('/') + folderName(t), 1, share))
                return false;
        }
        return true;
    }
    int filesMade() const { return filesMade_; }
    int foldersMade() const { return foldersMade_; }

private:
    bool fill(const QString& folder, int level, int count)
    {
        if (!QDir().mkdir(folder))
            return false;
        ++foldersMade_;
        const int most = std::min(8, count / 250);
        if (level == 4 || (level >= 2 && most < 2))
            return makeFiles(folder, count);
        const int loose = std::min(count, int(random_() % 6));
        if (!makeFiles(folder, loose))
            return false;
        count -= loose;
        const int parts = 2 + int(random_() % quint64(std::max(1, most - 1)));
        std::uniform_real_distribution<double> spread(0.7, 1.3);
        std::vector<double> weights(size_t(parts), 0);
        double sum = 0;
        for (double& weight : weights)
            sum += weight = spread(random_);
        int given = 0;
        for (int p = 0; p < parts; ++p) {
            const int part = p == parts - 1 ? count - given : int(count * weights[size_t(p)] / sum);
            given += part;
            if (!fill(folder + QLatin1Char('/') + folderName(p), level + 1, part))
                return false;
        }
        return true;
    }

    bool makeFiles(const QString& folder, int count)
    {
        std::uniform_int_distribution<qint64> size(512, 12 * 1024);
        for (int i = 0; i < count; ++i) {
            QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(filesMade_++, 6, 10, QLatin1Char('0')));
            if (!file.open(QIODevice::WriteOnly) || !file.resize(size(random_)))
                return false;
        }
        return true;
    }

    QString folderName(int index)
    {
        static const char16_t* const stems[] = {u"Photos", u"写真", u"Scans", u"旅行", u"Archive", u"Music"};
        return QString::fromUtf16(stems[random_() % 6]) + QStringLiteral("_%1").arg(index);
    }

    std::mt19937_64 random_;
    int filesMade_ = 0;
    int foldersMade_ = 0;
};

DirectoryNodePtr scan(const QString& folder, Timing* timing = nullptr)
{
    ScanJob job;
    job.setFolder(NativePath::fromText(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())));
    job.setOptions(EnumerateOptions()); // as korvo-cli: the default walk and threads
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuSeconds();
    const ScanOutcome outcome = job.run();
    if (timing)
        *timing = {timer.nsecsElapsed() / 1e9, cpuSeconds() - cpu};
    return outcome.root;
}

// One packing's figures.
struct Packing
{
    QList<PackagePtr> packages;
    QList<PackagablePtr> leftOut;
    int lowerBound = 0;
    Timing best{1e9, 1e9};
};

Packing packBestOf3(const PackageOrder& order, int sort, ImageFormat image, const DirectoryNodePtr& root)
{
    Packing packing;
    for (int run = 0; run < 3; ++run) {
        QList<PackagePtr> packages;
        QList<PackagablePtr> leftOut;
        int lowerBound = 0;
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuSeconds();
        Packager().pack(order, sort, root, packages, &leftOut, image, &lowerBound, SplitFolders::Yes);
        const Timing taken{timer.nsecsElapsed() / 1e9, cpuSeconds() - cpu};
        if (taken.wall < packing.best.wall)
            packing.best = taken;
        // The lists of the last run are kept; the others are freed here,
        // outside the timing.
        packing.packages.swap(packages);
        packing.leftOut.swap(leftOut);
        packing.lowerBound = lowerBound;
    }
    return packing;
}

int piecesOf(const QList<PackagePtr>& packages)
{
    int pieces = 0;
    for (const PackagePtr& package : packages)
        pieces += package->items.size();
    return pieces;
}

// Takes every package out of the tree it was packed from, one by one; the
// time, and whether what is left is exactly what was left out.
Timing removeAll(const DirectoryNodePtr& root, const Packing& packing, bool* exact)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuSeconds();
    for (const PackagePtr& package : packing.packages)
        root->remove(package);
    const Timing taken{timer.nsecsElapsed() / 1e9, cpuSeconds() - cpu};
    qint64 leftSize = 0;
    qint32 leftFiles = 0;
    for (const PackagablePtr& item : packing.leftOut) {
        leftSize += item->totalSizeOnDisk();
        leftFiles += item.dynamicCast<DirectoryNode>() ? item.dynamicCast<DirectoryNode>()->totalFileCount() : 1;
    }
    *exact = root->totalSizeOnDisk() == leftSize && root->totalFileCount() == leftFiles;
    return taken;
}

DirectoryNodePtr scanBestOf3(const QString& folder, Timing* best)
{
    scan(folder); // warms the caches
    *best = {1e9, 1e9};
    DirectoryNodePtr root;
    for (int run = 0; run < 3; ++run) {
        Timing taken;
        root.reset(); // the previous tree is freed outside the timing
        root = scan(folder, &taken);
        if (!root)
            return root;
        if (taken.wall < best->wall)
            *best = taken;
    }
    return root;
}

void printRow(QTextStream& out, const char* name, const Packing& packing, const Timing& scanTime,
              const Timing& removal, bool exact)
{
    const double ratio = (scanTime.wall + packing.best.wall) / scanTime.wall;
    out << QString::fromLatin1(name).leftJustified(24)
        << QString::number(piecesOf(packing.packages) + packing.leftOut.size()).rightJustified(8)
        << QString::number(packing.packages.size()).rightJustified(9)
        << QString::number(packing.leftOut.size()).rightJustified(8)
        << QString::number(packing.lowerBound).rightJustified(7) << seconds(packing.best.wall).rightJustified(9)
        << (QStringLiteral(" (") + seconds(packing.best.cpu) + QLatin1Char(')')).rightJustified(9)
        << QString::number(ratio, 'f', 3).rightJustified(7) << (ratio <= Bound ? "  holds " : "  MISSES")
        << QString::number((scanTime.cpu + packing.best.cpu) / scanTime.cpu, 'f', 3).rightJustified(7)
        << seconds(removal.wall).rightJustified(11) << (exact ? "  as left out" : "  WRONG FIGURES") << "\n";
    out.flush();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    const QStringList arguments = application.arguments();
    QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/bench-split-XXXXXX"));
    QString folder;
    qint64 limit = 512 * 1024;
    if (arguments.size() > 2) {
        folder = arguments.at(1);
        limit = arguments.at(2).toLongLong();
        if (limit <= 0 || !QFileInfo(folder).isDir()) {
            out << "usage: bench_split [FILES] | bench_split FOLDER LIMIT\n";
            return 2;
        }
    } else {
        const int files = arguments.size() > 1 ? arguments.at(1).toInt() : 200000;
        const quint64 seed = 20261210;
        folder = temporary.path() + QStringLiteral("/tree");
        QDir().mkdir(folder);
        QElapsedTimer timer;
        timer.start();
        TreeMaker maker(seed);
        if (files <= 0 || !maker.make(folder, files)) {
            out << "could not make the tree in " << folder << "\n";
            return 1;
        }
        out << "tree: " << maker.filesMade() << " files (sparse, 512 B to 12 KiB) in " << maker.foldersMade()
            << " folders, 8 at the top, nested 2 to 4 levels; seed " << seed << "; made in "
            << seconds(timer.elapsed() / 1000.0) << " s\n";
    }
    const PackageOrder order(limit, QStringLiteral("bench"));
    out << "folder: " << folder << "\nlimit: " << limit << " bytes\n";
    out.flush();

    Timing scanTime;
    DirectoryNodePtr root = scanBestOf3(folder, &scanTime);
    if (!root) {
        out << "the scan failed\n";
        return 1;
    }
    out << "scan (best of 3, warm): " << seconds(scanTime.wall) << " s (" << seconds(scanTime.cpu) << " s CPU); "
        << root->totalFileCount() << " files, " << root->totalSubdirectoryCount() << " folders, "
        << root->totalSizeOnDisk() << " bytes on disk\n\n";

    out << "packing (split folders)   pieces packages leftout  bound   pack s  (CPU s)  ratio  <= " << Bound
        << "    CPU   remove s  tree after\n";
    const char* const names[] = {"0 best fit", "1 size ascending", "2 size descending", "3 name ascending",
                                 "4 name descending", "0 best fit, ISO weight"};
    bool allHold = true;
    for (int row = 0; row < 6; ++row) {
        const int sort = row < 5 ? row : int(Assorted);
        const ImageFormat image = row < 5 ? ImageFormat::None : ImageFormat::Iso;
        Packing packing = packBestOf3(order, sort, image, root);
        const bool holds = (scanTime.wall + packing.best.wall) / scanTime.wall <= Bound;
        allHold = allHold && (holds || image != ImageFormat::None); // the bound is the modes'
        bool exact = false;
        const Timing removal = removeAll(root, packing, &exact);
        allHold = allHold && exact;
        printRow(out, names[row], packing, scanTime, removal, exact);
        packing = Packing(); // the removed nodes go here, outside the timings
        root.reset();
        if (row < 5 && !(root = scan(folder))) { // afresh: the removal emptied this tree
            out << "the scan failed\n";
            return 1;
        }
    }
    out << (allHold ? "\nevery mode holds the bound" : "\nNOT every mode holds the bound")
        << " (the ISO weight row is beside them, beyond the bound)\n";
    return allHold ? 0 : 3;
}
