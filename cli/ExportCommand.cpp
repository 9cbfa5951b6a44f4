// korvo-cli export DIR FILE: scans a folder and writes it as a text tree or
// an XML document, chosen by the target's suffix as the window does.

#include "Arguments.h"
#include "Console.h"
#include "Command.h"
#include "Scan.h"

#include "ExportWorker.h"
#include "Exporter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>

#include <map>

namespace korvo::cli {

namespace {

// Says what is wrong with the command line of korvo-cli export.
int wrongUsage(const QString& message)
{
    return usageError(QStringLiteral("export"), message);
}

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

template <typename Map>
QString keyList(const Map& map)
{
    QStringList keys;
    for (const auto& entry : map)
        keys.append(entry.first);
    return keys.join(QStringLiteral(", "));
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
        .arg(keyList(sectionNames()), keyList(fileFields()), keyList(directoryFields()));
}

int exportCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption sections(QStringLiteral("sections"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption elements(QStringLiteral("elements"), QString());
    const QCommandLineOption indent(QStringLiteral("indent"), QString(), QStringLiteral("N"));
    const QCommandLineOption omitFile(QStringLiteral("omit-file"), QString(), QStringLiteral("FIELDS"));
    const QCommandLineOption omitDir(QStringLiteral("omit-dir"), QString(), QStringLiteral("FIELDS"));
    const QCommandLineOption timing(QStringLiteral("timing"), QString());
    parser.addOptions({help, sections, elements, indent, omitFile, omitDir, timing});
    if (!parser.parse(QStringList{QStringLiteral("korvo-cli export")} + arguments))
        return wrongUsage(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << helpText();
        return Success;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return wrongUsage(QStringLiteral("expected a folder and a target file, got %1 argument(s)")
                              .arg(positional.size()));
    const QString folder = positional.at(0);
    const QString target = positional.at(1);
    // An export is written through its path as text; a name whose bytes are
    // not text would be written under a lookalike name instead.
    if (!isText(target))
        return wrongUsage(QStringLiteral("the target '%1' holds bytes that are not valid in the file name "
                                         "encoding; give a target name that is")
                              .arg(shownArgument(target)));

    const QString suffix = QFileInfo(target).suffix();
    const bool isXml = suffix == QLatin1String("xml");
    if (!isXml && suffix != QLatin1String("txt"))
        return wrongUsage(QStringLiteral("'%1' does not end in .txt or .xml (the suffix is case-sensitive)")
                              .arg(target));

    // The window's record: only the top-level item section.
    XmlExporterSettings xml;
    xml.output[Tree] = false;
    xml.output[DirectoryList] = false;
    xml.output[FileList] = false;
    xml.output[TopLevelItemList] = true;
    const bool xmlOptionGiven = parser.isSet(sections) || parser.isSet(elements) || parser.isSet(indent)
                                || parser.isSet(omitFile) || parser.isSet(omitDir);
    if (!isXml && xmlOptionGiven)
        return wrongUsage(QStringLiteral("--sections, --elements, --indent, --omit-file and --omit-dir "
                                         "apply to .xml targets only"));
    if (parser.isSet(sections)) {
        const QStringList names = splitList(parser.value(sections));
        if (names.isEmpty())
            return wrongUsage(QStringLiteral("--sections needs at least one of: %1").arg(keyList(sectionNames())));
        for (bool& on : xml.output)
            on = false;
        for (const QString& name : names) {
            const auto found = sectionNames().find(name);
            if (found == sectionNames().end())
                return wrongUsage(QStringLiteral("unknown section '%1' (choose from: %2)")
                                      .arg(name, keyList(sectionNames())));
            xml.output[found->second] = true;
        }
    }
    if (parser.isSet(indent)) {
        bool ok = false;
        const int value = parser.value(indent).toInt(&ok);
        if (!ok || value < 0)
            return wrongUsage(QStringLiteral("--indent needs a whole number of 0 or more, not '%1'")
                                  .arg(parser.value(indent)));
        xml.autoFormattingIndent = value;
    }
    QString bad;
    for (const auto& [option, fields] :
         {std::make_pair(&omitFile, &fileFields()), std::make_pair(&omitDir, &directoryFields())}) {
        if (!parser.isSet(*option))
            continue;
        quint32 bits = 0;
        if (!omitBits(parser.value(*option), *fields, bits, bad))
            return wrongUsage(QStringLiteral("unknown field '%1' for --%2 (choose from: %3)")
                                  .arg(bad, option->names().constFirst(), keyList(*fields)));
        const quint32 mask = allBits(*fields);
        for (XmlOutputOptions& word : xml.options)
            word = XmlOutputOptions((quint32(word) & ~mask) | bits);
    }
    if (parser.isSet(elements)) {
        for (XmlOutputOptions& word : xml.options)
            word |= AsElements;
    }

    QElapsedTimer stopwatch;
    stopwatch.start();
    const ScanResult scan = scanArgument(folder);
    const qint64 scanMilliseconds = stopwatch.restart();
    if (!scan.root) {
        QTextStream(stderr) << "korvo-cli export: " << scan.errorString << "\n";
        return Failure;
    }

    const ExporterPtr exporter = isXml ? createXmlExporter(xml) : createTxtExporter(TxtExporterSettings());
    ExportWorker worker;
    bool succeeded = false;
    QString errorString;
    QEventLoop loop;
    const bool terminal = stderrIsTerminal();
    QObject::connect(&worker, &ExportWorker::progress, &loop, [&](qreal value) {
        if (terminal)
            printProgressLine(QStringLiteral("エクスポート中：%1%").arg(int(value)));
    });
    QObject::connect(&worker, qOverload<bool, const QString&, const QString&>(&ExportWorker::finished), &loop,
                     [&](bool ok, const QString&, const QString& error) {
                         succeeded = ok;
                         errorString = error;
                     });
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.setup(QFileInfo(target).absoluteFilePath(), scan.root, exporter);
    worker.start(QThread::InheritPriority);
    loop.exec();
    worker.wait();
    endProgressLine();
    if (parser.isSet(timing)) {
        QTextStream(stderr) << "scan: " << QString::number(scanMilliseconds / 1000.0, 'f', 2)
                            << " s, export: " << QString::number(stopwatch.elapsed() / 1000.0, 'f', 2) << " s\n";
    }

    if (!succeeded) {
        QTextStream(stderr) << "korvo-cli export: " << target << ": " << errorString << "\n";
        return Failure;
    }
    return Success;
}

const CommandRegistration registration("export", Summary, exportCommand);

} // namespace

} // namespace korvo::cli
