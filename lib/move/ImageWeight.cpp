#include "ImageWeight.h"

#include "DirectoryNode.h"
#include "FileNode.h"
#include "RelativePath.h"
#include "SaturatingSum.h"

#include <QHash>
#include <QSharedPointer>
#include <QVector>

#include <utility>

namespace korvo::ImageWeight {

PackMeasure measure(ImageFormat format, const FolderPath& scannedFolder)
{
    PackMeasure measure;
    if (format == ImageFormat::None)
        return measure;
    const ImageSpace space(format, true);
    measure.fixed = space.fixedPart();
    // A folder's share walks everything below it: each item is weighed once
    // however often the packer, its lower bound or the case check ask.
    auto weighed = QSharedPointer<QHash<const iPackagable*, qint64>>::create();
    measure.weight = [space, weighed, scannedFolder](const iPackagable& item) {
        auto known = weighed->constFind(&item);
        if (known != weighed->constEnd())
            return *known;
        const qint64 weight = share(space, item, scannedFolder);
        weighed->insert(&item, weight);
        return weight;
    };
    return measure;
}

namespace {

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.isEmpty() ? name : folder + '/' + name;
}

// The listing of every folder below and including `top`, and the content of
// every file there; folder by folder, without recursion, so that any depth
// is measured.
qint64 folderShare(const ImageSpace& space, const DirectoryNode& top, const QByteArray& topPath)
{
    qint64 total = 0;
    QVector<std::pair<const DirectoryNode*, QByteArray>> pending{{&top, topPath}};
    QVector<ImageSpace::Entry> children;
    while (!pending.isEmpty()) {
        const auto [folder, path] = pending.takeLast();
        children.clear();
        for (const FileNodePtr& file : folder->files()) {
            const QByteArray name = file->nativeFileName().storedBytes();
            children.append({name, false, file->size()});
            total = addSaturating(total, space.fileContent(joined(path, name), file->size()));
        }
        for (const DirectoryNodePtr& sub : folder->subdirectories()) {
            const QByteArray name = sub->nativeFileName().storedBytes();
            children.append({name, true, 0});
            pending.append({sub.data(), joined(path, name)});
        }
        total = addSaturating(total, space.folderListing(path, children));
    }
    return total;
}

} // namespace

qint64 share(const ImageSpace& space, const iPackagable& item, const FolderPath& scannedFolder)
{
    const QList<NativePath> levels = RelativePath::levelsOf(scannedFolder, item);
    const auto* folder = dynamic_cast<const DirectoryNode*>(&item);
    const qint64 size = folder ? 0 : item.totalSize();
    // A piece of a split folder is in the folders of its path: it pays for
    // each one's record in the folder above and for a listing of each that
    // holds only the next level. Listings round up, so the listing of a
    // folder that several pieces share costs no more than the sum of theirs.
    QByteArray path = levels.first().storedBytes();
    qint64 total = space.rootEntry({path, levels.size() > 1 || folder, size});
    for (int i = 1; i < levels.size(); ++i) {
        const QByteArray name = levels.at(i).storedBytes();
        const bool last = i == levels.size() - 1;
        total = addSaturating(total, space.folderListing(path, {{name, !last || folder, last ? size : 0}}));
        path = joined(path, name);
    }
    if (folder)
        return addSaturating(total, folderShare(space, *folder, path));
    return addSaturating(total, space.fileContent(path, size));
}

} // namespace korvo::ImageWeight
