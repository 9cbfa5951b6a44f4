#include "PackingRun.h"

#include "Packager.h"

namespace korvo {

PackingRun::PackingRun(const PackageOrder& order, int sort, const DirectoryNodePtr& root, ImageFormat image,
                       QObject* parent)
    : QThread(parent), order(order), image(image), sort_(sort), root_(root)
{
}

void PackingRun::run()
{
    Packager().pack(order, sort_, root_, packages, &leftOut, image, &lowerBound);
}

} // namespace korvo
