// Times the two exporters alone on a tree built in memory, without the scan:
//   bench_export [FILES] [FOLDERS] [OUTPUT-FOLDER]
// FILES (default 1,000,000) spread over FOLDERS (default 50,000) nested up to
// eight levels; the outputs go to OUTPUT-FOLDER (default: a temporary folder,
// removed afterwards). Prints wall-clock and CPU seconds and bytes for the
// text tree and for the XML document with all four sections and every field;
// the CPU figure is the one to trust on a busy machine.

#include "DirectoryNode.h"
#include "Exporter.h"
#include "FileNode.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVector>

#include <ctime>

using namespace korvo;

namespace {

DirectoryNodePtr buildTree(int fileCount, int folderCount)
{
    QRandomGenerator random(20261207);
    const QStringList syllables = QStringLiteral("ka Ro mi TE su no ha Ni to ya re Wa").split(QLatin1Char(' '));
    const QStringList suffixes = QStringLiteral("txt jpg PNG mp3 docx xml dat  tar.gz c h json").split(QLatin1Char(' '));
    auto name = [&](int index) {
        QString text;
        for (int i = random.bounded(1, 5); i > 0; --i)
            text += syllables.at(random.bounded(syllables.size()));
        return text + QLatin1Char('_') + QString::number(index);
    };
    NodeTimes times;
    const qint64 base = QDateTime(QDate(2024, 3, 1), QTime(8, 0)).toMSecsSinceEpoch();

    QVector<DirectoryNodePtr> folders;
    folders.append(DirectoryNodePtr::create(DirectoryNodePtr(), QStringLiteral("/bench"), QStringLiteral("tree"), times));
    QVector<int> open{0};
    for (int i = 1; i <= folderCount; ++i) {
        const DirectoryNodePtr parent = folders.at(open.at(random.bounded(open.size())));
        times.created = times.lastModified = times.lastRead = base + random.bounded(1 << 30) * qint64(1000);
        const auto folder = DirectoryNodePtr::create(parent, parent->absoluteFilePath(), name(i), times);
        parent->appendSubdirectory(folder);
        folders.append(folder);
        if (folder->depth() < 8)
            open.append(i);
    }
    for (int j = 0; j < fileCount; ++j) {
        const DirectoryNodePtr& folder = folders.at(random.bounded(folders.size()));
        const QString suffix = suffixes.at(random.bounded(suffixes.size()));
        const qint64 size = random.bounded(1 << 24);
        times.created = times.lastModified = times.lastRead = base + random.bounded(1 << 30) * qint64(1000);
        folder->appendFile(FileNodePtr::create(folder->absoluteFilePath(),
                                               name(j) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix),
                                               size, (size + 4095) / 4096 * 4096, times));
    }
    for (int i = folders.size() - 1; i >= 0; --i) {
        const DirectoryNodePtr& folder = folders.at(i);
        qint64 size = 0, onDisk = 0;
        for (const auto& file : folder->files()) {
            size += file->size();
            onDisk += file->sizeOnDisk();
        }
        folder->setOwnSizes(size, onDisk);
        qint64 totalSize = size, totalOnDisk = onDisk;
        qint32 files = folder->fileCount(), subfolders = folder->subdirectoryCount();
        for (const auto& sub : folder->subdirectories()) {
            totalSize += sub->totalSize();
            totalOnDisk += sub->totalSizeOnDisk();
            files += sub->totalFileCount();
            subfolders += sub->totalSubdirectoryCount();
        }
        folder->setTotals(totalSize, totalOnDisk, files, subfolders);
    }
    return folders.first();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int files = arguments.size() > 1 ? arguments.at(1).toInt() : 1000000;
    const int folders = arguments.size() > 2 ? arguments.at(2).toInt() : 50000;
    QTemporaryDir temporary;
    const QString output = arguments.size() > 3 ? arguments.at(3) : temporary.path();
    QTextStream out(stdout);

    QElapsedTimer clock;
    clock.start();
    const DirectoryNodePtr root = buildTree(files, folders);
    out << "tree of " << root->totalFileCount() << " files, " << root->totalSubdirectoryCount() << " folders built in "
        << clock.elapsed() / 1000.0 << " s\n";

    XmlExporterSettings everything;
    for (int mode = 0; mode < XmlExportModeCount; ++mode) {
        everything.output[mode] = true;
        everything.options[mode] = XmlOutputOptions();
    }
    const QStringList labels{QStringLiteral("text tree"), QStringLiteral("XML, 4 sections, every field")};
    const QStringList outputs{output + QStringLiteral("/bench.txt"), output + QStringLiteral("/bench.xml")};
    for (int i = 0; i < 2; ++i) {
        const ExporterPtr exporter = i == 0 ? createTxtExporter(TxtExporterSettings()) : createXmlExporter(everything);
        QString error;
        clock.restart();
        const std::clock_t cpuStart = std::clock();
        if (!exporter->exportTo(outputs.at(i), root, &error)) {
            out << labels.at(i) << ": failed: " << error << "\n";
            return 1;
        }
        const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        out << labels.at(i) << ": " << clock.elapsed() / 1000.0 << " s (" << cpu << " s CPU), "
            << QFileInfo(outputs.at(i)).size() << " bytes\n";
        out.flush();
    }
    return 0;
}
