// korvo-cli find PATTERN FOLDER...: which package holds a file, from the
// listings and manifests beside the package folders alone.

#include "Arguments.h"
#include "Command.h"
#include "Console.h"
#include "Json.h"

#include "PackageCatalog.h"

#include <QDir>

namespace korvo::cli {

namespace {

const char* const FindHelp =
    "Usage: korvo-cli find [--json] [--regex] PATTERN FOLDER...\n"
    "\n"
    "Searches every package listing (N.xml) and manifest (N.sha256) below the\n"
    "FOLDERs, such as korvo_pack, and prints each file whose name or path inside\n"
    "its package matches PATTERN, one line each, columns parted by tabs:\n"
    "  NUMBER  PACKAGE_FOLDER  PATH  SIZE\n"
    "with the size in bytes from the listing ('-' when only a manifest names the\n"
    "file). The package folders themselves are not needed: their listings answer\n"
    "which disc holds a file. Where both are there, the listing is read. A\n"
    "package folder beside its listing or manifest is not searched itself.\n"
    "\n"
    "  --regex     PATTERN is a regular expression found anywhere in the path;\n"
    "              by default it is a glob (*, ?, [...]; * stops at /)\n"
    "              matching the file's name or its whole path; both ignore\n"
    "              case\n"
    "  --json      print one JSON object: pattern, regex, matches ([{number,\n"
    "              folder, path, size (null when unknown)}]) and problems\n"
    "  -h, --help  show this text\n"
    "\n"
    "Exit status: 0 a file was found, 1 none was (or a listing could not be\n"
    "read), 2 wrong usage.\n";

struct FindArguments
{
    bool help = false;
    bool json = false;
    bool regex = false;
    QStringList rest; // PATTERN FOLDER...
    QString problem;
};

FindArguments readArguments(const QStringList& arguments)
{
    const CommandLine read = readCommandLine(arguments, {{QStringLiteral("json")}, {QStringLiteral("regex")}});
    FindArguments find{read.help, read.isSet(QStringLiteral("json")), read.isSet(QStringLiteral("regex")),
                       read.operands, read.problem};
    if (find.problem.isEmpty() && find.rest.size() < 2)
        find.problem = QStringLiteral("expected PATTERN and at least one FOLDER");
    return find;
}

QString pathText(const QByteArray& relativePath)
{
    return NativePath::fromStoredBytes(relativePath).toText();
}

void printJson(const FindArguments& read, const QVector<CatalogEntry>& found, const QStringList& problems)
{
    QStringList matches;
    for (const CatalogEntry& entry : found)
        matches << QStringLiteral("{\"number\": %1, \"folder\": %2, \"path\": %3, \"size\": %4}")
                       .arg(entry.number)
                       .arg(jsonString(QDir::toNativeSeparators(entry.packageFolder.toText())),
                            jsonString(pathText(entry.relativePath)),
                            entry.size < 0 ? QStringLiteral("null") : QString::number(entry.size));
    QStringList problemTexts;
    for (const QString& problem : problems)
        problemTexts << jsonString(problem);
    out() << "{\"pattern\": " << jsonString(read.rest.first()) << ", \"regex\": " << jsonBool(read.regex)
          << ", \"matches\": " << jsonArray(matches) << ", \"problems\": " << jsonArray(problemTexts) << "}\n";
}

void printText(const QVector<CatalogEntry>& found, const QStringList& problems)
{
    for (const CatalogEntry& entry : found)
        out() << entry.number << '\t' << QDir::toNativeSeparators(entry.packageFolder.toText()) << '\t'
              << pathText(entry.relativePath) << '\t'
              << (entry.size < 0 ? QStringLiteral("-") : QString::number(entry.size)) << '\n';
    out().flush();
    for (const QString& problem : problems)
        err() << "korvo-cli find: " << problem << '\n';
    if (found.isEmpty())
        err() << "korvo-cli find: no file matches.\n";
    err().flush();
}

int findCommand(const QStringList& arguments)
{
    const FindArguments read = readArguments(arguments);
    if (read.help) {
        out() << FindHelp;
        return Success;
    }
    if (!read.problem.isEmpty())
        return usageError(QStringLiteral("find"), read.problem);
    PackageCatalog::Matcher matcher;
    QString problem;
    if (!PackageCatalog::makeMatcher(read.rest.first(), read.regex, &matcher, &problem))
        return usageError(QStringLiteral("find"), problem);
    QList<NativePath> folders;
    for (const QString& folder : read.rest.mid(1)) {
        folders << NativePath();
        if (!isFolderArgument(folder, &folders.last()))
            return usageError(QStringLiteral("find"), QStringLiteral("'%1' is not a folder").arg(shownArgument(folder)));
    }
    QStringList problems;
    const QVector<CatalogEntry> found = PackageCatalog::search(folders, matcher, &problems);
    if (read.json)
        printJson(read, found, problems);
    else
        printText(found, problems);
    out().flush();
    return found.isEmpty() || !problems.isEmpty() ? Failure : Success;
}

const CommandRegistration findRegistration("find", "find which package holds a file, from the listings",
                                           findCommand);

} // namespace

} // namespace korvo::cli
