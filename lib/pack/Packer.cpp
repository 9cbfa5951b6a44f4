#include "Packer.h"

#include "PackingStrategies.h"

namespace korvo::Packer {

namespace {

// Takes the item as a candidate when it fits an empty package, else leaves
// it out.
void weigh(const PackagablePtr& item, int source, qint64 limit, const PackMeasure& measure,
           std::vector<packing::Candidate>& candidates, QList<PackagablePtr>* leftOut)
{
    const qint64 sizeOnDisk = item->totalSizeOnDisk();
    const qint64 weight = measure.weight ? measure.weight(*item) : sizeOnDisk;
    if (weight <= limit)
        candidates.push_back({source, item->totalSize(), sizeOnDisk, weight});
    else if (leftOut)
        leftOut->append(item);
}

} // namespace

void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut, const PackMeasure& measure)
{
    using namespace packing;
    packages.clear();
    if (leftOut)
        leftOut->clear();
    if (!root)
        return;

    // What the items may weigh together: the limit less every package's
    // fixed part (below 0 when even that does not fit: nothing does then).
    const qint64 limit = packageOrder.size - measure.fixed;
    const QVector<FileNodePtr>& files = root->files();
    const QVector<DirectoryNodePtr>& folders = root->subdirectories();
    std::vector<Candidate> candidates;
    candidates.reserve(size_t(files.size()) + size_t(folders.size()));
    for (int i = 0; i < files.size(); ++i) {
        if (files.at(i))
            weigh(files.at(i), i, limit, measure, candidates, leftOut);
    }
    for (int i = 0; i < folders.size(); ++i) {
        if (folders.at(i))
            weigh(folders.at(i), files.size() + i, limit, measure, candidates, leftOut);
    }

    const Sources sources(*root);
    PackageBuilder builder(packageOrder, measure.fixed, packages);
    if (sort == Assorted) {
        placeBestFit(candidates, sources, limit, builder);
    } else {
        sortCandidates(candidates, sources, sort);
        placeNextFit(candidates, sources, limit, builder);
    }
    if (!builder.isEmpty())
        builder.close();
}

} // namespace korvo::Packer
