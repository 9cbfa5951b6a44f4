// korvo-cli verify FOLDER [MANIFEST]: checks a package folder, or a copy of
// it on a disc or drive, against the SHA-256 manifest written by
// 'korvo-cli move --checksums' (or by sha256sum).

#include "Arguments.h"
#include "Console.h"
#include "ChecksumProgress.h"
#include "Command.h"
#include "Json.h"

#include "ChecksumManifest.h"
#include "ChecksumVerifier.h"
#include "ImageFormat.h"
#include "ImageReader.h"
#include "Platform.h"

#include <QStringList>

#include <cstdio>

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
    "Every listed file is read once. Prints each file that is changed, missing,\n"
    "unreadable or not listed (as 'NAME: changed'; a name holding a backslash or\n"
    "a line break is escaped as sha256sum does, on a line that starts with a\n"
    "backslash), then a summary line. A link is never followed: a listed file\n"
    "that is one, or lies below one, is unreadable; an unlisted one is unlisted.\n"
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
    "              for an image the key image stands for folder\n"
    "  -h, --help  show this text\n"
    "\n"
    "On a terminal the share read so far appears on stderr.\n"
    "Exit status: 0 when every listed file matches and nothing else is there,\n"
    "1 when anything differs or cannot be read, 2 when the command line is wrong.\n";

void print(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}


const char* kindWord(VerifyFinding::Kind kind)
{
    switch (kind) {
    case VerifyFinding::Changed: return "changed";
    case VerifyFinding::Missing: return "missing";
    case VerifyFinding::Unreadable: return "unreadable";
    case VerifyFinding::Unlisted: return "unlisted";
    }
    return "";
}

// The manifest a check used, as the lines name it.
struct UsedManifest
{
    QByteArray bytes; // exact, for the lines of bad manifest lines
    QString shown;
};

void printText(const UsedManifest& manifest, const VerifyReport& report)
{
    for (const VerifyFinding& finding : report.findings) {
        QByteArray line = ChecksumManifest::shownPath(finding.relativePath) + ": " + kindWord(finding.kind);
        if (!finding.reason.isEmpty())
            line += " (" + finding.reason.toUtf8() + ')';
        print(line + '\n');
    }
    for (const ChecksumManifest::BadLine& bad : report.badLines)
        print(manifest.bytes + " line " + QByteArray::number(bad.line) + ": " + bad.reason.toUtf8() + '\n');
    if (report.allMatch()) {
        print(QStringLiteral("OK: all %1 files listed in %2 match.\n").arg(report.listed).arg(manifest.shown).toUtf8());
        return;
    }
    print(QStringLiteral("FAILED: %1 changed, %2 missing, %3 unreadable, %4 unlisted, %5 bad manifest lines; "
                         "%6 of %7 listed files match.\n")
              .arg(report.count(VerifyFinding::Changed))
              .arg(report.count(VerifyFinding::Missing))
              .arg(report.count(VerifyFinding::Unreadable))
              .arg(report.count(VerifyFinding::Unlisted))
              .arg(report.badLines.size())
              .arg(report.matched)
              .arg(report.listed)
              .toUtf8());
}

QString jsonPath(const QByteArray& relativePath)
{
    return jsonString(NativePath::fromStoredBytes(relativePath).toText());
}

void printJson(const QString& key, const NativePath& folder, const UsedManifest& manifest, const VerifyReport& report)
{
    QStringList lists[4];
    for (const VerifyFinding& finding : report.findings) {
        if (finding.kind == VerifyFinding::Unreadable)
            lists[finding.kind] << QStringLiteral("{\"path\": %1, \"error\": %2}")
                                       .arg(jsonPath(finding.relativePath), jsonString(finding.reason));
        else
            lists[finding.kind] << jsonPath(finding.relativePath);
    }
    QStringList badLines;
    for (const ChecksumManifest::BadLine& bad : report.badLines)
        badLines << QStringLiteral("{\"line\": %1, \"error\": %2}").arg(bad.line).arg(jsonString(bad.reason));
    auto list = [](const QStringList& items) { return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']'); };
    print((QStringLiteral("{\"") + key + QStringLiteral("\": %1, \"manifest\": %2, \"ok\": %3, \"listed\": %4, \"matched\": %5, "
                         "\"changed\": %6, \"missing\": %7, \"unlisted\": %8, \"unreadable\": %9, \"badLines\": %10}\n"))
              .arg(jsonString(folder.toText()), jsonString(manifest.shown),
                   report.allMatch() ? QStringLiteral("true") : QStringLiteral("false"))
              .arg(report.listed)
              .arg(report.matched)
              .arg(list(lists[VerifyFinding::Changed]), list(lists[VerifyFinding::Missing]),
                   list(lists[VerifyFinding::Unlisted]), list(lists[VerifyFinding::Unreadable]), list(badLines))
              .toUtf8());
}

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
    const PathArguments read = readPathArguments(arguments);
    if (read.help) {
        print(usage);
        return Success;
    }
    if (!read.unknown.isEmpty())
        return wrongUsage(QStringLiteral("unknown option '%1'").arg(shownArgument(read.unknown)));
    const bool json = read.json;
    const QStringList& paths = read.paths;
    if (paths.isEmpty() || paths.size() > 2)
        return wrongUsage(QStringLiteral("expected FOLDER and at most one MANIFEST, got %1 argument(s)")
                              .arg(paths.size()));
    if (paths.contains(QString()))
        return wrongUsage(QStringLiteral("a path must not be empty"));
    const NativePath target = argumentPath(paths.first());
    const NativePath given = paths.size() == 2 ? argumentPath(paths.at(1)) : NativePath();
    const bool image = isImage(target);
    if (image && !ImageFormats::available()) {
        std::fprintf(stderr, "korvo-cli verify: %s\n", ImageFormats::unavailableReason().toUtf8().constData());
        return Failure;
    }
    const ImageReader::ManifestChoice choice = image ? ImageReader::chooseManifest(target, given)
                                                     : ImageReader::ManifestChoice();
    const NativePath manifestPath = image ? choice.path : given.isEmpty() ? ChecksumManifest::pathBeside(target) : given;
    const UsedManifest manifest{choice.inside.isEmpty() ? manifestPath.storedBytes() : choice.inside,
                                image ? choice.shown : manifestPath.toText()};

    VerifyReport report;
    QString error;
    bool checked = false;
    {
        ChecksumProgress progress(QStringLiteral("verify"));
        checked = image ? ImageReader::verifyImage(target, choice, progress.callback(), report, &error)
                        : verifyFolder(target, manifestPath, progress.callback(), report, &error);
    }
    const QString key = image ? QStringLiteral("image") : QStringLiteral("folder");
    if (!checked) {
        std::fprintf(stderr, "korvo-cli verify: %s\n", error.toUtf8().constData());
        if (json)
            print((QStringLiteral("{\"") + key + QStringLiteral("\": %1, \"manifest\": %2, \"ok\": false, \"error\": %3}\n"))
                      .arg(jsonString(target.toText()), jsonString(manifest.shown), jsonString(error))
                      .toUtf8());
        return Failure;
    }
    if (json)
        printJson(key, target, manifest, report);
    else
        printText(manifest, report);
    std::fflush(stdout);
    return report.allMatch() ? Success : Failure;
}

const CommandRegistration verifyRegistration("verify", "check a package folder or image against its SHA-256 manifest",
                                             verifyCommand);

} // namespace

} // namespace korvo::cli
