#include "Packer.h"

#include "CaseTwins.h"
#include "FewestPackages.h"
#include "LowerBound.h"
#include "NameCase.h"
#include "PackingStrategies.h"

#include <algorithm>

namespace korvo::Packer {

namespace {

// The items to pack, as candidates: the root's own items that fit an empty
// package, in listed order (files, then folders); with `split`, a folder
// that does not fit gives way to its own files and subfolders, again and
// again, in the same order. What fits nowhere goes to `leftOut` when given.
class Candidates
{
public:
    Candidates(qint64 limit, const PackMeasure& measure, SplitFolders split, QList<PackagablePtr>* leftOut)
        : limit_(limit), measure_(measure), split_(split == SplitFolders::Yes), leftOut_(leftOut)
    {
    }

    std::vector<packing::Candidate> of(const DirectoryNode& root)
    {
        candidates_.reserve(size_t(root.files().size()) + size_t(root.subdirectories().size()));
        takeEntriesOf(root);
        // A folder's entries go before the rest of the folder that held it.
        while (!pending_.empty()) {
            const DirectoryNode* folder = pending_.back();
            pending_.pop_back();
            takeEntriesOf(*folder);
        }
        return std::move(candidates_);
    }
    QVector<PackagablePtr> pieces() const { return pieces_; }

private:
    void takeEntriesOf(const DirectoryNode& folder)
    {
        const QVector<FileNodePtr>& files = folder.files();
        const QVector<DirectoryNodePtr>& folders = folder.subdirectories();
        const size_t split = pending_.size();
        for (const FileNodePtr& file : files)
            weigh(file);
        for (const DirectoryNodePtr& sub : folders)
            weigh(sub);
        // Pushed as found, taken from the back: the first split first.
        std::reverse(pending_.begin() + qint64(split), pending_.end());
    }

    void weigh(const PackagablePtr& item)
    {
        if (!item) {
            position_ += split_ ? 0 : 1;
            return;
        }
        const qint64 sizeOnDisk = item->totalSizeOnDisk();
        const qint64 weight = measure_.weight ? measure_.weight(*item) : sizeOnDisk;
        if (weight <= limit_) {
            candidates_.push_back({position_++, item->totalSize(), sizeOnDisk, weight});
            if (split_)
                pieces_.append(item);
            return;
        }
        const auto* folder = dynamic_cast<const DirectoryNode*>(item.data());
        if (split_ && folder)
            pending_.push_back(folder);
        else if (leftOut_)
            leftOut_->append(item);
        if (!split_)
            ++position_; // without a split, a position is the root's listing position
    }

    qint64 limit_;
    const PackMeasure& measure_;
    bool split_;
    QList<PackagablePtr>* leftOut_;
    int position_ = 0;
    std::vector<packing::Candidate> candidates_;
    std::vector<const DirectoryNode*> pending_;
    QVector<PackagablePtr> pieces_;
};

} // namespace

void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut, const PackMeasure& measure, SplitFolders split)
{
    pack(packageOrder, sort, root, packages, leftOut, measure, platform::namesIgnoreCase(), split);
}

void pack(const PackageOrder& packageOrder, int sort, const DirectoryNodePtr& root, QList<PackagePtr>& packages,
          QList<PackagablePtr>* leftOut, const PackMeasure& measure, bool namesIgnoreCase, SplitFolders split)
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
    Candidates found(limit, measure, split, leftOut);
    std::vector<Candidate> candidates = found.of(*root);

    const Sources sources = split == SplitFolders::Yes ? Sources(*root, found.pieces()) : Sources(*root);
    PackageBuilder builder(packageOrder, measure.fixed, root->path(), packages);
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

int lowerBound(const PackageOrder& packageOrder, const DirectoryNodePtr& root, const PackMeasure& measure,
               SplitFolders split)
{
    const qint64 limit = packageOrder.size - measure.fixed;
    if (!root || limit < 0)
        return 0;
    std::vector<qint64> weights;
    for (const packing::Candidate& candidate : Candidates(limit, measure, split, nullptr).of(*root))
        weights.push_back(candidate.weight);
    return packing::lowerBound(std::move(weights), limit);
}

} // namespace korvo::Packer
