#include "ImageWeight.h"

#include "DirectoryNode.h"
#include "FileNode.h"
#include "SaturatingSum.h"

#include <QHash>
#include <QSharedPointer>
#include <QVector>

#include <utility>

namespace korvo::ImageWeight {

PackMeasure measure(ImageFormat format)
{
    PackMeasure measure;
    if (format == ImageFormat::None)
        return measure;
    const ImageSpace space(format, true);
    measure.fixed = space.fixedPart();
    // A folder's share walks everything below it: each item is weighed once
    // however often the packer, its lower bound or the case check ask.
    auto weighed = QSharedPointer<QHash<const iPackagable*, qint64>>::create();
    measure.weight = [space, weighed](const iPackagable& item) {
        auto known = weighed->constFind(&item);
        if (known != weighed->constEnd())
            return *known;
        const qint64 weight = share(space, item);
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

qint64 share(const ImageSpace& space, const iPackagable& item)
{
    const QByteArray name = item.nativeFileName().storedBytes();
    if (const auto* folder = dynamic_cast<const DirectoryNode*>(&item))
        return addSaturating(space.rootEntry({name, true, 0}), folderShare(space, *folder, name));
    const qint64 size = item.totalSize();
    return addSaturating(space.rootEntry({name, false, size}), space.fileContent(name, size));
}

} // namespace korvo::ImageWeight
