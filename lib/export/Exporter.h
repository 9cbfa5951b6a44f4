#pragma once

#include "DirectoryNode.h"
#include "NativePath.h"

#include <QChar>
#include <QDateTime>
#include <QFlags>
#include <QSharedPointer>
#include <QString>

#include <functional>

namespace korvo {

// The export room: a tree written to a text drawing or an XML listing
// (iExporter from createTxtExporter or createXmlExporter), on the caller's
// thread or on an ExportWorker's. An exporter is made fresh for each export
// and shared by pointer; the tree is only read, and must not change while an
// export runs. Targets are written through exact paths, never through a
// link, and a failure leaves no half file behind.
//
// How an export treats its target.
enum class TargetMode {
    // An existing file of that name is replaced, and only by a complete
    // document. A FIFO or device is written directly, as it cannot be
    // replaced; so is a writable file in a folder that takes no new file.
    Replace,
    // The document goes only into a new file that the export creates. An
    // existing entry of that name (a dangling link included) fails the
    // export and stays as it was; a failed export removes the file it made.
    CreateNew
};

// Writes one tree into one file. Made fresh for every export.
struct iExporter
{
    virtual ~iExporter() = default;
    // Percent done of the running or last export, 0 to 100; safe to read
    // from another thread while the export runs.
    virtual qreal progress() const = 0;
    // Writes the tree below `root` to `path`; on failure returns false and,
    // when `errorString` is given, stores the reason there.
    virtual bool exportTo(const QString& path, const DirectoryNodePtr& root, QString* errorString) = 0;
    // The same for a target given by its exact path, in the given mode.
    virtual bool exportTo(const NativePath& target, TargetMode mode, const DirectoryNodePtr& root,
                          QString* errorString) = 0;
};

using ExporterPtr = QSharedPointer<iExporter>;

// The drawing characters of the text tree.
struct TxtExporterSettings
{
    qint32 indentSize = 4;
    QChar directoryLineChar = QLatin1Char('=');
    QChar directoryGroupChar = QLatin1Char('|');
    QChar directoryBeginChar = QLatin1Char('[');
    QChar directoryEndChar = QLatin1Char(']');
    QChar fileLineChar = QLatin1Char('_');
    QChar fileBeginChar = QLatin1Char('(');
    QChar fileEndChar = QLatin1Char(')');
};

// The four sections of the XML document; the value indexes the per-mode
// arrays of XmlExporterSettings.
enum XmlExportMode {
    Tree = 0,
    DirectoryList = 1,
    FileList = 2,
    TopLevelItemList = 3,
    XmlExportModeCount = 4
};

// "tree", "directoryList", "fileList", "topLevelItemList"; empty otherwise.
QString modeElementName(int mode);

// A set bit omits the field it names; AsElements writes fields as child
// elements instead of attributes.
enum XmlOutputOption : quint32 {
    AsElements = 0x1,
    OmitFileSize = 0x400,
    OmitFileSizeOnDisk = 0x800,
    OmitFileCreated = 0x1000,
    OmitFileLastModified = 0x2000,
    OmitFileLastRead = 0x4000,
    OmitFilePath = 0x8000,
    OmitFileSuffix = 0x10000,
    OmitDirSize = 0x100000,
    OmitDirSizeOnDisk = 0x200000,
    OmitDirCreated = 0x400000,
    OmitDirLastModified = 0x800000,
    OmitDirLastRead = 0x1000000,
    OmitDirPath = 0x2000000,
    OmitDirTotalSize = 0x4000000,
    OmitDirTotalSizeOnDisk = 0x8000000,
    OmitDirTotalFileCount = 0x10000000,
    OmitDirTotalSubdirCount = 0x20000000,
    OmitDirFileCount = 0x40000000,
    OmitDirSubdirCount = 0x80000000
};
Q_DECLARE_FLAGS(XmlOutputOptions, XmlOutputOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(XmlOutputOptions)

// Which sections the XML document holds and what each writes.
struct XmlExporterSettings
{
    qint32 autoFormattingIndent = 2;
    bool output[XmlExportModeCount] = {true, false, true, true};
    XmlOutputOptions options[XmlExportModeCount] = {
        XmlOutputOptions(0x0), XmlOutputOptions(0xFDF1FC00), XmlOutputOptions(0xFFF07C00),
        XmlOutputOptions(0xFFC0F000)};
};

// The record the XML exports of the window (and of korvo-cli export) start
// from: the top-level item list only, each field as the record has it.
XmlExporterSettings defaultXmlSettings();

// Where the date line of a document comes from; an empty clock stands for the
// current local time. Tests pass a fixed one.
using ExportClock = std::function<QDateTime()>;

// Each factory copies the record: later changes do not reach an exporter
// already made.
ExporterPtr createTxtExporter(const TxtExporterSettings& settings, const ExportClock& clock = ExportClock());
ExporterPtr createXmlExporter(const XmlExporterSettings& settings, const ExportClock& clock = ExportClock());

// Hands each new percentage of the exporter's exports to `observer`, on the
// thread that exports, for a caller that shows how far it is as it goes.
void observeProgress(const ExporterPtr& exporter, const std::function<void(qreal)>& observer);

} // namespace korvo
