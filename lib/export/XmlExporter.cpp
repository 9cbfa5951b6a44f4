// The XML export: a declaration, a generator comment and the root element
// "korvo" with seven header elements and up to four sections, each showing
// the tree in one output mode. The settings record switches sections on and
// off and gives each mode an option word that omits single fields and
// chooses between attributes and child elements.

#include "Exporter.h"
#include "ExporterBase.h"
#include "SizeTexts.h"
#include "TargetFile.h"
#include "TimeFormatter.h"
#include "XmlTextWriter.h"
#include "SizeFormat.h"

#include <QVector>

namespace korvo {

namespace {

// The element and field names of the document, made once.
struct Names
{
    const QString korvo = QStringLiteral("korvo");
    const QString version = QStringLiteral("version");
    const QString date = QStringLiteral("date");
    const QString root = QStringLiteral("root");
    const QString files = QStringLiteral("files");
    const QString directories = QStringLiteral("directories");
    const QString directory = QStringLiteral("directory");
    const QString file = QStringLiteral("file");
    const QString name = QStringLiteral("name");
    const QString path = QStringLiteral("path");
    const QString suffix = QStringLiteral("suffix");
    const QString size = QStringLiteral("size");
    const QString sizeOnDisk = QStringLiteral("sizeOnDisk");
    const QString totalSize = QStringLiteral("totalSize");
    const QString totalSizeOnDisk = QStringLiteral("totalSizeOnDisk");
    const QString fileCount = QStringLiteral("fileCount");
    const QString subdirectoryCount = QStringLiteral("subdirectoryCount");
    const QString totalFileCount = QStringLiteral("totalFileCount");
    const QString totalSubdirectoryCount = QStringLiteral("totalSubdirectoryCount");
    const QString created = QStringLiteral("created");
    const QString lastModified = QStringLiteral("lastModified");
    const QString lastRead = QStringLiteral("lastRead");
};

class XmlExporter : public exporting::ExporterBase
{
public:
    XmlExporter(const XmlExporterSettings& settings, const ExportClock& clock) : settings_(settings), clock_(clock) {}

private:
    void writeDocument(exporting::TargetFile& target, const DirectoryNode& root) override;
    bool writeContent(const DirectoryNode& root);
    bool writeSection(const DirectoryNode& root, XmlExportMode mode, XmlOutputOptions options);
    void writeFileNode(const FileNode& file, XmlOutputOptions options);
    void writeDirectoryFields(const DirectoryNode& directory, XmlOutputOptions options);
    void writeFiles(const DirectoryNode& directory, XmlOutputOptions options);
    // The path of a file's folder, made once for all files of that folder.
    const QString& folderText(const FileNode& file)
    {
        if (!file.folder().isSameLevel(lastFolder_)) {
            lastFolder_ = file.folder();
            lastFolderText_ = lastFolder_.text();
        }
        return lastFolderText_;
    }
    void writeField(const QString& key, const QString& value)
    {
        if (asElements_)
            writer_->writeTextElement(key, value);
        else
            writer_->writeAttribute(key, value);
    }

    bool failed() const { return target_->failed(); }

    // Inside a section the percentage rises from the section's start by the
    // share of its nodes written so far, at least once per hundredth of the
    // section, so that a large tree's progress moves in small steps.
    void startSection(qreal start, qint64 nodes);
    void nodeWritten()
    {
        if (++written_ >= nextUpdate_)
            raiseProgress();
    }
    void raiseProgress();

    const XmlExporterSettings settings_;
    const ExportClock clock_;
    const Names names_;
    // Set for the length of one export. The writer fills the target's text
    // buffer, which goes to the file in large UTF-8 pieces.
    exporting::TargetFile* target_ = nullptr;
    exporting::XmlTextWriter* writer_ = nullptr;
    exporting::TimeFormatter times_;
    exporting::SizeTexts sizes_;
    bool asElements_ = false;
    FolderPath lastFolder_;
    QString lastFolderText_;
    qreal sectionStart_ = 0.0;
    qint64 sectionNodes_ = 0;
    qint64 written_ = 0;
    qint64 updateStep_ = 1;
    qint64 nextUpdate_ = 1;
};

// Each of the four section slots is a quarter of the export.
const qreal SectionShare = 25.0;

// The nodes a section passes, as the walk counts them (every folder it
// enters and every file it writes), from the root's totals.
qint64 sectionNodes(const DirectoryNode& root, XmlExportMode mode)
{
    const qint64 folders = 1 + qint64(root.totalSubdirectoryCount());
    switch (mode) {
    case Tree:
    case FileList:
        return folders + root.totalFileCount();
    case DirectoryList:
        return folders;
    case TopLevelItemList:
    default:
        return 1 + qint64(root.fileCount()) + root.subdirectoryCount();
    }
}

void XmlExporter::writeDocument(exporting::TargetFile& target, const DirectoryNode& root)
{
    exporting::XmlTextWriter writer(target.buffer(), settings_.autoFormattingIndent);
    target_ = &target;
    writer_ = &writer;
    done = 0;
    total = 0;
    writeContent(root);
    target_ = nullptr;
    writer_ = nullptr;
}

bool XmlExporter::writeContent(const DirectoryNode& root)
{
    writer_->writeStartDocument();
    writer_->writeComment(generatorText());
    writer_->writeStartElement(names_.korvo);
    writer_->writeTextElement(names_.version, versionText());
    writer_->writeTextElement(names_.date, exporting::formatTime(clock_ ? clock_() : QDateTime::currentDateTime()));
    writer_->writeTextElement(names_.root, (root.absoluteFilePath()));
    writer_->writeTextElement(names_.files, QString::number(root.totalFileCount()));
    writer_->writeTextElement(names_.directories, QString::number(root.totalSubdirectoryCount()));
    writer_->writeTextElement(names_.size, formatSize(root.totalSize()));
    writer_->writeTextElement(names_.sizeOnDisk, formatSize(root.totalSizeOnDisk()));

    qreal progress = 0.0;
    for (const XmlExportMode mode : {TopLevelItemList, Tree, DirectoryList, FileList}) {
        if (settings_.output[mode]) {
            startSection(progress, sectionNodes(root, mode));
            writer_->writeStartElement(modeElementName(mode));
            if (!writeSection(root, mode, settings_.options[mode]))
                return false;
            writer_->writeEndElement();
        }
        progress += SectionShare;
        setProgress(progress);
    }
    writer_->writeEndElement();
    writer_->writeEndDocument();
    return !failed();
}

void XmlExporter::startSection(qreal start, qint64 nodes)
{
    sectionStart_ = start;
    sectionNodes_ = nodes;
    written_ = 0;
    updateStep_ = qMax<qint64>(1, nodes / 100);
    nextUpdate_ = updateStep_;
}

void XmlExporter::raiseProgress()
{
    // A tree whose totals are short of its nodes stops at the section's end.
    const qreal share = sectionNodes_ > 0 ? qMin(1.0, qreal(written_) / sectionNodes_) : 1.0;
    setProgress(sectionStart_ + SectionShare * share);
    nextUpdate_ = written_ + updateStep_;
}

void XmlExporter::writeFileNode(const FileNode& file, XmlOutputOptions options)
{
    writer_->writeStartElement(names_.file);
    writeField(names_.name, (file.fileName()));
    if (!options.testFlag(OmitFilePath))
        writeField(names_.path, folderText(file));
    if (!options.testFlag(OmitFileSuffix))
        writeField(names_.suffix, (file.suffix()));
    if (!options.testFlag(OmitFileSize))
        writeField(names_.size, sizes_.text(file.size()));
    if (!options.testFlag(OmitFileSizeOnDisk))
        writeField(names_.sizeOnDisk, sizes_.text(file.sizeOnDisk()));
    const NodeTimes& times = file.times();
    if (!options.testFlag(OmitFileCreated))
        writeField(names_.created, times_.format(times.created));
    if (!options.testFlag(OmitFileLastModified))
        writeField(names_.lastModified, times_.format(times.lastModified));
    if (!options.testFlag(OmitFileLastRead))
        writeField(names_.lastRead, times_.format(times.lastRead));
    writer_->writeEndElement();
    target_->flushIfFull();
    nodeWritten();
}

void XmlExporter::writeFiles(const DirectoryNode& directory, XmlOutputOptions options)
{
    for (const auto& file : directory.files())
        writeFileNode(*file, options);
}

void XmlExporter::writeDirectoryFields(const DirectoryNode& directory, XmlOutputOptions options)
{
    writeField(names_.name, (directory.fileName()));
    if (!options.testFlag(OmitDirPath))
        writeField(names_.path, (directory.absolutePath()));
    if (!options.testFlag(OmitDirSize))
        writeField(names_.size, sizes_.text(directory.size()));
    if (!options.testFlag(OmitDirSizeOnDisk))
        writeField(names_.sizeOnDisk, sizes_.text(directory.sizeOnDisk()));
    if (!options.testFlag(OmitDirTotalSize))
        writeField(names_.totalSize, sizes_.text(directory.totalSize()));
    if (!options.testFlag(OmitDirTotalSizeOnDisk))
        writeField(names_.totalSizeOnDisk, sizes_.text(directory.totalSizeOnDisk()));
    if (!options.testFlag(OmitDirFileCount))
        writeField(names_.fileCount, QString::number(directory.fileCount()));
    if (!options.testFlag(OmitDirSubdirCount))
        writeField(names_.subdirectoryCount, QString::number(directory.subdirectoryCount()));
    if (!options.testFlag(OmitDirTotalFileCount))
        writeField(names_.totalFileCount, QString::number(directory.totalFileCount()));
    if (!options.testFlag(OmitDirTotalSubdirCount))
        writeField(names_.totalSubdirectoryCount, QString::number(directory.totalSubdirectoryCount()));
    const NodeTimes& times = directory.times();
    if (!options.testFlag(OmitDirCreated))
        writeField(names_.created, times_.format(times.created));
    if (!options.testFlag(OmitDirLastModified))
        writeField(names_.lastModified, times_.format(times.lastModified));
    if (!options.testFlag(OmitDirLastRead))
        writeField(names_.lastRead, times_.format(times.lastRead));
}

// One section: the tree below `root` in one mode, depth first, each folder's
// own part written when it is reached and its closing part when its last
// subfolder is done. An explicit stack instead of recursion keeps the
// thread's stack flat however deep the tree is.
//   Tree:             <directory fields><files>file...</files> subfolders </directory>
//   DirectoryList:    <directory fields> subfolders </directory>
//   FileList:         file... subfolders (no folder elements)
//   TopLevelItemList: for a root its files, then its subfolders; a folder one
//                     level down is one element without children; deeper
//                     folders write nothing.
bool XmlExporter::writeSection(const DirectoryNode& root, XmlExportMode mode, XmlOutputOptions options)
{
    asElements_ = (options & AsElements) == AsElements;

    // Writes a folder's opening part; true when its subfolders are to follow.
    auto open = [&](const DirectoryNode& directory) {
        nodeWritten();
        switch (mode) {
        case Tree:
            writer_->writeStartElement(names_.directory);
            writeDirectoryFields(directory, options);
            writer_->writeStartElement(names_.files);
            writeFiles(directory, options);
            writer_->writeEndElement();
            return true;
        case DirectoryList:
            writer_->writeStartElement(names_.directory);
            writeDirectoryFields(directory, options);
            return true;
        case FileList:
            writeFiles(directory, options);
            return true;
        case TopLevelItemList:
        default:
            if (directory.isRoot()) {
                writeFiles(directory, options);
                return true;
            }
            if (directory.depth() == 1) {
                writer_->writeStartElement(names_.directory);
                writeDirectoryFields(directory, options);
                writer_->writeEndElement();
            }
            return false;
        }
    };
    auto close = [&] {
        if (mode == Tree || mode == DirectoryList)
            writer_->writeEndElement();
    };

    struct Frame
    {
        const DirectoryNode* node;
        int next;
    };
    QVector<Frame> stack;
    if (open(root))
        stack.append(Frame{&root, 0});
    while (!stack.isEmpty()) {
        target_->flushIfFull();
        if (failed())
            return false;
        Frame& top = stack.last();
        if (top.next < top.node->subdirectoryCount()) {
            const DirectoryNodePtr child = top.node->subdirectory(top.next++);
            if (open(*child))
                stack.append(Frame{child.data(), 0});
        } else {
            close();
            stack.removeLast();
        }
    }
    return !failed();
}

} // namespace

ExporterPtr createXmlExporter(const XmlExporterSettings& settings, const ExportClock& clock)
{
    return ExporterPtr(new XmlExporter(settings, clock));
}

} // namespace korvo
