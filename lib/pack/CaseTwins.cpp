#include "CaseTwins.h"

#include "NameCase.h"
#include "SaturatingSum.h"

#include <QSet>

namespace korvo::packing {

namespace {

// The whole path: a piece of a split folder meets only the pieces of its
// own folder in the package.
QString keyOf(const PackagablePtr& item)
{
    return platform::caseFoldedName(item->absoluteFilePath());
}

bool holdsKey(const Package& package, const QString& key)
{
    for (const PackagablePtr& item : package.items) {
        if (keyOf(item) == key)
            return true;
    }
    return false;
}

qint64 weightOf(const PackagablePtr& item, const PackMeasure& measure)
{
    return measure.weight ? measure.weight(*item) : item->totalSizeOnDisk();
}

void add(Package& package, const PackagablePtr& item, qint64 weight)
{
    package.items.append(item);
    package.size = addSaturating(package.size, item->totalSize());
    package.sizeOnDisk = addSaturating(package.sizeOnDisk, item->totalSizeOnDisk());
    package.weight = addSaturating(package.weight, weight);
}

// Puts a twin taken out of package `from` where it fits without a twin.
void place(QList<PackagePtr>& packages, int from, const PackagablePtr& item, qint64 limit, const PackMeasure& measure)
{
    const QString key = keyOf(item);
    const qint64 weight = weightOf(item, measure);
    for (int i = 0; i < packages.size(); ++i) {
        Package& package = *packages.at(i);
        if (i != from && package.weight <= limit - weight && !holdsKey(package, key)) {
            add(package, item, weight);
            return;
        }
    }
    PackagePtr package(new Package);
    package->packageOrder = packages.at(from)->packageOrder;
    package->weight = measure.fixed;
    add(*package, item, weight);
    packages.append(package);
}

} // namespace

void separateCaseTwins(QList<PackagePtr>& packages, qint64 limit, const PackMeasure& measure)
{
    // Packages made at the end are looked at in turn as well.
    for (int i = 0; i < packages.size(); ++i) {
        Package& package = *packages.at(i);
        QSet<QString> seen;
        QList<PackagablePtr> twins;
        for (int j = 0; j < package.items.size();) {
            const PackagablePtr item = package.items.at(j);
            if (!item || !seen.contains(keyOf(item))) {
                if (item)
                    seen.insert(keyOf(item));
                ++j;
                continue;
            }
            package.items.removeAt(j);
            package.size -= item->totalSize();
            package.sizeOnDisk -= item->totalSizeOnDisk();
            package.weight -= weightOf(item, measure);
            twins.append(item);
        }
        for (const PackagablePtr& twin : qAsConst(twins))
            place(packages, i, twin, limit, measure);
    }
}

} // namespace korvo::packing
