#include "DirectoryNode.h"
#include "FewestPackages.h"
#include "FileNode.h"
#include "LowerBound.h"
#include "NameCase.h"
#include "PackageOrder.h"
#include "Packager.h"
#include "RelativePath.h"
#include "ScanSupport.h"

#include <QtTest>

#include <algorithm>
#include <climits>
#include <limits>
#include <numeric>
#include <random>

using namespace korvo;

namespace {

// An in-memory root whose own files carry the given sizes (size and size on
// disk alike unless `onDisk` is given), named as listed.
struct MemoryTree
{
    DirectoryNodePtr root{new DirectoryNode(DirectoryNodePtr(), QStringLiteral("/mem"), QStringLiteral("root"),
                                            NodeTimes())};
    qint64 size = 0;
    qint64 sizeOnDisk = 0;

    FileNodePtr addFile(const QString& name, qint64 bytes, qint64 onDisk = -1)
    {
        if (onDisk < 0)
            onDisk = bytes;
        FileNodePtr file(new FileNode(root->absoluteFilePath(), name, bytes, onDisk, NodeTimes()));
        root->appendFile(file);
        size += bytes;
        sizeOnDisk += onDisk;
        update();
        return file;
    }

    DirectoryNodePtr addFolder(const QString& name, qint64 bytes, qint64 onDisk = -1)
    {
        if (onDisk < 0)
            onDisk = bytes;
        DirectoryNodePtr folder(new DirectoryNode(root, root->absoluteFilePath(), name, NodeTimes()));
        folder->setTotals(bytes, onDisk, 0, 0);
        root->appendSubdirectory(folder);
        update();
        return folder;
    }

    void update()
    {
        qint64 ownSize = 0;
        qint64 ownOnDisk = 0;
        for (const FileNodePtr& file : root->files()) {
            ownSize += file->size();
            ownOnDisk += file->sizeOnDisk();
        }
        root->setOwnSizes(ownSize, ownOnDisk);
        root->setTotals(size, sizeOnDisk, root->fileCount(), root->subdirectoryCount());
    }
};

QStringList names(const PackagePtr& package)
{
    QStringList list;
    for (const PackagablePtr& item : package->items)
        list << item->fileName();
    return list;
}

// "a,c|b,d,e": the packages' item names, for compact comparisons.
QString layout(const QList<PackagePtr>& packages)
{
    QStringList parts;
    for (const PackagePtr& package : packages)
        parts << names(package).join(QLatin1Char(','));
    return parts.join(QLatin1Char('|'));
}

// Packed for a target that tells names apart by case, as these trees'
// names are meant to be told apart (Windows keeps such twins apart).
QList<PackagePtr> packOfExactNames(const MemoryTree& tree, qint64 limit, int sort)
{
    QList<PackagePtr> packages;
    Packer::pack(PackageOrder(limit, QStringLiteral("L")), sort, tree.root, packages, nullptr, PackMeasure(), false);
    return packages;
}

QList<PackagePtr> packOf(const MemoryTree& tree, qint64 limit, int sort)
{
    QList<PackagePtr> packages;
    Packager packager;
    const bool ok = packager.pack(PackageOrder(limit, QStringLiteral("L")), sort, tree.root, packages);
    if (!ok || !packager.errorString().isEmpty())
        qWarning("pack reported a failure");
    return packages;
}

// The best fit exactly as first described: for each placement scan every
// remaining candidate from the start, keep the one leaving the smallest
// non-negative rest (a later one only when strictly smaller), stop at an
// exact fill; when none fits, close the package.
QList<QList<int>> referenceBestFit(const QVector<qint64>& sizes, qint64 limit)
{
    QList<int> candidates;
    for (int i = 0; i < sizes.size(); ++i) {
        if (sizes[i] <= limit)
            candidates << i;
    }
    QList<QList<int>> packages;
    QList<int> current;
    qint64 running = 0;
    while (!candidates.isEmpty()) {
        const qint64 room = limit - running;
        int best = -1;
        qint64 bestRest = 0;
        for (int c = 0; c < candidates.size(); ++c) {
            const qint64 rest = room - sizes[candidates[c]];
            if (rest < 0)
                continue;
            if (best < 0 || rest < bestRest) {
                best = c;
                bestRest = rest;
            }
            if (rest == 0)
                break;
        }
        if (best >= 0) {
            current << candidates[best];
            running += sizes[candidates[best]];
            candidates.removeAt(best);
        } else {
            if (current.isEmpty())
                break;
            packages << current;
            current.clear();
            running = 0;
        }
    }
    if (!current.isEmpty())
        packages << current;
    return packages;
}

// The fewest packages any packing of the sizes needs, by trying every order
// of the items: for each set of items placed, the fewest packages and then
// the least filled last package (few items only).
int fewestPossible(const std::vector<qint64>& sizes, qint64 limit)
{
    const int count = int(sizes.size());
    if (count == 0)
        return 0;
    const size_t sets = size_t(1) << count;
    std::vector<std::pair<int, qint64>> best(sets, {INT_MAX, 0});
    best[0] = {1, 0};
    for (size_t set = 0; set < sets; ++set) {
        for (int i = 0; i < count; ++i) {
            if (set & (size_t(1) << i))
                continue;
            const auto [packages, load] = best[set];
            const std::pair<int, qint64> next = load + sizes[size_t(i)] <= limit
                                                    ? std::make_pair(packages, load + sizes[size_t(i)])
                                                    : std::make_pair(packages + 1, sizes[size_t(i)]);
            std::pair<int, qint64>& known = best[set | (size_t(1) << i)];
            known = std::min(known, next);
        }
    }
    return best[sets - 1].first;
}

// Sizes for the fewest mode's tests: packages of `limit` cut into pieces
// (some cut at the same place: empty pieces), plain random sizes, or random
// sizes some of which pass the limit; at most `most` of them.
std::vector<qint64> sizesOfKind(std::mt19937_64& random, int kind, qint64 limit, size_t most)
{
    std::vector<qint64> sizes;
    if (kind == 0) {
        const int packages = 1 + int(random() % 4);
        for (int p = 0; p < packages; ++p) {
            std::vector<qint64> cuts{0, limit};
            for (int c = int(random() % 4); c > 0; --c)
                cuts.push_back(qint64(random() % quint64(limit + 1)));
            std::sort(cuts.begin(), cuts.end());
            for (size_t i = 1; i < cuts.size(); ++i)
                sizes.push_back(cuts[i] - cuts[i - 1]);
        }
        if (random() % 2 && !sizes.empty())
            sizes.pop_back();
        std::shuffle(sizes.begin(), sizes.end(), random);
    } else {
        const qint64 top = kind == 1 ? limit : limit + limit / 4;
        for (int i = int(random() % (most + 1)); i > 0; --i)
            sizes.push_back(qint64(random() % quint64(top + 1)));
    }
    if (sizes.size() > most)
        sizes.resize(most);
    return sizes;
}

// Whether the packing puts each item in one bin of at most `limit`.
bool isPacking(const packing::BinPacking& packing, const std::vector<qint64>& sizes, qint64 limit)
{
    if (packing.bin.size() != sizes.size())
        return false;
    std::vector<qint64> loads(size_t(packing.binCount), 0);
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (packing.bin[i] < 0 || packing.bin[i] >= packing.binCount)
            return false;
        loads[size_t(packing.bin[i])] += sizes[i];
    }
    return std::all_of(loads.begin(), loads.end(), [limit](qint64 load) { return load <= limit; });
}

} // namespace

class PackerTest : public QObject
{
    Q_OBJECT
private slots:
    // The items too large for the limit are reported once, in listed order
    // (files, then folders); a measure weighs each item instead of its size
    // on disk and counts its fixed part in every package.
    void leftOutItemsAndMeasures_data()
    {
        QTest::addColumn<bool>("measured");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("leftOut");
        // Sizes on disk a 60, big 150, c 40, dir 101, d 30; limit 100.
        QTest::newRow("by size on disk") << false << QStringLiteral("a,c|d") << QStringList{QStringLiteral("big"), QStringLiteral("dir")};
        // Weighed as twice the size on disk plus 10 per package: only c
        // (80) and d (60) fit, one each.
        QTest::newRow("measured") << true << QStringLiteral("c|d")
                                  << QStringList{QStringLiteral("a"), QStringLiteral("big"), QStringLiteral("dir")};
    }
    void leftOutItemsAndMeasures()
    {
        QFETCH(bool, measured);
        QFETCH(QString, expected);
        QFETCH(QStringList, leftOut);
        MemoryTree tree;
        tree.addFile(QStringLiteral("a"), 60);
        tree.addFile(QStringLiteral("big"), 150);
        tree.addFile(QStringLiteral("c"), 40);
        tree.addFolder(QStringLiteral("dir"), 101);
        tree.addFile(QStringLiteral("d"), 30);
        PackMeasure measure;
        if (measured) {
            measure.weight = [](const iPackagable& item) { return 2 * item.totalSizeOnDisk(); };
            measure.fixed = 10;
        }
        for (int sort : {int(Assorted), int(NameAscending)}) {
            QList<PackagePtr> packages;
            QList<PackagablePtr> left{PackagablePtr()}; // cleared by the packer
            Packer::pack(PackageOrder(100, QStringLiteral("L")), sort, tree.root, packages, &left, measure);
            QCOMPARE(layout(packages), expected);
            QStringList leftNames;
            for (const PackagablePtr& item : left)
                leftNames << item->fileName();
            QCOMPARE(leftNames, leftOut);
            for (const PackagePtr& package : packages) {
                QVERIFY(package->weight <= 100);
                QCOMPARE(package->weight, measured ? 2 * package->sizeOnDisk + 10 : package->sizeOnDisk);
            }
        }
    }

    void builtInOrders()
    {
        const QList<PackageOrder>& orders = builtInPackageOrders();
        QCOMPARE(orders.size(), 9);
        QCOMPARE(orders[0], PackageOrder(700000000, QStringLiteral("CD")));
        QCOMPARE(orders[1], PackageOrder(500000000, QStringLiteral("PACK_500MB")));
        QCOMPARE(orders[2], PackageOrder(400000000, QStringLiteral("PACK_400MB")));
        QCOMPARE(orders[3], PackageOrder(300000000, QStringLiteral("PACK_200MB")));
        QCOMPARE(orders[4], PackageOrder(200000000, QStringLiteral("PACK_100MB")));
        // The discs follow, by the bytes each holds.
        QCOMPARE(orders[5], PackageOrder(4700372992, QStringLiteral("DVD")));
        QCOMPARE(orders[6], PackageOrder(8543666176, QStringLiteral("DVD_DL")));
        QCOMPARE(orders[7], PackageOrder(25025314816, QStringLiteral("BD")));
        QCOMPARE(orders[8], PackageOrder(50050629632, QStringLiteral("BD_DL")));
    }

    void workedExample_data()
    {
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QList<qint64>>("onDisk");
        QTest::newRow("assorted") << int(Assorted) << QStringLiteral("a,c|b,d,e") << QList<qint64>{100, 100};
        QTest::newRow("size ascending") << int(SizeAscending) << QStringLiteral("e,d,c|b|a")
                                        << QList<qint64>{90, 50, 60};
        QTest::newRow("size descending") << int(SizeDescending) << QStringLiteral("a|b,c|d,e")
                                         << QList<qint64>{60, 90, 50};
        QTest::newRow("name ascending") << int(NameAscending) << QStringLiteral("a|b,c|d,e")
                                        << QList<qint64>{60, 90, 50};
        QTest::newRow("name descending") << int(NameDescending) << QStringLiteral("e,d,c|b|a")
                                         << QList<qint64>{90, 50, 60};
        QTest::newRow("unknown sort: as listed, next fit") << 7 << QStringLiteral("a|b,c|d,e")
                                                           << QList<qint64>{60, 90, 50};
    }

    void workedExample()
    {
        QFETCH(int, sort);
        QFETCH(QString, expected);
        QFETCH(QList<qint64>, onDisk);
        MemoryTree tree;
        const QStringList letters{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                                  QStringLiteral("e")};
        const qint64 sizes[] = {60, 50, 40, 30, 20};
        for (int i = 0; i < 5; ++i)
            tree.addFile(letters[i], sizes[i]);
        const QList<PackagePtr> packages = packOf(tree, 100, sort);
        QCOMPARE(layout(packages), expected);
        QCOMPARE(packages.size(), onDisk.size());
        for (int i = 0; i < packages.size(); ++i) {
            QCOMPARE(packages[i]->sizeOnDisk, onDisk[i]);
            QCOMPARE(packages[i]->size, onDisk[i]);
            QCOMPARE(packages[i]->packageOrder, PackageOrder(100, QStringLiteral("L")));
        }
        // The tree is only read.
        QCOMPARE(tree.root->fileCount(), 5);
        QCOMPARE(tree.root->totalSize(), qint64(200));
    }

    // The sort keys are the sizes, the fitting test the sizes on disk; a
    // folder weighs its whole subtree; items above the limit stay out.
    void sizesAndSizesOnDisk()
    {
        MemoryTree tree;
        tree.addFolder(QStringLiteral("dir"), 10, 4096);    // small size, large on disk
        tree.addFile(QStringLiteral("big"), 3000, 3000);
        tree.addFile(QStringLiteral("over"), 1, 4097);      // one byte on disk above the limit
        tree.addFile(QStringLiteral("small"), 20, 1000);
        QList<PackagePtr> packages = packOf(tree, 4096, SizeAscending);
        // Files first, then folders, sorted by size: dir(10), small(20), big(3000).
        QCOMPARE(layout(packages), QStringLiteral("dir|small,big"));
        QCOMPARE(packages[0]->size, qint64(10));
        QCOMPARE(packages[0]->sizeOnDisk, qint64(4096));
        QCOMPARE(packages[1]->size, qint64(3020));
        QCOMPARE(packages[1]->sizeOnDisk, qint64(4000));

        packages = packOf(tree, 4096, Assorted);
        QCOMPARE(layout(packages), QStringLiteral("dir|big,small"));
        for (const PackagePtr& package : packages)
            QVERIFY(package->sizeOnDisk <= 4096);
    }

    void edgeCases()
    {
        {   // An item exactly at the limit shares only with items of 0 bytes on disk.
            MemoryTree tree;
            tree.addFile(QStringLiteral("z1"), 0);
            tree.addFile(QStringLiteral("full"), 100);
            tree.addFile(QStringLiteral("z2"), 0);
            tree.addFile(QStringLiteral("x"), 1);
            QCOMPARE(layout(packOf(tree, 100, Assorted)), QStringLiteral("full,z1,z2|x"));
            QCOMPARE(layout(packOf(tree, 100, 99)), QStringLiteral("z1,full,z2|x"));
        }
        {   // Empty root, every item above the limit, no root at all.
            MemoryTree empty;
            QVERIFY(packOf(empty, 100, Assorted).isEmpty());
            MemoryTree over;
            over.addFile(QStringLiteral("a"), 101);
            over.addFolder(QStringLiteral("d"), 5000);
            for (int sort = 0; sort <= Fewest; ++sort)
                QVERIFY(packOf(over, 100, sort).isEmpty());
            QList<PackagePtr> packages{PackagePtr(new Package)};
            Packager packager;
            QVERIFY(packager.pack(PackageOrder(1, QStringLiteral("x")), Assorted, DirectoryNodePtr(), packages));
            QVERIFY(packages.isEmpty()); // the output list is cleared
        }
        {   // Limit 0: only items of 0 bytes on disk, all in one package.
            MemoryTree tree;
            tree.addFile(QStringLiteral("a"), 0);
            tree.addFile(QStringLiteral("b"), 1);
            tree.addFolder(QStringLiteral("c"), 0);
            for (int sort = 0; sort <= Fewest; ++sort)
                QCOMPARE(packOf(tree, 0, sort).size(), 1);
            QCOMPARE(layout(packOf(tree, 0, Assorted)), QStringLiteral("a,c"));
        }
        {   // Next fit never fills gaps; best fit takes 40 over 30 for a room of 45.
            MemoryTree tree;
            tree.addFile(QStringLiteral("60"), 60);
            tree.addFile(QStringLiteral("50"), 50);
            tree.addFile(QStringLiteral("40"), 40);
            QCOMPARE(layout(packOf(tree, 100, 99)), QStringLiteral("60|50,40"));
            MemoryTree fit;
            fit.addFile(QStringLiteral("55"), 55);
            fit.addFile(QStringLiteral("30"), 30);
            fit.addFile(QStringLiteral("40"), 40);
            QCOMPARE(layout(packOf(fit, 100, Assorted)), QStringLiteral("55,40|30"));
        }
        {   // Best fit among equals takes the one nearer the start of the list.
            MemoryTree tree;
            tree.addFile(QStringLiteral("first"), 30);
            tree.addFile(QStringLiteral("second"), 30);
            tree.addFolder(QStringLiteral("third"), 30);
            QCOMPARE(layout(packOf(tree, 50, Assorted)), QStringLiteral("first|second|third"));
        }
    }

    // Sorting is stable (equal keys keep their listed order) and by name
    // puts upper-case initials before lower-case ones.
    void stableSorts()
    {
        MemoryTree tree;
        tree.addFile(QStringLiteral("b"), 10);
        tree.addFile(QStringLiteral("Z"), 20);
        tree.addFile(QStringLiteral("a"), 10);
        tree.addFolder(QStringLiteral("b"), 20);
        tree.addFile(QStringLiteral("c"), 10);
        const qint64 limit = 1000;
        QCOMPARE(layout(packOfExactNames(tree, limit, SizeAscending)), QStringLiteral("b,a,c,Z,b"));
        QCOMPARE(layout(packOfExactNames(tree, limit, SizeDescending)), QStringLiteral("Z,b,b,a,c"));
        // The file b precedes the folder b in both name orders.
        QList<PackagePtr> packages = packOfExactNames(tree, limit, NameAscending);
        QCOMPARE(layout(packages), QStringLiteral("Z,a,b,b,c"));
        QVERIFY(packages[0]->items[2].dynamicCast<FileNode>());
        QVERIFY(packages[0]->items[3].dynamicCast<DirectoryNode>());
        packages = packOfExactNames(tree, limit, NameDescending);
        QCOMPARE(layout(packages), QStringLiteral("c,b,b,a,Z"));
        QVERIFY(packages[0]->items[1].dynamicCast<FileNode>());

        // Many equal keys: a long run keeps exactly its listed order.
        MemoryTree many;
        QStringList listed;
        for (int i = 0; i < 200; ++i) {
            const QString name = QStringLiteral("n%1").arg(i, 3, 10, QLatin1Char('0'));
            many.addFile(name, i % 2 ? 5 : 7);
            listed << name;
        }
        const QString ascending = layout(packOfExactNames(many, 1000000, SizeAscending));
        QStringList odd, even;
        for (int i = 0; i < 200; ++i)
            (i % 2 ? odd : even) << listed[i];
        QCOMPARE(ascending, (odd + even).join(QLatin1Char(',')));
    }

    // Name order is QString's operator< (code unit by code unit), stable,
    // also for names sharing long beginnings, holding NUL or surrogate
    // units, or empty.
    void nameOrderMatchesQString()
    {
        std::mt19937_64 random(7);
        const QString alphabet = QStringLiteral("aAbZz_0") + QChar(0) + QChar(0xD83D) + QChar(0xDE00) +
                                 QStringLiteral("名");
        for (int round = 0; round < 200; ++round) {
            MemoryTree tree;
            QList<QPair<QString, int>> expected;
            const int count = 1 + int(random() % 40);
            for (int i = 0; i < count; ++i) {
                QString name = random() % 2 ? QStringLiteral("sharedprefix") : QString();
                const int length = int(random() % 11);
                for (int c = 0; c < length; ++c)
                    name += alphabet.at(int(random() % quint64(alphabet.size())));
                if (random() % 3 == 0)
                    tree.addFolder(name, 1);
                else
                    tree.addFile(name, 1);
            }
            // Files first, then folders, as the candidates are listed.
            for (const FileNodePtr& file : tree.root->files())
                expected << qMakePair(file->fileName(), expected.size());
            for (const DirectoryNodePtr& folder : tree.root->subdirectories())
                expected << qMakePair(folder->fileName(), expected.size());
            QList<QPair<QString, int>> ascending = expected;
            std::stable_sort(ascending.begin(), ascending.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            QList<QPair<QString, int>> descending = expected;
            std::stable_sort(descending.begin(), descending.end(),
                             [](const auto& a, const auto& b) { return b.first < a.first; });
            for (const int sort : {int(NameAscending), int(NameDescending)}) {
                const QList<PackagePtr> packages = packOfExactNames(tree, 1000000, sort);
                QCOMPARE(packages.size(), 1);
                const auto& wanted = sort == NameAscending ? ascending : descending;
                QCOMPARE(packages[0]->items.size(), wanted.size());
                for (int i = 0; i < wanted.size(); ++i) {
                    const PackagablePtr& item = packages[0]->items[i];
                    QCOMPARE(item->fileName(), wanted[i].first);
                    const int listed = wanted[i].second;
                    const PackagablePtr expectedItem =
                        listed < tree.root->fileCount()
                            ? PackagablePtr(tree.root->file(listed))
                            : PackagablePtr(tree.root->subdirectory(listed - tree.root->fileCount()));
                    QCOMPARE(item.data(), expectedItem.data());
                }
            }
        }
    }

    // Pieces of split folders go in the order of their paths below the
    // scanned folder as texts (QString's operator<), folders that fit
    // whole among them: names that share beginnings with their neighbours'
    // folders ("a b/x" before "a/x", "a/a/x" before "a/b") are compared
    // across the '/'.
    void nameOrderOfPieces()
    {
        QStringList alphabet{QStringLiteral("a"),  QStringLiteral("a b"), QStringLiteral("a.b"),
                             QStringLiteral("a0"), QStringLiteral("A"),   QStringLiteral("ab"),
                             QStringLiteral("名"), QStringLiteral("a-")};
        // Where names differing only in case are one name, "A" would be "a".
        if (platform::namesIgnoreCase())
            alphabet.removeAll(QStringLiteral("A"));
        std::mt19937_64 random(20261210);
        for (int round = 0; round < 8; ++round) {
            QTemporaryDir temporary;
            QVERIFY(temporary.isValid());
            // Three levels of folders and files of 1 byte, names drawn from
            // the alphabet (each at most once in a folder); in every other
            // round after a common beginning longer than the packed part of
            // the sort key, so that the texts decide.
            const QString beginning = round % 2 ? QStringLiteral("longname") : QString();
            QVector<std::pair<QString, int>> pending{{temporary.path(), 0}};
            while (!pending.isEmpty()) {
                const auto [folder, level] = pending.takeLast();
                for (const QString& letter : alphabet) {
                    const QString name = beginning + letter;
                    const quint64 pick = random() % 4; // a file, a folder (twice as likely), none
                    if (pick == 3)
                        continue;
                    if (pick > 0 && level < 3) {
                        QVERIFY(QDir(folder).mkdir(name));
                        pending.append({folder + QLatin1Char('/') + name, level + 1});
                    } else {
                        QFile file(folder + QLatin1Char('/') + name);
                        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x", 1) == 1);
                    }
                }
            }
            const DirectoryNodePtr root = test::scanFolder(temporary.path());
            QVERIFY(root);
            // An item weighs its bytes: a folder of at most 2 fits whole.
            PackMeasure bytes;
            bytes.weight = [](const iPackagable& item) { return item.totalSize(); };
            for (const int sort : {int(NameAscending), int(NameDescending)}) {
                QList<PackagePtr> packages;
                QList<PackagablePtr> leftOut;
                Packer::pack(PackageOrder(2, QStringLiteral("L")), sort, root, packages, &leftOut, bytes, false,
                             SplitFolders::Yes);
                QVERIFY(leftOut.isEmpty());
                QStringList paths;
                qint64 packed = 0;
                for (const PackagePtr& package : qAsConst(packages)) {
                    for (const PackagablePtr& item : package->items) {
                        paths << RelativePath::textOf(root->path(), *item);
                        packed += item->totalSize();
                    }
                }
                QCOMPARE(packed, root->totalSize());
                QStringList sorted = paths;
                std::sort(sorted.begin(), sorted.end());
                if (sort == NameDescending)
                    std::reverse(sorted.begin(), sorted.end());
                QCOMPARE(paths, sorted);
            }
        }
    }

    // The fast best fit gives exactly the packages of the plain scan, on
    // many random inputs with many ties, zero sizes and items over the limit.
    void bestFitMatchesReference()
    {
        std::mt19937_64 random(20261207);
        for (int round = 0; round < 3000; ++round) {
            const int count = int(random() % 60);
            const qint64 limit = qint64(random() % 40);
            const qint64 spread = 1 + qint64(random() % 50);
            MemoryTree tree;
            QVector<qint64> listed;
            for (int i = 0; i < count; ++i) {
                const qint64 onDisk = qint64(random() % quint64(spread));
                tree.addFile(QString::number(i), onDisk * 3 + 1, onDisk); // sizes differ from sizes on disk
                listed << onDisk;
            }
            const int folders = int(random() % 10);
            for (int i = 0; i < folders; ++i) {
                const qint64 onDisk = qint64(random() % quint64(spread));
                tree.addFolder(QString::number(count + i), onDisk, onDisk);
                listed << onDisk;
            }
            const QList<QList<int>> expected = referenceBestFit(listed, limit);
            const QList<PackagePtr> packages = packOf(tree, limit, Assorted);
            QCOMPARE(packages.size(), expected.size());
            for (int p = 0; p < packages.size(); ++p) {
                QStringList expectedNames;
                qint64 expectedOnDisk = 0;
                for (int index : expected[p]) {
                    expectedNames << QString::number(index);
                    expectedOnDisk += listed[index];
                }
                QCOMPARE(names(packages[p]), expectedNames);
                QCOMPARE(packages[p]->sizeOnDisk, expectedOnDisk);
                QVERIFY(packages[p]->sizeOnDisk <= limit);
            }
        }
    }

    // The fewest mode packs exactly as few packages as an exhaustive search
    // finds, never more than best fit, each item that fits in one package
    // within the limit, each package's figures its items' sums; the lower
    // bound is never above the fewest, nor below the sizes over the limit.
    void fewestMatchesExhaustiveSearch()
    {
        std::mt19937_64 random(20261209);
        int fewerThanBestFit = 0;
        for (int round = 0; round < 3000; ++round) {
            const qint64 limit = 1 + qint64(random() % 120);
            const std::vector<qint64> sizes = sizesOfKind(random, round % 3, limit, 12);
            MemoryTree tree;
            std::vector<qint64> fitting;
            QStringList expectedNames;
            for (size_t i = 0; i < sizes.size(); ++i) {
                const QString name = QString::number(i);
                if (i % 4 == 3)
                    tree.addFolder(name, sizes[i] * 2 + 1, sizes[i]);
                else
                    tree.addFile(name, sizes[i] * 2 + 1, sizes[i]);
                if (sizes[i] <= limit) {
                    fitting.push_back(sizes[i]);
                    expectedNames << name;
                }
            }
            const QList<PackagePtr> packages = packOf(tree, limit, Fewest);
            const int fewest = fewestPossible(fitting, limit);
            QCOMPARE(packages.size(), fewest);
            const int bestFit = packOf(tree, limit, Assorted).size();
            QVERIFY(packages.size() <= bestFit);
            fewerThanBestFit += packages.size() < bestFit ? 1 : 0;
            QStringList packed;
            for (const PackagePtr& package : packages) {
                qint64 size = 0;
                qint64 onDisk = 0;
                for (const PackagablePtr& item : package->items) {
                    size += item->totalSize();
                    onDisk += item->totalSizeOnDisk();
                }
                QVERIFY(!package->items.isEmpty());
                QCOMPARE(package->size, size);
                QCOMPARE(package->sizeOnDisk, onDisk);
                QVERIFY(onDisk <= limit);
                packed << names(package);
            }
            std::sort(packed.begin(), packed.end());
            std::sort(expectedNames.begin(), expectedNames.end());
            QCOMPARE(packed, expectedNames);
            const int bound = Packer::lowerBound(PackageOrder(limit, QStringLiteral("L")), tree.root);
            QVERIFY(bound <= fewest);
            const qint64 sum = std::accumulate(fitting.begin(), fitting.end(), qint64(0));
            QVERIFY(bound >= (sum + limit - 1) / limit && (fitting.empty() || bound >= 1));
        }
        QVERIFY2(fewerThanBestFit >= 40, qPrintable(QString::number(fewerThanBestFit))); // the search did work
    }

    // Where best fit already packs the fewest, its packages stay as they
    // are; a packing of fewer keeps each package's items in listed order and
    // the packages in the order of their first items.
    void fewestKeepsOrder()
    {
        MemoryTree example;
        const qint64 worked[] = {60, 50, 40, 30, 20};
        for (int i = 0; i < 5; ++i)
            example.addFile(QString(QChar('a' + i)), worked[i]);
        QCOMPARE(layout(packOf(example, 100, Fewest)), QStringLiteral("a,c|b,d,e"));

        MemoryTree tree;
        const qint64 sizes[] = {50, 30, 20, 40, 35, 25};
        for (int i = 0; i < 6; ++i)
            tree.addFile(QString(QChar('a' + i)), sizes[i]);
        tree.addFile(QStringLiteral("over"), 101);
        QCOMPARE(layout(packOf(tree, 100, Assorted)), QStringLiteral("a,d|e,b,f|c"));
        const QList<PackagePtr> packages = packOf(tree, 100, Fewest);
        QCOMPARE(layout(packages), QStringLiteral("a,b,c|d,e,f"));
        QCOMPARE(packages[0]->sizeOnDisk, qint64(100));
        QCOMPARE(packages[1]->packageOrder, PackageOrder(100, QStringLiteral("L")));
    }

    void lowerBound_data()
    {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("expected");
        const qint64 most = std::numeric_limits<qint64>::max();
        QTest::newRow("nothing") << QList<qint64>{} << qint64(100) << 0;
        QTest::newRow("empty items") << QList<qint64>{0, 0} << qint64(100) << 1;
        QTest::newRow("empty items, limit 0") << QList<qint64>{0, 0} << qint64(0) << 1;
        QTest::newRow("the sum") << QList<qint64>{30, 30, 30, 30} << qint64(100) << 2;
        QTest::newRow("each above half") << QList<qint64>{60, 60, 60} << qint64(100) << 3;
        QTest::newRow("above half and thirds") << QList<qint64>{70, 40, 40, 40} << qint64(100) << 3;
        QTest::newRow("pairs that fill") << QList<qint64>{51, 51, 49, 49} << qint64(100) << 2;
        QTest::newRow("sums past 64 bits") << QList<qint64>{most / 2 + 1, most / 2 + 1, most / 2 + 1} << most << 3;
        QTest::newRow("many small") << QVector<qint64>(1000, 7).toList() << qint64(100) << 70;
    }
    void lowerBound()
    {
        QFETCH(QList<qint64>, sizes);
        QFETCH(qint64, limit);
        QFETCH(int, expected);
        QCOMPARE(packing::lowerBound(std::vector<qint64>(sizes.begin(), sizes.end()), limit), expected);
        // Of a folder's items, those above the limit do not count (a tree's
        // totals cannot hold sums past 64 bits).
        if (limit == std::numeric_limits<qint64>::max())
            return;
        MemoryTree tree;
        for (int i = 0; i < sizes.size(); ++i)
            tree.addFile(QString::number(i), 0, sizes[i]);
        tree.addFolder(QStringLiteral("over"), 0, limit + 1);
        QCOMPARE(Packer::lowerBound(PackageOrder(limit, QStringLiteral("L")), tree.root), expected);
    }

    // A search that cannot prove its count ends when a stop is asked for or
    // its time is up, with a packing no worse than the one it started from.
    void fewestSearchStops()
    {
        std::mt19937_64 random(20261209);
        const qint64 limit = 170898;
        std::vector<qint64> sizes(100000, 0);
        for (qint64& size : sizes)
            size = 1 + qint64(random() % quint64(limit));
        packing::BinPacking nextFit; // a poor start: in listed order, next fit
        qint64 load = limit;
        for (const qint64 size : sizes) {
            if (load + size > limit) {
                ++nextFit.binCount;
                load = 0;
            }
            load += size;
            nextFit.bin.push_back(nextFit.binCount - 1);
        }
        int asked = 0;
        packing::SearchLimits limits;
        limits.milliseconds = 600000;
        limits.stopRequested = [&asked] { return ++asked == 100; }; // asked every few thousand steps
        const packing::BinPacking stopped = packing::fewestBins(sizes, limit, nextFit, limits);
        QCOMPARE(asked, 100);
        QVERIFY(!stopped.proven);
        QVERIFY(isPacking(stopped, sizes, limit));
        QVERIFY(stopped.binCount < nextFit.binCount);
        QVERIFY(stopped.binCount >= packing::lowerBound(sizes, limit));

        packing::SearchLimits none;
        none.milliseconds = 0;
        const packing::BinPacking timedOut = packing::fewestBins(sizes, limit, nextFit, none);
        QVERIFY(!timedOut.proven);
        QVERIFY(isPacking(timedOut, sizes, limit));
        QVERIFY(timedOut.binCount <= nextFit.binCount);
    }
};

QTEST_GUILESS_MAIN(PackerTest)
#include "tst_packer.moc"
