// korvo-cli export DIR FILE: scans a folder and writes it as a text tree or
// an XML document, chosen by the target's suffix as the window does.

#include "Arguments.h"
#include "Console.h"
#include "Command.h"
#include "Scan.h"

#include "Exporter.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <map>

namespace korvo::cli {

namespace {

const char* const Summary = "scan a folder and write it to a .txt or .xml file";

const std::map<QString, XmlExportMode>& sectionNames()
{
    static const std::map<QString, XmlExportMode> names{
        {QStringLiteral("tree"), Tree},
        {QStringLiteral("dirs"), DirectoryList},
        {QStringLiteral("files"), FileList},
        {QStringLiteral("top"), TopLevelItemList}};
    return names;
}

// File fields under the names the document writes them with ("name" is
// always written).
const std::map<QString, XmlOutputOption>& fileFields()
{
    static const std::map<QString, XmlOutputOption> fields{
        {QStringLiteral("path"), OmitFilePath},
        {QStringLiteral("suffix"), OmitFileSuffix},
        {QStringLiteral("size"), OmitFileSize},
        {QStringLiteral("sizeOnDisk"), OmitFileSizeOnDisk},
        {QStringLiteral("created"), OmitFileCreated},
        {QStringLiteral("lastModified"), OmitFileLastModified},
        {QStringLiteral("lastRead"), OmitFileLastRead}};
    return fields;
}

const std::map<QString, XmlOutputOption>& directoryFields()
{
    static const std::map<QString, XmlOutputOption> fields{
        {QStringLiteral("path"), OmitDirPath},
        {QStringLiteral("size"), OmitDirSize},
        {QStringLiteral("sizeOnDisk"), OmitDirSizeOnDisk},
        {QStringLiteral("totalSize"), OmitDirTotalSize},
        {QStringLiteral("totalSizeOnDisk"), OmitDirTotalSizeOnDisk},
        {QStringLiteral("fileCount"), OmitDirFileCount},
        {QStringLiteral("subdirectoryCount"), OmitDirSubdirCount},
        {QStringLiteral("totalFileCount"), OmitDirTotalFileCount},
        {QStringLiteral("totalSubdirectoryCount"), OmitDirTotalSubdirCount},
        {QStringLiteral("created"), OmitDirCreated},
        {QStringLiteral("lastModified"), OmitDirLastModified},
        {QStringLiteral("lastRead"), OmitDirLastRead}};
    return fields;
}

QStringList splitList(const QString& list)
{
    QStringList items;
    for (const QString& item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items.append(trimmed);
    }
    return items;
}

// The omit bits of the fields listed; false with the unknown name in `bad`.
bool omitBits(const QString& list, const std::map<QString, XmlOutputOption>& fields, quint32& bits, QString& bad)
{
    bits = 0;
    for (const QString& item : splitList(list)) {
        const auto found = fields.find(item);
        if (found == fields.end()) {
            bad = item;
            return false;
        }
        bits |= quint32(found->second);
    }
    return true;
}

quint32 allBits(const std::map<QString, XmlOutputOption>& fields)
{
    quint32 bits = 0;
    for (const auto& entry : fields)
        bits |= quint32(entry.second);
    return bits;
}


QString helpText()
{
    return QStringLiteral(
               "Usage: korvo-cli export [OPTIONS] DIR FILE\n"
               "\n"
               "Scans DIR (a file stands for the folder that holds it) and writes it to FILE.\n"
               "The suffix of FILE chooses the format, case-sensitively: .txt writes the text\n"
               "tree, .xml the XML document; nothing else is accepted.\n"
               "\n"
               "XML options (by default only the top-level item section is written, with the\n"
               "default fields of each section, indented by 2):\n"
               "  --sections LIST     sections to write, comma-separated: %1\n"
               "  --elements          write fields as child elements instead of attributes\n"
               "  --indent N          blanks per nesting level; 0 writes everything on one line\n"
               "  --omit-file FIELDS  file fields every section leaves out, comma-separated\n"
               "                      (an empty list writes them all): %2\n"
               "  --omit-dir FIELDS   folder fields every section leaves out, likewise:\n"
               "                      %3\n"
               "\n"
               "Other options:\n"
               "  --timing            print the seconds the scan and the export took on stderr\n"
               "\n"
               "On a terminal the progress goes to stderr once a second.\n"
               "Exit status: 0 written, 1 failed (reason on stderr), 2 wrong usage.\n")
        .arg(choiceList(sectionNames()), choiceList(fileFields()), choiceList(directoryFields()));
}

// What korvo-cli export was asked for.
struct ExportRequest
{
    QString folder;
    QString target;
    bool xml = false;
    XmlExporterSettings settings;
    bool timing = false;
};

QList<Option> exportOptions()
{
    return {{QStringLiteral("sections"), QStringLiteral("a list of sections: %1").arg(choiceList(sectionNames()))},
            {QStringLiteral("elements")},
            {QStringLiteral("indent"), QStringLiteral("a whole number of 0 or more")},
            {QStringLiteral("omit-file"), QStringLiteral("a list of file fields")},
            {QStringLiteral("omit-dir"), QStringLiteral("a list of folder fields")},
            {QStringLiteral("timing")}};
}

// The folder and the target; empty on success, else the usage message.
QString readTarget(const CommandLine& read, ExportRequest& request)
{
    if (read.operands.size() != 2)
        return QStringLiteral("expected a folder and a target file, got %1 argument(s)").arg(read.operands.size());
    request.folder = read.operands.at(0);
    request.target = read.operands.at(1);
    // An export is written through its path as text; a name whose bytes are
    // not text would be written under a lookalike name instead.
    if (!isText(request.target))
        return QStringLiteral("the target '%1' holds bytes that are not valid in the file name encoding; "
                              "give a target name that is")
            .arg(shownArgument(request.target));
    const QString suffix = QFileInfo(request.target).suffix();
    request.xml = suffix == QLatin1String("xml");
    if (!request.xml && suffix != QLatin1String("txt"))
        return QStringLiteral("'%1' does not end in .txt or .xml (the suffix is case-sensitive)").arg(request.target);
    return QString();
}

// The sections --sections names; empty on success, else the usage message.
QString readSections(const QString& list, XmlExporterSettings& xml)
{
    const QStringList names = splitList(list);
    if (names.isEmpty())
        return QStringLiteral("--sections needs at least one of: %1").arg(choiceList(sectionNames()));
    for (bool& on : xml.output)
        on = false;
    for (const QString& name : names) {
        const auto found = sectionNames().find(name);
        if (found == sectionNames().end())
            return QStringLiteral("unknown section '%1' (choose from: %2)").arg(name, choiceList(sectionNames()));
        xml.output[found->second] = true;
    }
    return QString();
}

// The fields --omit-file and --omit-dir leave out, in every section; empty
// on success, else the usage message.
QString readOmitted(const CommandLine& read, XmlExporterSettings& xml)
{
    for (const auto& [option, fields] : {std::make_pair(QStringLiteral("omit-file"), &fileFields()),
                                         std::make_pair(QStringLiteral("omit-dir"), &directoryFields())}) {
        if (!read.isSet(option))
            continue;
        quint32 bits = 0;
        QString bad;
        if (!omitBits(read.value(option), *fields, bits, bad))
            return QStringLiteral("unknown field '%1' for --%2 (choose from: %3)").arg(bad, option, choiceList(*fields));
        const quint32 mask = allBits(*fields);
        for (XmlOutputOptions& word : xml.options)
            word = XmlOutputOptions((quint32(word) & ~mask) | bits);
    }
    return QString();
}

// The XML options, over the window's record: only the top-level item
// section. Empty on success, else the usage message.
QString readXmlOptions(const CommandLine& read, ExportRequest& request)
{
    XmlExporterSettings& xml = request.settings;
    xml = defaultXmlSettings();
    const QStringList xmlOptions{QStringLiteral("sections"), QStringLiteral("elements"), QStringLiteral("indent"),
                                 QStringLiteral("omit-file"), QStringLiteral("omit-dir")};
    const bool given = std::any_of(xmlOptions.cbegin(), xmlOptions.cend(),
                                   [&read](const QString& name) { return read.isSet(name); });
    if (!request.xml && given)
        return QStringLiteral("--sections, --elements, --indent, --omit-file and --omit-dir apply to .xml targets only");
    if (read.isSet(QStringLiteral("sections"))) {
        const QString problem = readSections(read.value(QStringLiteral("sections")), xml);
        if (!problem.isEmpty())
            return problem;
    }
    if (read.isSet(QStringLiteral("indent"))) {
        bool ok = false;
        const QString indent = read.value(QStringLiteral("indent"));
        xml.autoFormattingIndent = indent.toInt(&ok);
        if (!ok || xml.autoFormattingIndent < 0)
            return QStringLiteral("--indent needs a whole number of 0 or more, not '%1'").arg(indent);
    }
    const QString problem = readOmitted(read, xml);
    if (!problem.isEmpty())
        return problem;
    if (read.isSet(QStringLiteral("elements"))) {
        for (XmlOutputOptions& word : xml.options)
            word |= AsElements;
    }
    return QString();
}

// Reads the arguments into `request`; -1 when the command goes on, else
// the exit code (help shown, or wrong usage).
int readRequest(const QStringList& arguments, ExportRequest& request)
{
    const CommandLine read = readCommandLine(arguments, exportOptions());
    if (read.help) {
        out() << helpText();
        return Success;
    }
    QString problem = read.problem;
    if (problem.isEmpty())
        problem = readTarget(read, request);
    if (problem.isEmpty())
        problem = readXmlOptions(read, request);
    if (!problem.isEmpty())
        return usageError(QStringLiteral("export"), problem);
    request.timing = read.isSet(QStringLiteral("timing"));
    return -1;
}

// Writes the tree to the target on this thread; on a terminal the share
// written goes to stderr once a second, and the last share at the end.
bool writeExport(const ExportRequest& request, const DirectoryNodePtr& root, QString* errorString)
{
    const ExporterPtr exporter = request.xml ? createXmlExporter(request.settings)
                                             : createTxtExporter(TxtExporterSettings());
    const bool terminal = stderrIsTerminal();
    const auto show = [](qreal value) { printProgressLine(QStringLiteral("エクスポート中：%1%").arg(int(value))); };
    QElapsedTimer clock;
    clock.start();
    qint64 nextReport = 1000;
    if (terminal) {
        observeProgress(exporter, [&](qreal value) {
            if (clock.elapsed() < nextReport)
                return;
            nextReport = (clock.elapsed() / 1000 + 1) * 1000;
            show(value);
        });
    }
    const bool written = exporter->exportTo(QFileInfo(request.target).absoluteFilePath(), root, errorString);
    if (terminal)
        show(exporter->progress());
    endProgressLine();
    return written;
}

QString seconds(qint64 milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'f', 2);
}

int exportCommand(const QStringList& arguments)
{
    ExportRequest request;
    const int early = readRequest(arguments, request);
    if (early >= 0)
        return early;
    QElapsedTimer stopwatch;
    stopwatch.start();
    const ScanResult scan = scanArgument(request.folder);
    const qint64 scanMilliseconds = stopwatch.restart();
    if (!scan.root)
        return failure(QStringLiteral("export"), scan.errorString);
    QString error;
    const bool written = writeExport(request, scan.root, &error);
    if (request.timing)
        err() << "scan: " << seconds(scanMilliseconds) << " s, export: " << seconds(stopwatch.elapsed()) << " s\n";
    if (!written)
        return failure(QStringLiteral("export"), request.target + QStringLiteral(": ") + error);
    return Success;
}

const CommandRegistration registration("export", Summary, exportCommand);

} // namespace

} // namespace korvo::cli
