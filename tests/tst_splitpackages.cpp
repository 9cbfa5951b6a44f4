#include "DirectoryNode.h"
#include "FileNode.h"
#include "ImageFormat.h"
#include "LinuxTools.h"
#include "NativePath.h"
#include "PackageCatalog.h"
#include "PackageMoveJob.h"
#include "Packager.h"
#include "Packer.h"
#include "RelativePath.h"
#include "ScanSupport.h"
#include "TestSupport.h"
#include "TreeBuilder.h"
#include "TreeInventory.h"

#include <QtTest>

#include <algorithm>
#include <map>

using namespace korvo;
using namespace korvo::test;

namespace {

// ---- Figures of trees, from a scan, a tree in memory or a listing -------

// The figures of a folder and of everything below it; entries by name,
// whatever order they were listed in.
struct FolderFigures
{
    qint64 size = 0;
    qint64 sizeOnDisk = 0;
    qint64 totalSize = 0;
    qint64 totalSizeOnDisk = 0;
    qint64 fileCount = 0;
    qint64 subdirectoryCount = 0;
    qint64 totalFileCount = 0;
    qint64 totalSubdirectoryCount = 0;
    std::map<QString, std::pair<qint64, qint64>> files; // size, size on disk
    std::map<QString, FolderFigures> folders;
};

FolderFigures figuresOf(const DirectoryNode& node)
{
    FolderFigures figures;
    figures.size = node.size();
    figures.sizeOnDisk = node.sizeOnDisk();
    figures.totalSize = node.totalSize();
    figures.totalSizeOnDisk = node.totalSizeOnDisk();
    figures.fileCount = node.fileCount();
    figures.subdirectoryCount = node.subdirectoryCount();
    figures.totalFileCount = node.totalFileCount();
    figures.totalSubdirectoryCount = node.totalSubdirectoryCount();
    for (const FileNodePtr& file : node.files())
        figures.files[file->fileName()] = {file->size(), file->sizeOnDisk()};
    for (const DirectoryNodePtr& sub : node.subdirectories())
        figures.folders[sub->fileName()] = figuresOf(*sub);
    return figures;
}

template<typename Map>
QString namesOf(const Map& map)
{
    QStringList names;
    for (const auto& entry : map)
        names << entry.first;
    return names.join(QLatin1Char(','));
}

// The first figure in which two trees differ, with the folder's path below
// their roots; empty when every folder's figures and entries agree.
QString differenceOf(const FolderFigures& a, const FolderFigures& b, const QString& path = QStringLiteral("."))
{
    const std::pair<const char*, std::pair<qint64, qint64>> figures[] = {
        {"size", {a.size, b.size}},
        {"sizeOnDisk", {a.sizeOnDisk, b.sizeOnDisk}},
        {"totalSize", {a.totalSize, b.totalSize}},
        {"totalSizeOnDisk", {a.totalSizeOnDisk, b.totalSizeOnDisk}},
        {"fileCount", {a.fileCount, b.fileCount}},
        {"subdirectoryCount", {a.subdirectoryCount, b.subdirectoryCount}},
        {"totalFileCount", {a.totalFileCount, b.totalFileCount}},
        {"totalSubdirectoryCount", {a.totalSubdirectoryCount, b.totalSubdirectoryCount}}};
    for (const auto& figure : figures) {
        if (figure.second.first != figure.second.second)
            return QStringLiteral("%1: %2 %3, not %4")
                .arg(path, QLatin1String(figure.first))
                .arg(figure.second.first)
                .arg(figure.second.second);
    }
    if (a.files != b.files)
        return QStringLiteral("%1: files %2, not %3").arg(path, namesOf(a.files), namesOf(b.files));
    if (namesOf(a.folders) != namesOf(b.folders))
        return QStringLiteral("%1: folders %2, not %3").arg(path, namesOf(a.folders), namesOf(b.folders));
    for (const auto& folder : a.folders) {
        const QString difference =
            differenceOf(folder.second, b.folders.at(folder.first), path + QLatin1Char('/') + folder.first);
        if (!difference.isEmpty())
            return difference;
    }
    return QString();
}

// The byte count of a size text, "1.00 KiB (1,024 バイト)": the digits in
// its parentheses; -1 when there are none.
qint64 bytesOf(const QStringRef& text)
{
    QString digits;
    for (int i = text.lastIndexOf(QLatin1Char('(')) + 1; i > 0 && i < text.size(); ++i) {
        if (text.at(i).isDigit())
            digits += text.at(i);
    }
    return digits.isEmpty() ? -1 : digits.toLongLong();
}

// One "directory" element of a listing's tree section, with everything in it.
void readListedFolder(QXmlStreamReader& xml, FolderFigures* figures)
{
    const QXmlStreamAttributes fields = xml.attributes();
    figures->size = bytesOf(fields.value(QStringLiteral("size")));
    figures->sizeOnDisk = bytesOf(fields.value(QStringLiteral("sizeOnDisk")));
    figures->totalSize = bytesOf(fields.value(QStringLiteral("totalSize")));
    figures->totalSizeOnDisk = bytesOf(fields.value(QStringLiteral("totalSizeOnDisk")));
    figures->fileCount = fields.value(QStringLiteral("fileCount")).toLongLong();
    figures->subdirectoryCount = fields.value(QStringLiteral("subdirectoryCount")).toLongLong();
    figures->totalFileCount = fields.value(QStringLiteral("totalFileCount")).toLongLong();
    figures->totalSubdirectoryCount = fields.value(QStringLiteral("totalSubdirectoryCount")).toLongLong();
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("files")) {
            while (xml.readNextStartElement()) {
                const QXmlStreamAttributes file = xml.attributes();
                figures->files[file.value(QStringLiteral("name")).toString()] = {
                    bytesOf(file.value(QStringLiteral("size"))), bytesOf(file.value(QStringLiteral("sizeOnDisk")))};
                xml.skipCurrentElement();
            }
        } else if (xml.name() == QLatin1String("directory")) {
            const QString name = xml.attributes().value(QStringLiteral("name")).toString();
            readListedFolder(xml, &figures->folders[name]);
        } else {
            xml.skipCurrentElement();
        }
    }
}

// The figures of the tree section of an XML listing; false with the reason.
bool listedFigures(const QString& listing, FolderFigures* figures, QString* why)
{
    QFile file(listing);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return false;
    }
    QXmlStreamReader xml(&file);
    if (xml.readNextStartElement() && xml.name() == QLatin1String("korvo")) {
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("tree") && xml.readNextStartElement()) {
                readListedFolder(xml, figures);
                return true;
            }
            xml.skipCurrentElement();
        }
    }
    *why = xml.hasError() ? xml.errorString() : QStringLiteral("no tree section");
    return false;
}

// ---- The folder that is split ---------------------------------------------

const qint64 Limit = 1000000;

// A folder packed with a limit of 1,000,000 bytes, folders split:
//   top.txt, and Docs/ (with Docs/sub/) taken whole;
//   Photos/ split: cover.jpg; huge.bin, larger than the limit, left out;
//     2019/ split: IMG_0001.jpg, IMG_0002.jpg, an empty 空/, and 夏/ split
//       again into 海.jpg and 山.jpg;
//     2020/ taken whole, with an empty 空き/;
//     2021/深い/フォルダ/ split on every level into 250 small files.
bool makeSplitTree(const QString& root)
{
    const QList<QPair<QString, qint64>> files{
        {QStringLiteral("top.txt"), 30000},
        {QStringLiteral("Docs/readme.txt"), 100000},
        {QStringLiteral("Docs/sub/x.txt"), 50000},
        {QStringLiteral("Photos/cover.jpg"), 20000},
        {QStringLiteral("Photos/huge.bin"), 1200000},
        {QStringLiteral("Photos/2019/IMG_0001.jpg"), 300000},
        {QStringLiteral("Photos/2019/IMG_0002.jpg"), 250000},
        {QStringLiteral("Photos/2019/夏/海.jpg"), 600000},
        {QStringLiteral("Photos/2019/夏/山.jpg"), 450000},
        {QStringLiteral("Photos/2020/a.jpg"), 400000},
        {QStringLiteral("Photos/2020/b.jpg"), 300000}};
    for (const auto& file : files) {
        if (!writeFile(root + QLatin1Char('/') + file.first, file.second))
            return false;
    }
    for (int i = 1; i <= 250; ++i) {
        const QString name = QStringLiteral("/Photos/2021/深い/フォルダ/f%1.txt").arg(i, 3, 10, QLatin1Char('0'));
        if (!writeFile(root + name, QByteArray("file ") + QByteArray::number(i) + QByteArray(2990, 'x')))
            return false;
    }
    return makeFolder(root + QStringLiteral("/Photos/2019/空")) && makeFolder(root + QStringLiteral("/Photos/2020/空き"));
}

// The inventory lines (TreeInventory) split into files by relative path,
// with their sizes, and folders.
struct Inventory
{
    std::map<QString, qint64> files;
    QStringList folders;
    QStringList fileLines;
};

Inventory inventoryOf(const QString& folder)
{
    Inventory inventory;
    for (const QString& line : treeInventory(folder)) {
        const QStringList parts = line.split(QLatin1Char('|'));
        if (parts.value(1) == QLatin1String("dir")) {
            inventory.folders << parts.first();
        } else {
            inventory.files[parts.first()] = parts.value(1).section(QLatin1Char(' '), 1, 1).toLongLong();
            inventory.fileLines << line;
        }
    }
    return inventory;
}

// A package as korvo-cli move --json reports it.
struct MovedPackage
{
    int folderNumber = 0;
    QString folder;
    QStringList items;
    bool moved = false;
    QString listing;
    QString image;
    bool imageTooLarge = false;
};

QList<MovedPackage> movedPackages(const QString& json, QStringList* excluded)
{
    const QJsonObject report = QJsonDocument::fromJson(json.toUtf8()).object();
    for (const QJsonValue& name : report.value(QStringLiteral("excluded")).toArray())
        excluded->append(name.toString());
    QList<MovedPackage> packages;
    for (const QJsonValue& value : report.value(QStringLiteral("packages")).toArray()) {
        const QJsonObject object = value.toObject();
        MovedPackage package;
        package.folderNumber = object.value(QStringLiteral("folderNumber")).toInt();
        package.folder = QDir::cleanPath(QDir::fromNativeSeparators(object.value(QStringLiteral("folder")).toString()));
        while (package.folder.endsWith(QLatin1Char('/')))
            package.folder.chop(1);
        for (const QJsonValue& item : object.value(QStringLiteral("items")).toArray())
            package.items << item.toString();
        package.moved = object.value(QStringLiteral("moved")).toBool();
        package.listing = QDir::fromNativeSeparators(object.value(QStringLiteral("listing")).toString());
        package.image = QDir::fromNativeSeparators(object.value(QStringLiteral("image")).toString());
        package.imageTooLarge = object.value(QStringLiteral("imageTooLarge")).toBool();
        packages << package;
    }
    return packages;
}

// What is wrong with a package folder's entries for its items: each item
// must be at its path, and every entry must be an item, lie below one, or
// be a folder on the way to one.
QString misplacedEntry(const MovedPackage& package, const Inventory& inventory)
{
    for (const QString& item : package.items) {
        if (!QFileInfo::exists(package.folder + QLatin1Char('/') + item))
            return QStringLiteral("%1 is not in %2").arg(item, package.folder);
    }
    QStringList entries = inventory.folders;
    for (const auto& file : inventory.files)
        entries << file.first;
    for (const QString& entry : qAsConst(entries)) {
        const bool placed = std::any_of(package.items.begin(), package.items.end(), [&entry](const QString& item) {
            return entry == item || entry.startsWith(item + QLatin1Char('/'))
                   || item.startsWith(entry + QLatin1Char('/'));
        });
        if (!placed)
            return QStringLiteral("%1 in %2 belongs to no item").arg(entry, package.folder);
    }
    return QString();
}

QStringList linesStartingWith(const QStringList& lines, const QStringList& paths)
{
    QStringList kept;
    for (const QString& line : lines) {
        if (paths.contains(line.section(QLatin1Char('|'), 0, 0)))
            kept << line;
    }
    return kept;
}

CliRun moveSplit(const QString& source, const QString& volume, const QStringList& more)
{
    return runCli(QStringList{QStringLiteral("move"), QStringLiteral("--limit"), QString::number(Limit),
                              QStringLiteral("--split-folders"), QStringLiteral("--json"), QStringLiteral("--volume-root"),
                              volume}
                  + more + QStringList{source});
}

// ---- Trees in memory for the packer ---------------------------------------

DirectoryNodePtr folderAt(QHash<QString, DirectoryNodePtr>& folders, const QString& path)
{
    if (folders.contains(path))
        return folders.value(path);
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const DirectoryNodePtr parent = folderAt(folders, slash < 0 ? QString() : path.left(slash));
    const DirectoryNodePtr folder = TreeBuilder::folder(parent, path.mid(slash + 1));
    folders.insert(path, folder);
    return folder;
}

// A tree from "path:size" for each file and "path/" for an empty folder,
// parted by blanks, each folder's entries in the order given.
DirectoryNodePtr treeOf(const QString& text, qint64 cluster)
{
    const DirectoryNodePtr root = TreeBuilder::root(QStringLiteral("/mem/root"));
    QHash<QString, DirectoryNodePtr> folders{{QString(), root}};
    for (const QString& entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (entry.endsWith(QLatin1Char('/'))) {
            folderAt(folders, entry.chopped(1));
            continue;
        }
        const QString path = entry.section(QLatin1Char(':'), 0, 0);
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        TreeBuilder::fileIn(folderAt(folders, slash < 0 ? QString() : path.left(slash)), path.mid(slash + 1),
                            entry.section(QLatin1Char(':'), 1).toLongLong(), cluster);
    }
    TreeBuilder::total(root);
    return root;
}

// An item by its path below the root, a folder with a trailing slash.
QString pieceText(const DirectoryNodePtr& root, const PackagablePtr& item)
{
    const QString path = RelativePath::textOf(root->path(), *item);
    return item.dynamicCast<DirectoryNode>() ? path + QLatin1Char('/') : path;
}

// "a,b|c": the packages' pieces, for compact comparisons.
QString layoutOf(const DirectoryNodePtr& root, const QList<PackagePtr>& packages)
{
    QStringList parts;
    for (const PackagePtr& package : packages) {
        QStringList pieces;
        for (const PackagablePtr& item : package->items)
            pieces << pieceText(root, item);
        parts << pieces.join(QLatin1Char(','));
    }
    return parts.join(QLatin1Char('|'));
}

// What is wrong with one mode's packing of the pieces: a piece missing or
// placed twice, a package over the limit or with wrong sums, items not
// relative to the root, or the mode's order not kept.
QString packingFault(const DirectoryNodePtr& root, int sort, const QList<PackagePtr>& packages,
                     const QStringList& pieces, qint64 limit)
{
    QStringList placed;
    QList<PackagablePtr> order;
    for (const PackagePtr& package : packages) {
        qint64 sizeOnDisk = 0;
        for (const PackagablePtr& item : package->items) {
            placed << pieceText(root, item);
            sizeOnDisk += item->totalSizeOnDisk();
            order << item;
        }
        if (package->items.isEmpty() || package->sizeOnDisk != sizeOnDisk || package->weight > limit)
            return QStringLiteral("package of %1 weighs %2 (items %3)").arg(package->items.size()).arg(package->weight).arg(sizeOnDisk);
        if (!package->scannedFolder.isSameLevel(root->path()))
            return QStringLiteral("a package's items are not relative to the root");
    }
    QStringList wanted = pieces;
    std::sort(placed.begin(), placed.end());
    std::sort(wanted.begin(), wanted.end());
    if (placed != wanted)
        return QStringLiteral("placed %1").arg(placed.join(QLatin1Char(',')));
    for (int i = 1; i < order.size(); ++i) {
        const PackagablePtr& a = order.at(i - 1);
        const PackagablePtr& b = order.at(i);
        const QString pathA = RelativePath::textOf(root->path(), *a);
        const QString pathB = RelativePath::textOf(root->path(), *b);
        const bool kept = sort == NameAscending    ? pathA < pathB
                          : sort == NameDescending ? pathB < pathA
                          : sort == SizeAscending  ? a->totalSize() <= b->totalSize()
                          : sort == SizeDescending ? a->totalSize() >= b->totalSize()
                                                   : true;
        if (!kept)
            return QStringLiteral("%1 before %2").arg(pathA, pathB);
    }
    return QString();
}

// The node at a path below the root ("A/B/x"; a folder with or without
// a trailing slash); null when there is none.
PackagablePtr nodeAt(const DirectoryNodePtr& root, QString path)
{
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QStringList levels = path.split(QLatin1Char('/'));
    DirectoryNodePtr folder = root;
    for (int i = 0; folder && i < levels.size(); ++i) {
        const bool last = i == levels.size() - 1;
        DirectoryNodePtr next;
        for (const DirectoryNodePtr& sub : folder->subdirectories()) {
            if (sub->fileName() == levels.at(i))
                next = sub;
        }
        if (last && next)
            return next;
        if (last) {
            for (const FileNodePtr& file : folder->files()) {
                if (file->fileName() == levels.at(i))
                    return file;
            }
        }
        folder = next;
    }
    return PackagablePtr();
}

// The text of a tree (treeOf) without the entries at or below the paths.
QString textWithout(const QString& text, const QStringList& paths)
{
    QStringList kept;
    for (const QString& entry : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString path = entry.section(QLatin1Char(':'), 0, 0);
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        const bool moved = std::any_of(paths.begin(), paths.end(), [&path](QString piece) {
            if (piece.endsWith(QLatin1Char('/')))
                piece.chop(1);
            return path == piece || path.startsWith(piece + QLatin1Char('/'));
        });
        if (!moved)
            kept << entry;
    }
    return kept.join(QLatin1Char(' '));
}

// ---- A move that takes each moved package out of the tree ----------------

// After each package, takes it out of the tree as the packaging dialog does
// and compares every folder's figures with a fresh scan of what is left.
class RemovingObserver : public PackageMoveObserver
{
public:
    RemovingObserver(const DirectoryNodePtr& root, const QString& source, const QList<PackagePtr>& packages)
        : root_(root), source_(source), packages_(packages)
    {
    }

    void packageEnded(const PackageMoveResult& result) override
    {
        ++ended;
        if (!result.succeeded()) {
            problems << QStringLiteral("package %1: %2").arg(result.index + 1).arg(result.error);
            return;
        }
        root_->remove(packages_.at(result.index));
        const DirectoryNodePtr fresh = scanFolder(source_);
        QString difference = fresh ? differenceOf(figuresOf(*root_), figuresOf(*fresh)) : QStringLiteral("no scan");
        if (difference.isEmpty())
            difference = invariantViolation(root_);
        if (!difference.isEmpty())
            problems << QStringLiteral("after package %1: %2").arg(result.index + 1).arg(difference);
    }

    int ended = 0;
    QStringList problems;

private:
    DirectoryNodePtr root_;
    QString source_;
    QList<PackagePtr> packages_;
};

} // namespace

class SplitPackagesTest : public QObject
{
    Q_OBJECT

private slots:
    // The packer with folders split: a folder over the limit gives way to
    // its entries, again on every level, in preorder; a single file over the
    // limit is left out; what fits is taken whole. Every mode places every
    // piece exactly once within the limit, the name sorts order by path, and
    // the lower bound counts the pieces.
    void packerSplitsFolders_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<qint64>("cluster");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("bestFit");
        QTest::addColumn<QStringList>("leftOut");
        QTest::addColumn<int>("lowerBound");
        QTest::newRow("a folder over the limit gives way to its entries")
            << QStringLiteral("b:10 A/x:60 A/y:50") << qint64(1) << qint64(100) << QStringLiteral("A/x,b|A/y")
            << QStringList() << 2;
        QTest::newRow("again on every level")
            << QStringLiteral("t:5 A/s:20 A/B/r:30 A/B/C/p:70 A/B/C/q:60") << qint64(1) << qint64(100)
            << QStringLiteral("A/B/C/p,A/B/r|A/B/C/q,A/s,t") << QStringList() << 2;
        QTest::newRow("a single file over the limit is left out")
            << QStringLiteral("c:20 huge:200 A/big:150 A/small:10") << qint64(1) << qint64(100)
            << QStringLiteral("c,A/small") << QStringList{QStringLiteral("huge"), QStringLiteral("A/big")} << 1;
        QTest::newRow("folders that fit are taken whole")
            << QStringLiteral("A/w:10 A/B/x:40 A/B/y:30 A/C/z:50") << qint64(1) << qint64(100)
            << QStringLiteral("A/B/,A/w|A/C/") << QStringList() << 2;
        QTest::newRow("an empty folder of a split folder is a piece")
            << QStringLiteral("A/x:90 A/y:20 A/E/") << qint64(1) << qint64(100) << QStringLiteral("A/x,A/E/|A/y")
            << QStringList() << 2;
        QTest::newRow("a folder of files over the limit leaves nothing")
            << QStringLiteral("A/p:150 A/q:120") << qint64(1) << qint64(100) << QString()
            << QStringList{QStringLiteral("A/p"), QStringLiteral("A/q")} << 0;
        QTest::newRow("weighed by size on disk")
            << QStringLiteral("A/x:3000 A/y:3000") << qint64(4096) << qint64(6000) << QStringLiteral("A/x|A/y")
            << QStringList() << 2;
        // Equal pieces go by best fit in listed order: it shows the order.
        QTest::newRow("a split folder's pieces before the next split folder's")
            << QStringLiteral("r:40 A/a:40 A/S/s1:40 A/S/s2:40 A/S/s3:40 B/b1:40 B/b2:40 B/b3:40") << qint64(1)
            << qint64(100) << QStringLiteral("r,A/a|A/S/s1,A/S/s2|A/S/s3,B/b1|B/b2,B/b3") << QStringList() << 4;
    }

    void packerSplitsFolders()
    {
        QFETCH(QString, tree);
        QFETCH(qint64, cluster);
        QFETCH(qint64, limit);
        QFETCH(QString, bestFit);
        QFETCH(QStringList, leftOut);
        QFETCH(int, lowerBound);
        DirectoryNodePtr root = treeOf(tree, cluster);
        const PackageOrder order(limit, QStringLiteral("L"));
        const QStringList pieces = bestFit.split(QRegularExpression(QStringLiteral("[,|]")), Qt::SkipEmptyParts);
        QCOMPARE(Packer::lowerBound(order, root, PackMeasure(), SplitFolders::Yes), lowerBound);
        for (int sort = Assorted; sort <= Fewest; ++sort) {
            QList<PackagePtr> packages;
            QList<PackagablePtr> out;
            Packer::pack(order, sort, root, packages, &out, PackMeasure(), false, SplitFolders::Yes);
            if (sort == Assorted)
                QCOMPARE(layoutOf(root, packages), bestFit);
            QStringList outTexts;
            for (const PackagablePtr& item : qAsConst(out))
                outTexts << RelativePath::textOf(root->path(), *item);
            QCOMPARE(outTexts, leftOut);
            const QString fault = packingFault(root, sort, packages, pieces, limit);
            QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("sort %1: %2").arg(sort).arg(fault)));
            // Every lower bound here is reached, and the fewest mode reaches it.
            QVERIFY(packages.size() >= lowerBound);
            if (sort == Fewest)
                QCOMPARE(packages.size(), lowerBound);
        }
        // The engine says the same bound; without the split, the folders
        // over the limit are left out whole and nothing below the top moves.
        QList<PackagePtr> packages;
        QList<PackagablePtr> out;
        int engineBound = -1;
        Packager().pack(order, Assorted, root, packages, &out, ImageFormat::None, &engineBound, SplitFolders::Yes);
        QCOMPARE(engineBound, lowerBound);
        Packager().pack(order, Assorted, root, packages, &out, ImageFormat::None, nullptr, SplitFolders::No);
        for (const PackagablePtr& item : qAsConst(out))
            QVERIFY(RelativePath::holderOf(*item).isSameLevel(root->path()));
        for (const PackagePtr& package : qAsConst(packages)) {
            for (const PackagablePtr& item : package->items)
                QVERIFY(RelativePath::holderOf(*item).isSameLevel(root->path()));
        }
        TreeBuilder::release(root);
    }

    // remove() of split packages from a tree in memory leaves, after each
    // package, the figures of a tree made of what is left: every ancestor
    // lowered, and the folders the packages emptied gone, up to the top,
    // while folders that were empty before stay.
    void removeKeepsEveryFolderRight_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QStringList>("packages"); // the pieces of each, parted by commas
        QTest::newRow("a piece from a folder that keeps others")
            << QStringLiteral("b:1 A/x:10 A/y:20") << QStringList{QStringLiteral("A/x")};
        QTest::newRow("a folder emptied up to the top")
            << QStringLiteral("r:1 A/B/C/x:10 A/B/C/y:20")
            << QStringList{QStringLiteral("A/B/C/x"), QStringLiteral("A/B/C/y")};
        // Folders dropped together: none is read once freed (the sanitizers
        // of scripts/test --sanitize tell).
        QTest::newRow("the last pieces of a folder and of the folder above it at once")
            << QStringLiteral("keep:1 A/y:30 A/B/x:60 A/B/z:60")
            << QStringList{QStringLiteral("A/B/x"), QStringLiteral("A/B/z,A/y")};
        QTest::newRow("the same, three levels and two branches")
            << QStringLiteral("A/a:1 A/B/b:2 A/B/C/c:3 A/B/C/d:4 A/D/e:5 f:6")
            << QStringList{QStringLiteral("A/B/C/c"), QStringLiteral("A/B/C/d,A/D/e,A/B/b,A/a")};
        QTest::newRow("an empty folder moved as a piece")
            << QStringLiteral("A/E/ A/x:7") << QStringList{QStringLiteral("A/E/,A/x")};
        QTest::newRow("a folder empty before stays")
            << QStringLiteral("A/E/ A/B/x:1 A/B/y:2") << QStringList{QStringLiteral("A/B/x,A/B/y")};
        QTest::newRow("a whole folder, then the rest of its holder")
            << QStringLiteral("A/B/x:5 A/B/y:5 A/z:3") << QStringList{QStringLiteral("A/B/"), QStringLiteral("A/z")};
        QTest::newRow("a package removed twice changes nothing the second time")
            << QStringLiteral("A/x:5 A/y:5") << QStringList{QStringLiteral("A/x"), QStringLiteral("A/x")};
    }

    void removeKeepsEveryFolderRight()
    {
        QFETCH(QString, tree);
        QFETCH(QStringList, packages);
        DirectoryNodePtr root = treeOf(tree, 4096);
        QStringList moved;
        QHash<QString, PackagePtr> made; // a package named again is the same package
        for (const QString& pieces : packages) {
            PackagePtr package = made.value(pieces);
            if (!package) {
                package = PackagePtr::create();
                package->scannedFolder = root->path();
                for (const QString& piece : pieces.split(QLatin1Char(','))) {
                    const PackagablePtr item = nodeAt(root, piece);
                    QVERIFY2(item, qPrintable(piece));
                    package->items << item;
                    moved << piece;
                }
                made.insert(pieces, package);
            }
            root->remove(package);
            DirectoryNodePtr left = treeOf(textWithout(tree, moved), 4096);
            const QString difference = differenceOf(figuresOf(*root), figuresOf(*left));
            QVERIFY2(difference.isEmpty(), qPrintable(pieces + QStringLiteral(": ") + difference));
            QCOMPARE(invariantViolation(root), QString());
            TreeBuilder::release(left);
        }
        TreeBuilder::release(root);
    }

    // A split move with its listings and manifests: each package folder
    // holds its pieces at their paths and nothing else; what stays is the
    // file left out, in its folder, and every folder the move emptied is
    // gone; each listing shows the pieces inside their folders with the
    // figures of a scan of the package folder; each manifest names the
    // nested paths and verifies; and find names the package of every file,
    // from the listings alone.
    void listingsManifestsAndCatalog()
    {
        QTemporaryDir here;
        QVERIFY(here.isValid());
        const QString source = here.filePath(QStringLiteral("src"));
        const QString volume = here.filePath(QStringLiteral("vol"));
        QVERIFY(makeSplitTree(source) && makeFolder(volume));
        const QStringList before = treeInventory(source);
        const CliRun run = moveSplit(source, volume, {QStringLiteral("--listing"), QStringLiteral("--checksums")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        QStringList excluded;
        const QList<MovedPackage> packages = movedPackages(run.out, &excluded);
        QCOMPARE(excluded, QStringList{QStringLiteral("Photos/huge.bin")});
        QVERIFY2(packages.size() >= 4, qPrintable(run.out));
        QCOMPARE(treeInventory(source), linesStartingWith(before, {QStringLiteral("Photos"), QStringLiteral("Photos/huge.bin")}));

        QStringList movedLines;
        QSet<QString> found; // "number|path|size" of every file moved
        int seaPackage = 0;
        for (const MovedPackage& package : packages) {
            QVERIFY(package.moved);
            const Inventory inventory = inventoryOf(package.folder);
            const QString misplaced = misplacedEntry(package, inventory);
            QVERIFY2(misplaced.isEmpty(), qPrintable(misplaced));
            movedLines += inventory.fileLines;
            for (const auto& file : inventory.files)
                found.insert(QStringLiteral("%1|%2|%3").arg(package.folderNumber).arg(file.first).arg(file.second));
            if (inventory.files.count(QStringLiteral("Photos/2019/夏/海.jpg")))
                seaPackage = package.folderNumber;

            // The listing: the files at their paths with their sizes, and
            // every folder's figures those of the package folder.
            QVector<CatalogEntry> listed;
            QString why;
            QVERIFY2(PackageCatalog::readListing(NativePath::fromText(package.listing), listed, &why), qPrintable(why));
            std::map<QString, qint64> listedFiles;
            for (const CatalogEntry& entry : qAsConst(listed))
                listedFiles[QString::fromUtf8(entry.relativePath)] = entry.size;
            QCOMPARE(listedFiles, inventory.files);
            FolderFigures figures;
            QVERIFY2(listedFigures(package.listing, &figures, &why), qPrintable(why));
            const QString difference = differenceOf(figures, figuresOf(*scanFolder(package.folder)));
            QVERIFY2(difference.isEmpty(), qPrintable(package.listing + QStringLiteral(": ") + difference));

            // The manifest names every file by its nested path.
            const QString manifest = package.folder + QStringLiteral(".sha256");
            QStringList manifestPaths;
            for (const QByteArray& line : readAll(manifest).split('\n')) {
                if (!line.isEmpty())
                    manifestPaths << QString::fromUtf8(line.mid(66));
            }
            manifestPaths.sort();
            QStringList paths;
            for (const auto& file : inventory.files)
                paths << file.first;
            QCOMPARE(manifestPaths, paths);
            const CliRun verified = runCli({QStringLiteral("verify"), package.folder});
            QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        }
        // Every file is either moved, exactly once, or left where it was.
        movedLines += linesStartingWith(before, {QStringLiteral("Photos/huge.bin")});
        movedLines.sort();
        QStringList beforeFiles;
        for (const QString& line : before) {
            if (!line.endsWith(QLatin1String("|dir")))
                beforeFiles << line;
        }
        QCOMPARE(movedLines, beforeFiles);

        // find, from the listings: every file in the package that holds it.
        const QString pack = volume + QStringLiteral("/korvo_pack");
        const CliRun all = runCli({QStringLiteral("find"), QStringLiteral("--json"), QStringLiteral("--regex"),
                                   QStringLiteral("."), pack});
        QVERIFY2(all.exitCode == 0, qPrintable(all.out + all.err));
        QSet<QString> matches;
        for (const QJsonValue& value :
             QJsonDocument::fromJson(all.out.toUtf8()).object().value(QStringLiteral("matches")).toArray()) {
            const QJsonObject match = value.toObject();
            matches.insert(QStringLiteral("%1|%2|%3")
                               .arg(match.value(QStringLiteral("number")).toInt())
                               .arg(QDir::fromNativeSeparators(match.value(QStringLiteral("path")).toString()))
                               .arg(qint64(match.value(QStringLiteral("size")).toDouble())));
        }
        QCOMPARE(matches, found);
        QVERIFY(seaPackage > 0);
        const CliRun sea = runCli({QStringLiteral("find"), QStringLiteral("海.JPG"), pack});
        const QString seaFolder = packages.at(0).folder.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/')
                                  + QString::number(seaPackage);
        QCOMPARE(sea.out, QStringLiteral("%1\t%2\tPhotos/2019/夏/海.jpg\t600000\n")
                              .arg(seaPackage)
                              .arg(QDir::toNativeSeparators(seaFolder)));
    }

    // Images of split packages hold the pieces at their nested paths, the
    // empty folders too, and the manifest; each verifies, and, packed by
    // what each piece takes in its image with the folders of its path, is
    // no larger than the limit.
    void imagesOfSplitPackages_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("iso") << QStringLiteral("iso");
        QTest::newRow("zip") << QStringLiteral("zip");
    }

    void imagesOfSplitPackages()
    {
        QFETCH(QString, format);
        if (!ImageFormats::available())
            QSKIP(qPrintable(ImageFormats::unavailableReason()));
        const QString tool = format == QLatin1String("iso") ? QStringLiteral("isoinfo") : QStringLiteral("unzip");
        if (linuxTool(tool).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is missing (scripts/setup installs it)").arg(tool)));
        QTemporaryDir here;
        QVERIFY(here.isValid());
        const QString source = here.filePath(QStringLiteral("src"));
        const QString volume = here.filePath(QStringLiteral("vol"));
        QVERIFY(makeSplitTree(source) && makeFolder(volume));
        const CliRun run = moveSplit(source, volume,
                                     {QStringLiteral("--checksums"), QStringLiteral("--image"), format});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        QStringList excluded;
        const QList<MovedPackage> packages = movedPackages(run.out, &excluded);
        QVERIFY2(packages.size() >= 4, qPrintable(run.out));
        for (const MovedPackage& package : packages) {
            QVERIFY2(package.moved && !package.imageTooLarge, qPrintable(run.out));
            QVERIFY2(QFileInfo(package.image).size() <= Limit,
                     qPrintable(QStringLiteral("%1: %2 bytes").arg(package.image).arg(QFileInfo(package.image).size())));
            const Inventory inventory = inventoryOf(package.folder);
            QSet<QString> expected;
            for (const auto& file : inventory.files)
                expected.insert(file.first);
            for (const QString& folder : inventory.folders)
                expected.insert(folder);
            expected.insert(QStringLiteral("%1.sha256").arg(package.folderNumber));
            const ToolRun listing = format == QLatin1String("iso")
                                        ? runLinuxTool(tool, {QStringLiteral("-R"), QStringLiteral("-f"),
                                                              QStringLiteral("-i"), toolPath(package.image)})
                                        : runLinuxTool(tool, {QStringLiteral("-Z1"), toolPath(package.image)});
            QCOMPARE(listing.exitCode, 0);
            QSet<QString> entries;
            for (QString line : QString::fromUtf8(listing.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                while (line.startsWith(QLatin1Char('/')))
                    line.remove(0, 1);
                while (line.endsWith(QLatin1Char('/')))
                    line.chop(1);
                entries.insert(line);
            }
            QCOMPARE(entries, expected);
            const CliRun verified = runCli({QStringLiteral("verify"), package.image});
            QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        }
    }

    // After each package of a split move, the tree in memory with the
    // package removed has, in every folder, the figures of a fresh scan of
    // what is left: the ancestors of every piece lowered, and every folder
    // the move emptied gone. Whole or partly moved split folders alike.
    void treeAfterRemoveMatchesRescan_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("chosen"); // all, reversed, or odd (1, 3, ...)
        QTest::newRow("all, best fit") << Limit << int(Assorted) << QStringLiteral("all");
        QTest::newRow("all by name, last first") << qint64(700000) << int(NameAscending) << QStringLiteral("reversed");
        QTest::newRow("every other one") << Limit << int(Assorted) << QStringLiteral("odd");
        QTest::newRow("every other one, small packages") << qint64(400000) << int(SizeDescending)
                                                         << QStringLiteral("odd");
    }

    void treeAfterRemoveMatchesRescan()
    {
        QFETCH(qint64, limit);
        QFETCH(int, sort);
        QFETCH(QString, chosen);
        QTemporaryDir here;
        QVERIFY(here.isValid());
        const QString source = here.filePath(QStringLiteral("src"));
        QVERIFY(makeSplitTree(source) && makeFolder(here.filePath(QStringLiteral("vol"))));
        const DirectoryNodePtr root = scanFolder(source);
        QVERIFY(root);
        QList<PackagePtr> packages;
        QVERIFY(Packager().pack(PackageOrder(limit, QStringLiteral("T")), sort, root, packages, nullptr,
                                ImageFormat::None, nullptr, SplitFolders::Yes));
        QVERIFY(packages.size() >= 3);

        PackageMoveRequest request;
        request.root = root;
        request.volumeRoot = NativePath::fromText(here.filePath(QStringLiteral("vol")));
        request.orderName = QStringLiteral("T");
        request.orderSize = limit;
        for (int i = 0; i < packages.size(); ++i) {
            const int index = chosen == QLatin1String("reversed") ? packages.size() - 1 - i : i;
            if (chosen != QLatin1String("odd") || index % 2 == 0)
                request.packages << PackageMoveRequest::Chosen{index, packages.at(index)};
        }
        PackageMoveJob job(request);
        RemovingObserver observer(root, source, packages);
        job.setObserver(&observer);
        QCOMPARE(job.run(), PackageMoveJob::Finished);
        QCOMPARE(observer.ended, request.packages.size());
        QVERIFY2(observer.problems.isEmpty(), qPrintable(observer.problems.join(QLatin1Char('\n'))));
        if (chosen != QLatin1String("odd")) {
            // The small files' folders were split on every level and all moved.
            QVERIFY(!QFileInfo::exists(source + QStringLiteral("/Photos/2021")));
            QVERIFY(QFileInfo::exists(source + QStringLiteral("/Photos/huge.bin")));
        }
    }
};

QTEST_GUILESS_MAIN(SplitPackagesTest)
#include "tst_splitpackages.moc"
