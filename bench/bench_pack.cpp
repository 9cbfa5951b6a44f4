// Packs a folder of 1,000,000 top-level items (built in memory from a fixed
// seed: nine files to one folder, sizes spread evenly over seven orders of
// magnitude) into CD-sized packages in each of the five modes, and prints
// the seconds and the package count of each. Then takes every package of
// the best-fit packing out of the tree again, as a full move would.
//
//     bench_pack [ITEMS]

#include "DirectoryNode.h"
#include "FileNode.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cmath>
#include <ctime>
#include <random>

using namespace korvo;

namespace {

// CPU seconds of this process: steadier than the wall clock on a busy machine.
double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

DirectoryNodePtr buildRoot(int items, quint64 seed)
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> magnitude(0.0, 8.0); // 1 byte to 100 MB
    const char* const syllables[] = {"ka", "Ro", "mi", "TE", "su", "no", "ha", "Ni", "to", "ya", "re", "Wa"};
    const qint64 cluster = 4096;
    const QString folder = QStringLiteral("/bench/root");
    DirectoryNodePtr root(new DirectoryNode(DirectoryNodePtr(), QStringLiteral("/bench"), QStringLiteral("root"),
                                            NodeTimes()));
    root->reserve(items, items / 9);
    qint64 ownSize = 0, ownOnDisk = 0, totalSize = 0, totalOnDisk = 0;
    qint32 files = 0, folders = 0;
    for (int i = 0; i < items; ++i) {
        const qint64 size = qint64(std::pow(10.0, magnitude(random)));
        const qint64 onDisk = (size + cluster - 1) / cluster * cluster;
        QString name;
        const int parts = 1 + int(random() % 4);
        for (int p = 0; p < parts; ++p)
            name += QLatin1String(syllables[random() % 12]);
        name += QLatin1Char('_') + QString::number(i);
        if (random() % 10 == 0) {
            DirectoryNodePtr child(new DirectoryNode(root, folder, name, NodeTimes()));
            child->setTotals(size, onDisk, 10, 1);
            root->appendSubdirectory(child);
            folders += 2;
            files += 10;
        } else {
            root->appendFile(FileNodePtr(new FileNode(folder, name, size, onDisk, NodeTimes())));
            ownSize += size;
            ownOnDisk += onDisk;
            files += 1;
        }
        totalSize += size;
        totalOnDisk += onDisk;
    }
    root->setOwnSizes(ownSize, ownOnDisk);
    root->setTotals(totalSize, totalOnDisk, files, folders);
    return root;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    out.setCodec("UTF-8");
    const int items = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const quint64 seed = 20261207;
    const PackageOrder order = builtInPackageOrders().first();

    QElapsedTimer timer;
    timer.start();
    const DirectoryNodePtr root = buildRoot(items, seed);
    out << "items: " << items << " (" << root->fileCount() << " files, " << root->subdirectoryCount()
        << " folders), seed " << seed << ", built in " << QString::number(timer.elapsed() / 1000.0, 'f', 3)
        << " s\n";
    out << "order: " << order.name << " (" << order.size << " bytes)\n";
    out.flush();

    const char* const names[] = {"Assorted (best fit)", "SizeAscending", "SizeDescending", "NameAscending",
                                 "NameDescending"};
    QList<PackagePtr> bestFit;
    for (int sort = 0; sort < 5; ++sort) {
        QList<PackagePtr> packages;
        timer.restart();
        const double cpuStart = cpuSeconds();
        Packer::pack(order, sort, root, packages);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpuStart;
        out << QString::fromLatin1(names[sort]).leftJustified(22) << QString::number(seconds, 'f', 3) << " s ("
            << QString::number(cpu, 'f', 3) << " s CPU)  " << packages.size() << " packages\n";
        out.flush();
        if (sort == Assorted)
            bestFit = packages;
    }

    timer.restart();
    const double cpuStart = cpuSeconds();
    for (const PackagePtr& package : bestFit)
        root->remove(package);
    // Reading the lists again closes the holes the removals left: counted.
    const int leftFiles = root->files().size();
    const int leftFolders = root->subdirectories().size();
    out << "remove all " << bestFit.size() << " packages from the tree, one by one: "
        << QString::number(timer.nsecsElapsed() / 1e9, 'f', 3) << " s (" << QString::number(cpuSeconds() - cpuStart, 'f', 3)
        << " s CPU, the lists read once after; left: " << leftFiles << " files, " << leftFolders << " folders, "
        << root->totalSize() << " bytes)\n";
    return 0;
}
