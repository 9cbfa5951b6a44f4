#include "PackOptions.h"

#include "Arguments.h"
#include "Console.h"
#include "Json.h"
#include "SizeArgument.h"

#include "DirectoryNode.h"
#include "Platform.h"

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

} // namespace

const char* const PackOptionsHelp =
    "  --order NAME   a built-in package order: CD (700,000,000 bytes), PACK_500MB\n"
    "                 (500,000,000), PACK_400MB (400,000,000), PACK_200MB\n"
    "                 (300,000,000), PACK_100MB (200,000,000); default CD\n"
    "  --limit SIZE   a limit of your own on disk: bytes, or with a unit, 700M,\n"
    "                 4.7G, 25GB (decimal, as disc makers count), 700MiB, 4GiB\n"
    "                 (binary); its name is the number of bytes unless --name is\n"
    "                 given\n"
    "  --name NAME    the name of a --limit\n"
    "  --sort MODE    assorted (best fit, in listed order), size-asc, size-desc,\n"
    "                 name-asc, name-desc (next fit in that order); default assorted\n";

PackOptionParser::PackOptionParser()
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({help, order, limit, name, sort, json});
}

QString PackOptionParser::read(PackOptions& options) const
{
    if (parser.isSet(order) && parser.isSet(limit))
        return QStringLiteral("give either --order or --limit, not both");
    if (parser.isSet(name) && !parser.isSet(limit))
        return QStringLiteral("--name names a --limit; a built-in order keeps its own name");
    if (parser.isSet(limit)) {
        const QString text = parser.value(limit);
        qint64 bytes = 0;
        if (!parseSize(text, bytes))
            return QStringLiteral("--limit needs a size of 0 or more, not '%1': %2")
                .arg(text, QLatin1String(SizeForms));
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
            return QStringLiteral("unknown order '%1' (choose from: %2, or give --limit SIZE)")
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
    // Packages are made of a folder's items: a file given here would plan
    // the folder that holds it, which the user did not name.
    bool isFolder = false;
    if (platform::entryExists(argumentPath(options.folder), &isFolder) && !isFolder)
        return QStringLiteral("expected a folder; '%1' is not one").arg(shownArgument(options.folder));
    return QString();
}

bool scanAndPack(const QString& command, const PackOptions& options, ScanResult& scan, QList<PackagePtr>& packages)
{
    scan = scanArgument(options.folder);
    if (!scan.root) {
        err() << "korvo-cli " << command << ": " << scan.errorString << "\n";
        return false;
    }
    Packer::pack(options.order, options.sort, scan.root, packages);
    return true;
}

QString shownName(const PackagablePtr& item)
{
    const bool folder = !item.dynamicCast<DirectoryNode>().isNull();
    return folder ? item->fileName() + QLatin1Char('/') : item->fileName();
}

QString jsonNames(const QList<PackagablePtr>& items)
{
    QStringList names;
    for (const PackagablePtr& item : items)
        names << jsonString(exactText(item->nativeFileName()));
    return QLatin1Char('[') + names.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace korvo::cli
