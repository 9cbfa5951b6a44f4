// korvo-cli verify FOLDER [MANIFEST]: checks a package folder, or a copy of
// it on a disc or drive, against the SHA-256 manifest written by
// 'korvo-cli move --checksums' (or by sha256sum).

#include "Arguments.h"
#include "Console.h"
#include "ChecksumProgress.h"
#include "Command.h"
#include "VerifyPrinter.h"

#include "ChecksumManifest.h"
#include "ChecksumVerifier.h"
#include "ImageFormat.h"
#include "ImageReader.h"
#include "Platform.h"

#include <QStringList>

namespace korvo::cli {

namespace {

// Says what is wrong with the command line of korvo-cli verify.
int wrongUsage(const QString& message)
{
    return usageError(QStringLiteral("verify"), message);
}

const char* const usage =
    "Usage: korvo-cli verify [--json] FOLDER [MANIFEST]\n"
    "       korvo-cli verify [--json] IMAGE [MANIFEST]\n"
    "\n"
    "Checks FOLDER (a package folder, or its copy on a disc or drive anywhere)\n"
    "against a SHA-256 manifest, by default FOLDER.sha256 beside it, as\n"
    "'korvo-cli move --checksums' writes it; a manifest of 'sha256sum' does too.\n"
    "Every listed file is read once. Prints each file that is changed, missing\n"
    "or unreadable (as 'NAME: changed'; a name holding a backslash or a line\n"
    "break is escaped as sha256sum does, on a line that starts with a\n"
    "backslash) and each manifest line that lists no file (as 'MANIFEST line N:\n"
    "why'), in the manifest's order as they are found; then the files that are\n"
    "not listed, then a summary line. A path that leaves the folder, is listed\n"
    "twice, or holds a NUL or a carriage return that is not escaped is a bad\n"
    "line. A link is never followed: a listed file that is one, or lies below\n"
    "one, is unreadable; an unlisted one is unlisted. The manifest is read line\n"
    "by line, and may be up to 1 GiB.\n"
    "\n"
    "IMAGE, a file ending with .iso or .zip (as 'korvo-cli move --image' and\n"
    "'korvo-cli image' write them), is read from start to end without mounting\n"
    "or extracting it, and the files inside are checked in the same way: by\n"
    "default against N.sha256 beside image N.iso, else against N.sha256 inside\n"
    "it. Rock Ridge names are read in an ISO image.\n"
    "\n"
    "  --json      print one JSON object instead, with the keys folder, manifest,\n"
    "              ok, listed, matched, changed, missing, unlisted (lists of\n"
    "              paths), unreadable ([{path, error}]), badLines ([{line,\n"
    "              error}]), or ok and error when nothing could be checked;\n"
    "              bytes of a name that are not UTF-8 show as U+FFFD there;\n"
    "              for an image the key image stands for folder; each list\n"
    "              is in the order found, and is kept aside until printed\n"
    "              (past 1 MiB in a temporary file, in TMPDIR)\n"
    "  -h, --help  show this text\n"
    "\n"
    "On a terminal the share read so far appears on stderr.\n"
    "Exit status: 0 when every listed file matches and nothing else is there,\n"
    "1 when anything differs or cannot be read, 2 when the command line is wrong.\n";

// An image to read rather than a folder: a file (or anything but a folder)
// whose name ends with .iso or .zip.
bool isImage(const NativePath& path)
{
    bool isFolder = false;
    return ImageFormats::ofPath(path) != ImageFormat::None && !(platform::entryExists(path, &isFolder) && isFolder);
}

// The arguments carry the exact bytes of names that are not text, so that
// argumentPath() gives the paths exactly.
int verifyCommand(const QStringList& arguments)
{
    const CommandLine read = readCommandLine(arguments, {{QStringLiteral("json")}});
    if (read.help) {
        out() << usage;
        return Success;
    }
    if (!read.problem.isEmpty())
        return wrongUsage(read.problem);
    const bool json = read.isSet(QStringLiteral("json"));
    const QStringList& paths = read.operands;
    if (paths.isEmpty() || paths.size() > 2)
        return wrongUsage(QStringLiteral("expected FOLDER and at most one MANIFEST, got %1 argument(s)")
                              .arg(paths.size()));
    if (paths.contains(QString()))
        return wrongUsage(QStringLiteral("a path must not be empty"));
    const NativePath target = argumentPath(paths.first());
    const NativePath given = paths.size() == 2 ? argumentPath(paths.at(1)) : NativePath();
    const bool image = isImage(target);
    if (image && !ImageFormats::available())
        return failure(QStringLiteral("verify"), ImageFormats::unavailableReason());
    const ImageReader::ManifestChoice choice = image ? ImageReader::chooseManifest(target, given)
                                                     : ImageReader::ManifestChoice();
    const NativePath manifestPath = image ? choice.path : given.isEmpty() ? ChecksumManifest::pathBeside(target) : given;
    const UsedManifest manifest{choice.inside.isEmpty() ? manifestPath.storedBytes() : choice.inside,
                                image ? choice.shown : manifestPath.toText()};

    const QString key = image ? QStringLiteral("image") : QStringLiteral("folder");
    TextVerifyPrinter text(manifest);
    JsonVerifyPrinter jsonPrinter(key, target, manifest);
    VerifySink& sink = json ? static_cast<VerifySink&>(jsonPrinter) : text;
    VerifyReport report;
    QString error;
    bool checked = false;
    {
        ChecksumProgress progress(QStringLiteral("verify"));
        checked = image ? ImageReader::verifyImage(target, choice, progress.callback(), sink, report, &error)
                        : verifyFolder(target, manifestPath, progress.callback(), sink, report, &error);
    }
    if (checked && json)
        checked = jsonPrinter.print(report, &error);
    else if (checked)
        text.printSummary(report);
    if (!checked) {
        out().flush();
        failure(QStringLiteral("verify"), error);
        if (json)
            jsonPrinter.printError(error);
        out().flush();
        return Failure;
    }
    out().flush();
    return report.allMatch() ? Success : Failure;
}

const CommandRegistration verifyRegistration("verify", "check a package folder or image against its SHA-256 manifest",
                                             verifyCommand);

} // namespace

} // namespace korvo::cli
