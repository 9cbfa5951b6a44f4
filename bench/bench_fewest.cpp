// The number of packages of each packing mode beside the lower bound and,
// where known, the fewest possible, on instances made from a fixed seed
// (reruns print the same counts):
//   - perfect: 12 packages' worth of 4,096-byte units, each package cut at
//     random into 2 to 4 pieces, 32 to 40 pieces in all, shuffled: 12
//     packages is the fewest possible;
//   - random: 32 to 40 items of 1 unit up to a whole package, uniformly;
//     the fewest possible is known where the search (given a minute, from
//     one package per item) proves its count.
// Then one large instance of 100,000 random items, where the fewest mode
// searches until its time limit unless it proves its count first. The time
// of the fewest mode is printed for each instance.
//
//     bench_fewest [INSTANCES] [LARGE_ITEMS]

#include "DirectoryNode.h"
#include "FewestPackages.h"
#include "FileNode.h"
#include "LowerBound.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <random>
#include <vector>

using namespace korvo;

namespace {

const qint64 Unit = 4096;
const qint64 Capacity = 700000000 / Unit; // units in a package: a CD

std::vector<qint64> perfectInstance(std::mt19937_64& random)
{
    std::vector<int> pieces(12, 0);
    int total = 0;
    do { // 32 to 40 pieces in all
        total = 0;
        for (int& count : pieces)
            total += count = 2 + int(random() % 3);
    } while (total < 32 || total > 40);
    std::vector<qint64> units;
    for (const int count : pieces) {
        std::vector<qint64> cuts{0, Capacity};
        while (int(cuts.size()) < count + 1) {
            const qint64 cut = 1 + qint64(random() % quint64(Capacity - 1));
            if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end())
                cuts.push_back(cut);
        }
        std::sort(cuts.begin(), cuts.end());
        for (size_t i = 1; i < cuts.size(); ++i)
            units.push_back(cuts[i] - cuts[i - 1]);
    }
    std::shuffle(units.begin(), units.end(), random);
    return units;
}

std::vector<qint64> randomInstance(std::mt19937_64& random, int items)
{
    std::vector<qint64> units(size_t(items), 0);
    for (qint64& size : units)
        size = 1 + qint64(random() % quint64(Capacity));
    return units;
}

DirectoryNodePtr treeOf(const std::vector<qint64>& units)
{
    DirectoryNodePtr root(new DirectoryNode(DirectoryNodePtr(), QStringLiteral("/bench"), QStringLiteral("root"),
                                            NodeTimes()));
    const QString folder = QStringLiteral("/bench/root");
    for (size_t i = 0; i < units.size(); ++i) {
        const qint64 bytes = units[i] * Unit;
        root->appendFile(FileNodePtr(new FileNode(folder, QStringLiteral("f%1").arg(i), bytes, bytes, NodeTimes())));
    }
    return root;
}

// The fewest packages possible where a search of a minute proves it; 0 if not.
int provenFewest(const std::vector<qint64>& units)
{
    packing::BinPacking alone; // one package per item: a valid start
    for (size_t i = 0; i < units.size(); ++i)
        alone.bin.push_back(int(i));
    alone.binCount = int(units.size());
    packing::SearchLimits limits;
    limits.milliseconds = 60000;
    const packing::BinPacking found = packing::fewestBins(units, Capacity, alone, limits);
    return found.proven ? found.binCount : 0;
}

struct Counts
{
    int packages[6] = {0, 0, 0, 0, 0, 0};
    int lower = 0;
    double fewestSeconds = 0;
};

Counts measure(const std::vector<qint64>& units)
{
    const DirectoryNodePtr root = treeOf(units);
    const PackageOrder order(Capacity * Unit, QStringLiteral("CD"));
    Counts counts;
    for (int sort = 0; sort <= Fewest; ++sort) {
        QList<PackagePtr> packages;
        QElapsedTimer timer;
        timer.start();
        Packer::pack(order, sort, root, packages);
        if (sort == Fewest)
            counts.fewestSeconds = timer.nsecsElapsed() / 1e9;
        counts.packages[sort] = packages.size();
    }
    counts.lower = Packer::lowerBound(order, root);
    return counts;
}

// Runs `instances` instances of one kind and prints a line each and a
// summary.
void runKind(QTextStream& out, const char* kind, int instances, std::mt19937_64& random, bool perfect)
{
    out << "\n" << kind << " instances (packages per mode; lower bound; fewest possible; fewest mode's time)\n";
    out << "  #  items  best-fit size-asc size-desc name-asc name-desc fewest | bound optimum  seconds\n";
    int reached[6] = {0, 0, 0, 0, 0, 0};
    int known = 0;
    double slowest = 0;
    for (int n = 0; n < instances; ++n) {
        const std::vector<qint64> units = perfect ? perfectInstance(random)
                                                  : randomInstance(random, 32 + int(random() % 9));
        const Counts counts = measure(units);
        const int optimum = perfect ? 12 : provenFewest(units);
        out << QString::number(n + 1).rightJustified(3) << QString::number(int(units.size())).rightJustified(7);
        const int widths[6] = {10, 9, 10, 9, 10, 7};
        for (int sort = 0; sort <= Fewest; ++sort) {
            out << QString::number(counts.packages[sort]).rightJustified(widths[sort]);
            if (optimum > 0 && counts.packages[sort] == optimum)
                ++reached[sort];
        }
        out << " |" << QString::number(counts.lower).rightJustified(6)
            << (optimum > 0 ? QString::number(optimum) : QStringLiteral("?")).rightJustified(8)
            << QString::number(counts.fewestSeconds, 'f', 4).rightJustified(9) << "\n";
        out.flush();
        known += optimum > 0 ? 1 : 0;
        slowest = std::max(slowest, counts.fewestSeconds);
    }
    out << "  reached the fewest possible (of " << known << " known):";
    const char* const names[] = {"best-fit", "size-asc", "size-desc", "name-asc", "name-desc", "fewest"};
    for (int sort = 0; sort <= Fewest; ++sort)
        out << " " << names[sort] << " " << reached[sort];
    out << "; fewest mode's slowest: " << QString::number(slowest, 'f', 4) << " s\n";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    const int instances = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    const int large = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 100000;
    const quint64 seed = 20261209;
    out << "package: " << Capacity << " units of " << Unit << " bytes; seed " << seed << "\n";
    std::mt19937_64 random(seed);
    runKind(out, "perfect-packing", instances, random, true);
    runKind(out, "random", instances, random, false);

    if (large > 0) {
        const std::vector<qint64> units = randomInstance(random, large);
        const Counts counts = measure(units);
        out << "\nlarge: " << large << " random items: best-fit " << counts.packages[Assorted] << ", size-desc "
            << counts.packages[SizeDescending] << ", fewest " << counts.packages[Fewest] << ", lower bound "
            << counts.lower << "; fewest mode " << QString::number(counts.fewestSeconds, 'f', 3) << " s\n";
    }
    return 0;
}
