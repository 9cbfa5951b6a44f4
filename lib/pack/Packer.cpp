#include "Packer.h"

#include "FewestPackages.h"
#include "PackingStrategies.h"

namespace korvo::Packer {

void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages)
{
    using namespace packing;
    packages.clear();
    if (!root)
        return;

    const qint64 limit = packageOrder.size;
    const QVector<FileNodePtr>& files = root->files();
    const QVector<DirectoryNodePtr>& folders = root->subdirectories();
    std::vector<Candidate> candidates;
    candidates.reserve(size_t(files.size()) + size_t(folders.size()));
    for (int i = 0; i < files.size(); ++i) {
        const FileNode* file = files.at(i).data();
        if (file && file->sizeOnDisk() <= limit)
            candidates.push_back({i, file->size(), file->sizeOnDisk()});
    }
    for (int i = 0; i < folders.size(); ++i) {
        const DirectoryNode* folder = folders.at(i).data();
        if (folder && folder->totalSizeOnDisk() <= limit)
            candidates.push_back({files.size() + i, folder->totalSize(), folder->totalSizeOnDisk()});
    }

    const Sources sources(*root);
    PackageBuilder builder(packageOrder, packages);
    if (sort == Assorted) {
        placeBestFit(candidates, sources, limit, builder);
    } else if (sort == Fewest) {
        placeFewest(candidates, sources, limit, builder);
    } else {
        sortCandidates(candidates, sources, sort);
        placeNextFit(candidates, sources, limit, builder);
    }
    if (!builder.isEmpty())
        builder.close();
}

} // namespace korvo::Packer
