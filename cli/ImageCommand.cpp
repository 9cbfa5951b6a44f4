// korvo-cli image FOLDER: the ISO or ZIP image of a package folder moved
// before, beside it, as 'korvo-cli move --image' writes it.

#include "Arguments.h"
#include "ChecksumProgress.h"
#include "Command.h"
#include "Console.h"
#include "Json.h"

#include "ImageBeside.h"
#include "MoveTexts.h"
#include "SizeFormat.h"

namespace korvo::cli {

namespace {

const char* const ImageHelp =
    "Usage: korvo-cli image [--format iso|zip] [--json] FOLDER\n"
    "\n"
    "Writes the image of the package folder FOLDER (named by its number N, as\n"
    "'korvo-cli move' makes it) beside it, as 'korvo-cli move --image' does:\n"
    "N.iso, ISO 9660 with Joliet and Rock Ridge (names up to 255 bytes, exactly\n"
    "as on disk), ready to burn, or N.zip with UTF-8 names. N.sha256 beside the\n"
    "folder, if there is one, goes inside too. The image is written under a\n"
    "temporary name and takes its name only once complete; an existing image is\n"
    "never replaced. A link or special file in the folder fails the image.\n"
    "'korvo-cli recover' removes what a killed run left.\n"
    "\n"
    "  --format FORMAT  iso (default) or zip\n"
    "  --json           print one JSON object: folder, image, format, size,\n"
    "                   manifestInside, ok, and error when it failed\n"
    "  -h, --help       show this text\n"
    "\n"
    "On a terminal the share written so far appears on stderr.\n"
    "Exit status: 0 written, 1 it could not be (or this build has no images),\n"
    "2 wrong usage.\n";

struct ImageArguments
{
    bool help = false;
    bool json = false;
    ImageFormat format = ImageFormat::Iso;
    QStringList paths;
    QString problem;
};

ImageArguments readArguments(const QStringList& arguments)
{
    const CommandLine read =
        readCommandLine(arguments, {{QStringLiteral("json")}, {QStringLiteral("format"), QStringLiteral("iso or zip")}});
    ImageArguments image;
    image.help = read.help;
    image.json = read.isSet(QStringLiteral("json"));
    image.paths = read.operands;
    image.problem = read.problem;
    const QString format = read.value(QStringLiteral("format"), QStringLiteral("iso"));
    if (!image.problem.isEmpty())
        return image;
    if (!ImageFormats::fromName(format, &image.format))
        image.problem = QStringLiteral("--format takes iso or zip, not '%1'").arg(shownArgument(format));
    else if (image.paths.size() != 1)
        image.problem = QStringLiteral("expected one FOLDER, got %1 argument(s)").arg(image.paths.size());
    else if (image.paths.first().isEmpty())
        image.problem = QStringLiteral("a path must not be empty");
    return image;
}

void printOutcome(const ImageArguments& read, const NativePath& folder, const ImageBeside::Outcome& outcome,
                  bool written, const QString& error)
{
    if (read.json) {
        out() << QStringLiteral("{\"folder\": %1, \"image\": %2, \"format\": %3, \"size\": %4, \"manifestInside\": %5, "
                                "\"ok\": %6, \"error\": %7}\n")
                     .arg(jsonString(folder.toText()), jsonString(outcome.image.toText()),
                          jsonString(ImageFormats::suffix(read.format)), QString::number(written ? outcome.size : 0),
                          jsonBool(outcome.manifestInside && written), jsonBool(written),
                          written ? QStringLiteral("null") : jsonString(error));
    } else if (written) {
        out() << MoveTexts::savedLine(MoveTexts::shown(outcome.image), true) << " (" << formatSize(outcome.size)
              << (outcome.manifestInside ? ", with its manifest inside)" : ")") << "\n";
    }
    out().flush();
    if (!written)
        failure(QStringLiteral("image"), error);
}

int imageCommand(const QStringList& arguments)
{
    const ImageArguments read = readArguments(arguments);
    if (read.help) {
        out() << ImageHelp;
        return Success;
    }
    if (!read.problem.isEmpty())
        return usageError(QStringLiteral("image"), read.problem);
    if (!ImageFormats::available())
        return failure(QStringLiteral("image"), ImageFormats::unavailableReason());
    const NativePath folder = argumentPath(read.paths.first());
    ImageBeside::Outcome outcome;
    QString error;
    bool written = false;
    {
        ChecksumProgress progress(QStringLiteral("image"));
        written = ImageBeside::writeForPackage(folder, read.format, progress.callback(), &outcome, &error);
    }
    printOutcome(read, folder, outcome, written, error);
    return written ? Success : Failure;
}

const CommandRegistration imageRegistration("image", "write the ISO or ZIP image of a moved package folder",
                                            imageCommand);

} // namespace

} // namespace korvo::cli
