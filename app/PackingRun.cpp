#include "PackingRun.h"

#include "Packager.h"

namespace korvo {

PackingRun::PackingRun(const PackageOrder& order, int sort, const DirectoryNodePtr& root, ImageFormat image,
                       SplitFolders split, QObject* parent)
    : QThread(parent), order(order), image(image), split(split), sort_(sort), root_(root)
{
}

void PackingRun::run()
{
    Packager().pack(order, sort_, root_, packages, &leftOut, image, &lowerBound, split);
}

} // namespace korvo
