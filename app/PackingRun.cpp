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
    Packager packager;
    lowerBound = packager.lowerBound(order, root_, image);
    packager.pack(order, sort_, root_, packages, &leftOut, image);
}

} // namespace korvo
