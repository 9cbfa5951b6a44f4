// The text tree export: a banner, a header block with the root's figures, a
// settings block naming the drawing characters, then one line per folder and
// per file, joined by connector lines. UTF-8 without a byte order mark, every
// line ending in CR LF.

#include "Exporter.h"
#include "ExporterBase.h"
#include "TargetFile.h"
#include "TimeFormatter.h"
#include "SizeFormat.h"

#include <QStringBuilder>
#include <QVector>

#include <algorithm>

namespace korvo {

namespace {

const QLatin1String LineEnd("\r\n");

class TxtExporter : public exporting::ExporterBase
{
public:
    TxtExporter(const TxtExporterSettings& settings, const ExportClock& clock)
        : settings_(settings), clock_(clock)
    {
    }

private:
    void writeDocument(exporting::TargetFile& target, const DirectoryNode& root) override;
    void writeHeader(QString& out, const DirectoryNode& root);
    bool writeDirectory(exporting::TargetFile& target, const DirectoryNode& root);
    void writeOwnLines(exporting::TargetFile& target, const DirectoryNode& directory, const QString& prefix);
    QString ancestorPrefix(const DirectoryNode& directory) const;
    QString repeated(QChar c) const { return settings_.indentSize > 0 ? QString(settings_.indentSize, c) : QString(); }
    QChar columnChar(const DirectoryNode& directory) const
    {
        return directory.isLastSubdirectory() ? QLatin1Char(' ') : settings_.directoryGroupChar;
    }

    const TxtExporterSettings settings_;
    const ExportClock clock_;
    QString blanks_;
    QString directoryLine_;
    QString fileLine_;
};

void TxtExporter::writeDocument(exporting::TargetFile& target, const DirectoryNode& root)
{
    done = 0;
    total = root.totalFileCount() + root.totalSubdirectoryCount();
    blanks_ = repeated(QLatin1Char(' '));
    directoryLine_ = repeated(settings_.directoryLineChar);
    fileLine_ = repeated(settings_.fileLineChar);

    writeHeader(target.buffer(), root);
    writeDirectory(target, root);
}

void TxtExporter::writeHeader(QString& out, const DirectoryNode& root)
{
    const QString stars(67, QLatin1Char('*'));
    const QString open = QLatin1Char('/') + stars;
    const QString close = stars + QLatin1Char('/');
    const QDateTime now = clock_ ? clock_() : QDateTime::currentDateTime();

    out += generatorText() % LineEnd;
    out += open % LineEnd;
    out += QLatin1String("Header") % LineEnd;
    out += LineEnd;
    out += QStringLiteral("Version     : %1").arg(versionText()) % LineEnd;
    out += QStringLiteral("Date        : %1").arg(exporting::formatTime(now)) % LineEnd;
    out += QStringLiteral("Root        : %1").arg(root.absoluteFilePath()) % LineEnd;
    out += QStringLiteral("Files       : %1").arg(root.totalFileCount()) % LineEnd;
    out += QStringLiteral("Directories : %1").arg(root.totalSubdirectoryCount()) % LineEnd;
    out += QStringLiteral("Size        : %1").arg(formatSize(root.totalSize())) % LineEnd;
    out += QStringLiteral("SizeOnDisk  : %1").arg(formatSize(root.totalSizeOnDisk())) % LineEnd;
    out += close % LineEnd;
    out += open % LineEnd;
    out += QLatin1String("Settings") % LineEnd;
    out += LineEnd;
    out += QStringLiteral("IndentSize         : '%1'").arg(settings_.indentSize) % LineEnd;
    out += QStringLiteral("DirectoryGroupChar : '%1'").arg(settings_.directoryGroupChar) % LineEnd;
    out += QStringLiteral("DirectoryLineChar  : '%1'").arg(settings_.directoryLineChar) % LineEnd;
    out += QStringLiteral("DirectoryBeginChar : '%1'").arg(settings_.directoryBeginChar) % LineEnd;
    out += QStringLiteral("DirectoryEndChar   : '%1'").arg(settings_.directoryEndChar) % LineEnd;
    out += QStringLiteral("FileLineChar       : '%1'").arg(settings_.fileLineChar) % LineEnd;
    out += QStringLiteral("FileBeginChar      : '%1'").arg(settings_.fileBeginChar) % LineEnd;
    out += QStringLiteral("FileEndChar        : '%1'").arg(settings_.fileEndChar) % LineEnd;
    out += close % LineEnd;
}

// The columns a folder's lines start with: one per ancestor, root first, a
// blank where that ancestor is the last subfolder of its own parent and the
// group character otherwise, each followed by the indent.
QString TxtExporter::ancestorPrefix(const DirectoryNode& directory) const
{
    QVector<QChar> columns;
    for (DirectoryNodePtr ancestor = directory.parent(); ancestor; ancestor = ancestor->parent())
        columns.append(columnChar(*ancestor));
    QString prefix;
    prefix.reserve(columns.size() * (1 + blanks_.size()));
    std::for_each(columns.crbegin(), columns.crend(), [&](QChar column) {
        prefix += column;
        prefix += blanks_;
    });
    return prefix;
}

// A folder's own lines: its connector (unless it is a root), its name, then
// its files below a connector of their own.
void TxtExporter::writeOwnLines(exporting::TargetFile& target, const DirectoryNode& directory, const QString& prefix)
{
    QString& out = target.buffer();
    const QChar group = settings_.directoryGroupChar;
    if (!directory.isRoot())
        out += prefix % group % LineEnd;
    out += prefix % group % directoryLine_ % settings_.directoryBeginChar % directory.fileName()
           % settings_.directoryEndChar % LineEnd;

    QString filePrefix = prefix % columnChar(directory) % blanks_ % group;
    const auto& files = directory.files();
    if (!files.isEmpty())
        out += filePrefix % LineEnd;
    filePrefix += fileLine_;
    for (const auto& file : files) {
        out += filePrefix % settings_.fileBeginChar % file->fileName() % settings_.fileEndChar % LineEnd;
        target.flushIfFull();
    }
    done += qint32(files.size());
}

// Draws the folder and everything below it, depth first, each folder's files
// before its subfolders. An explicit stack instead of recursion keeps the
// thread's stack flat however deep the tree is. The prefix of a subfolder is
// its parent's with one column more; a subfolder whose parent link names
// another folder (a package listing's items) gets the prefix of its own
// ancestors, as it would when drawn on its own. Stops at the first failed
// write.
bool TxtExporter::writeDirectory(exporting::TargetFile& target, const DirectoryNode& root)
{
    struct Frame
    {
        const DirectoryNode* node;
        int next;
        int prefixLength;
        bool restores;        // the prefix was not an extension of the parent's
        QString parentPrefix; // the parent's prefix, to put back afterwards
    };

    QString prefix = ancestorPrefix(root);
    writeOwnLines(target, root, prefix);
    QVector<Frame> stack;
    stack.append(Frame{&root, 0, prefix.size(), false, QString()});

    while (!stack.isEmpty()) {
        target.flushIfFull();
        if (target.failed())
            return false;
        Frame& top = stack.last();
        if (top.next < top.node->subdirectoryCount()) {
            const DirectoryNodePtr child = top.node->subdirectory(top.next++);
            prefix.truncate(top.prefixLength);
            Frame frame{child.data(), 0, 0, false, QString()};
            if (child->parent().data() == top.node) {
                prefix += columnChar(*top.node);
                prefix += blanks_;
            } else {
                frame.restores = true;
                frame.parentPrefix = prefix;
                prefix = ancestorPrefix(*child);
            }
            frame.prefixLength = prefix.size();
            writeOwnLines(target, *child, prefix);
            stack.append(frame);
        } else {
            done += top.node->subdirectoryCount();
            if (total > 0)
                setProgress(std::min(100.0, 100.0 * done / total));
            if (top.restores)
                prefix = top.parentPrefix;
            stack.removeLast();
        }
    }
    return !target.failed();
}

} // namespace

ExporterPtr createTxtExporter(const TxtExporterSettings& settings, const ExportClock& clock)
{
    return ExporterPtr(new TxtExporter(settings, clock));
}

} // namespace korvo
