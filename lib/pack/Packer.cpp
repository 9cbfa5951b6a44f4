#include "Packer.h"

#include "CaseTwins.h"
#include "FewestPackages.h"
#include "LowerBound.h"
#include "NameCase.h"
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

// The root's items that fit an empty package, as candidates in listed
// order (files, then folders); the others go to `leftOut` when given.
std::vector<packing::Candidate> candidatesOf(const DirectoryNode& root, qint64 limit, const PackMeasure& measure,
                                             QList<PackagablePtr>* leftOut)
{
    const QVector<FileNodePtr>& files = root.files();
    const QVector<DirectoryNodePtr>& folders = root.subdirectories();
    std::vector<packing::Candidate> candidates;
    candidates.reserve(size_t(files.size()) + size_t(folders.size()));
    for (int i = 0; i < files.size(); ++i) {
        if (files.at(i))
            weigh(files.at(i), i, limit, measure, candidates, leftOut);
    }
    for (int i = 0; i < folders.size(); ++i) {
        if (folders.at(i))
            weigh(folders.at(i), files.size() + i, limit, measure, candidates, leftOut);
    }
    return candidates;
}

} // namespace

void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut, const PackMeasure& measure)
{
    pack(packageOrder, sort, root, packages, leftOut, measure, platform::namesIgnoreCase());
}

void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut, const PackMeasure& measure, bool namesIgnoreCase)
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
    std::vector<Candidate> candidates = candidatesOf(*root, limit, measure, leftOut);

    const Sources sources(*root);
    PackageBuilder builder(packageOrder, measure.fixed, packages);
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
    // Names that differ only in case would meet in one package folder.
    if (namesIgnoreCase)
        separateCaseTwins(packages, packageOrder.size, measure);
}

int lowerBound(const PackageOrder& packageOrder, const DirectoryNodePtr& root, const PackMeasure& measure)
{
    const qint64 limit = packageOrder.size - measure.fixed;
    if (!root || limit < 0)
        return 0;
    std::vector<qint64> weights;
    for (const packing::Candidate& candidate : candidatesOf(*root, limit, measure, nullptr))
        weights.push_back(candidate.weight);
    return packing::lowerBound(std::move(weights), limit);
}

} // namespace korvo::Packer
