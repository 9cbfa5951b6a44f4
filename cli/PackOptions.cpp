#include "PackOptions.h"

#include "Arguments.h"
#include "Console.h"
#include "Json.h"
#include "SizeArgument.h"

#include "DirectoryNode.h"
#include "Packager.h"
#include "Platform.h"
#include "RelativePath.h"

#include <map>

namespace korvo::cli {

namespace {

const std::map<QString, PackSort>& sortNames()
{
    static const std::map<QString, PackSort> names{
        {QStringLiteral("assorted"), Assorted},
        {QStringLiteral("size-asc"), SizeAscending},
        {QStringLiteral("size-desc"), SizeDescending},
        {QStringLiteral("name-asc"), NameAscending},
        {QStringLiteral("name-desc"), NameDescending},
        {QStringLiteral("fewest"), Fewest}};
    return names;
}

QString builtInNames()
{
    QStringList names;
    for (const PackageOrder& order : builtInPackageOrders())
        names << order.name;
    return names.join(QStringLiteral(", "));
}

} // namespace

const char* const PackOptionsHelp =
    "  --order NAME   a built-in package order: CD (700,000,000 bytes), PACK_500MB\n"
    "                 (500,000,000), PACK_400MB (400,000,000), PACK_200MB\n"
    "                 (300,000,000), PACK_100MB (200,000,000), DVD (4,700,372,992),\n"
    "                 DVD_DL (8,543,666,176), BD (25,025,314,816),\n"
    "                 BD_DL (50,050,629,632); default CD\n"
    "  --limit SIZE   a limit of your own on disk: bytes, or with a unit, 700M,\n"
    "                 4.7G, 25GB (decimal, as disc makers count), 700MiB, 4GiB\n"
    "                 (binary); its name is the number of bytes unless --name is\n"
    "                 given\n"
    "  --name NAME    the name of a --limit\n"
    "  --sort MODE    assorted (best fit, in listed order), size-asc, size-desc,\n"
    "                 name-asc, name-desc (next fit in that order), fewest (the\n"
    "                 fewest packages a search finds in 10 seconds, never more\n"
    "                 than assorted); default assorted\n"
    "  --image FORMAT iso or zip: weigh each item by what it takes in a package's\n"
    "                 image of that format (ISO 9660 with Joliet and Rock Ridge,\n"
    "                 or ZIP, with the package's manifest inside), so that no\n"
    "                 image is larger than the limit\n"
    "  --split-folders a folder larger than the limit is split: its files and\n"
    "                 subfolders are packed instead, again and again, each\n"
    "                 keeping its path (Photos/2019/IMG_0001.jpg); a single file\n"
    "                 larger than the limit is left out\n";

QList<Option> packOptions()
{
    return {{QStringLiteral("order"), QStringLiteral("the name of a built-in order")},
            {QStringLiteral("limit"), QStringLiteral("a size: %1").arg(QLatin1String(SizeForms))},
            {QStringLiteral("name"), QStringLiteral("the name of the --limit")},
            {QStringLiteral("sort"), QStringLiteral("one of: %1").arg(choiceList(sortNames()))},
            {QStringLiteral("image"), QStringLiteral("iso or zip")},
            {QStringLiteral("split-folders")},
            {QStringLiteral("json")}};
}

namespace {

// The order a --limit gives, or the built-in one named (CD by default);
// empty on success, else the usage message.
QString readOrder(const CommandLine& read, PackageOrder& order)
{
    if (read.isSet(QStringLiteral("limit"))) {
        const QString text = read.value(QStringLiteral("limit"));
        qint64 bytes = 0;
        if (!parseSize(text, bytes))
            return QStringLiteral("--limit needs a size of 0 or more, not '%1': %2")
                .arg(text, QLatin1String(SizeForms));
        order = PackageOrder(bytes, read.value(QStringLiteral("name"), QString::number(bytes)));
        return order.name.isEmpty() ? QStringLiteral("--name must not be empty") : QString();
    }
    const QString wanted = read.value(QStringLiteral("order"), QStringLiteral("CD"));
    for (const PackageOrder& builtIn : builtInPackageOrders()) {
        if (builtIn.name == wanted) {
            order = builtIn;
            return QString();
        }
    }
    return QStringLiteral("unknown order '%1' (choose from: %2, or give --limit SIZE)").arg(wanted, builtInNames());
}

} // namespace

QString readPackOptions(const CommandLine& read, PackOptions& options)
{
    if (read.isSet(QStringLiteral("order")) && read.isSet(QStringLiteral("limit")))
        return QStringLiteral("give either --order or --limit, not both");
    if (read.isSet(QStringLiteral("name")) && !read.isSet(QStringLiteral("limit")))
        return QStringLiteral("--name names a --limit; a built-in order keeps its own name");
    const QString problem = readOrder(read, options.order);
    if (!problem.isEmpty())
        return problem;
    options.sortName = read.value(QStringLiteral("sort"), QStringLiteral("assorted"));
    const auto found = sortNames().find(options.sortName);
    if (found == sortNames().end())
        return QStringLiteral("unknown sort '%1' (choose from: %2)").arg(options.sortName, choiceList(sortNames()));
    options.sort = found->second;
    const QString image = read.value(QStringLiteral("image"));
    if (read.isSet(QStringLiteral("image")) && !ImageFormats::fromName(image, &options.image))
        return QStringLiteral("--image takes iso or zip, not '%1'").arg(shownArgument(image));
    options.split = read.isSet(QStringLiteral("split-folders")) ? SplitFolders::Yes : SplitFolders::No;
    options.json = read.isSet(QStringLiteral("json"));
    if (read.operands.size() != 1)
        return QStringLiteral("expected one folder, got %1 argument(s)").arg(read.operands.size());
    options.folder = read.operands.first();
    // Packages are made of a folder's items: a file given here would plan
    // the folder that holds it, which the user did not name.
    bool isFolder = false;
    if (platform::entryExists(argumentPath(options.folder), &isFolder) && !isFolder)
        return QStringLiteral("expected a folder; '%1' is not one").arg(shownArgument(options.folder));
    return QString();
}

bool scanAndPack(const QString& command, const PackOptions& options, ScanResult& scan, QList<PackagePtr>& packages,
                 QList<PackagablePtr>& leftOut, int* lowerBound)
{
    scan = scanArgument(options.folder);
    if (!scan.root) {
        failure(command, scan.errorString);
        return false;
    }
    Packager().pack(options.order, options.sort, scan.root, packages, &leftOut, options.image, lowerBound,
                    options.split);
    return true;
}

QString shownName(const PackagablePtr& item, const FolderPath& top)
{
    const bool folder = !item.dynamicCast<DirectoryNode>().isNull();
    const QString path = RelativePath::textOf(top, *item);
    return folder ? path + QLatin1Char('/') : path;
}

QString jsonOrder(const PackOptions& options)
{
    const QString image = options.image == ImageFormat::None ? QStringLiteral("null")
                                                             : jsonString(ImageFormats::suffix(options.image));
    return QStringLiteral("\"order\": %1, \"limit\": %2, \"sort\": %3, \"image\": %4")
        .arg(jsonString(options.order.name), QString::number(options.order.size), jsonString(options.sortName), image);
}

QString jsonNames(const QList<PackagablePtr>& items, const FolderPath& top)
{
    QStringList names;
    for (const PackagablePtr& item : items)
        names << jsonString(exactText(NativePath::fromStoredBytes(RelativePath::stored(RelativePath::levelsOf(top, *item)))));
    return jsonArray(names);
}

} // namespace korvo::cli
