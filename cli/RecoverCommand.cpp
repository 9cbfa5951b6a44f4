// korvo-cli recover FOLDER: undo the package moves a killed process left
// half done, from the journals beside their package folders.

#include "Arguments.h"
#include "Command.h"
#include "Console.h"
#include "Json.h"
#include "MovePrinter.h"

#include "PackageRecovery.h"

namespace korvo::cli {

namespace {

const char* const RecoverHelp =
    "Usage: korvo-cli recover [--json] FOLDER\n"
    "\n"
    "Undoes every package move that was interrupted (the process was killed, the\n"
    "terminal closed, the power failed) under FOLDER's korvo_pack: FOLDER is a\n"
    "volume root, its korvo_pack folder or any folder below it. Each item goes\n"
    "back to its old place, never replacing anything; an item whose old name is\n"
    "taken again, or that is neither there nor in the package folder, is named\n"
    "and left where it is. The package's partial files go; once no item is\n"
    "left in the package folder, its listing, manifest and image, the folder\n"
    "and the journal are removed too (while items stay, their record stays). An\n"
    "image of a package moved before ('korvo-cli image') that was cut short is\n"
    "removed; the package stays where it is.\n"
    "\n"
    "A journal is acted on only when korvo could have written it for you: a\n"
    "regular file of yours, in folders of yours that no one else may write to,\n"
    "naming only the package's own folder and files and items of one folder.\n"
    "Any other is named with the rule it breaks and left untouched; folders of\n"
    "other users are not entered. Each base folder is locked while it is\n"
    "worked on: a move, recover or image running there makes this one wait a\n"
    "few seconds, then give up on that folder.\n"
    "\n"
    "Exit status: 0 every interrupted move was undone (or none was found), 1\n"
    "anything is left or refused, 2 wrong usage.\n";

QString jsonReport(const PackageRecovery::Report& report)
{
    QStringList left;
    for (const QString& line : report.leftLines)
        left << jsonString(line);
    return QStringLiteral("{\"journal\": %1, \"number\": %2, \"folder\": %3, \"returned\": %4, \"items\": %5, "
                          "\"undone\": %6, \"refused\": %7, \"left\": %8}")
        .arg(jsonString(report.journal.toText()), QString::number(report.number), jsonString(report.folderText),
             QString::number(report.returned), QString::number(report.total),
             jsonBool(report.undone()), jsonBool(report.refused), jsonArray(left));
}

// Reads the arguments; -1 when the command goes on, else the exit code.
int readArguments(const QStringList& arguments, bool* json, QString* folder)
{
    const QString command = QStringLiteral("recover");
    const CommandLine read = readCommandLine(arguments, {{QStringLiteral("json")}});
    if (read.help) {
        out() << RecoverHelp;
        return Success;
    }
    if (!read.problem.isEmpty())
        return usageError(command, read.problem);
    if (read.operands.size() != 1 || read.operands.first().isEmpty())
        return usageError(command, QStringLiteral("expected one FOLDER"));
    *json = read.isSet(QStringLiteral("json"));
    *folder = read.operands.first();
    return -1;
}

int recoverCommand(const QStringList& arguments)
{
    bool json = false;
    QString argument;
    const int early = readArguments(arguments, &json, &argument);
    if (early >= 0)
        return early;
    const NativePath pack = PackageRecovery::packFolderFor(argumentPath(argument));
    QList<PackageRecovery::JournalFolder> folders;
    QString error;
    if (!PackageRecovery::findJournals(pack, &folders, &error))
        return failure(QStringLiteral("recover"), error);
    bool allUndone = true;
    QStringList texts;
    for (const PackageRecovery::JournalFolder& folder : qAsConst(folders)) {
        for (const PackageRecovery::Report& report : PackageRecovery::recoverFolder(folder)) {
            allUndone = allUndone && report.undone();
            if (json)
                texts << jsonReport(report);
            else
                out() << asLines(PackageRecovery::reportLines(report)) << "\n";
            out().flush();
        }
    }
    if (json)
        out() << "{\"folder\": " << jsonString(pack.toText()) << ", \"packages\": "
              << jsonArray(texts) << "}\n";
    else if (folders.isEmpty())
        out() << QStringLiteral("中断された移動はありません。") << "\n";
    else if (allUndone)
        out() << QStringLiteral("全て元に戻しました。") << "\n";
    else
        out() << QStringLiteral("元に戻せなかった項目があります。") << "\n";
    out().flush();
    return allUndone ? Success : Failure;
}

const CommandRegistration recoverRegistration("recover", "undo package moves that were interrupted",
                                              recoverCommand);

} // namespace

} // namespace korvo::cli
