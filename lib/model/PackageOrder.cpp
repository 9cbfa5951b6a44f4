#include "PackageOrder.h"

namespace korvo {

const QList<PackageOrder>& builtInPackageOrders()
{
    static const QList<PackageOrder> orders = {
        PackageOrder(700000000, QStringLiteral("CD")),
        PackageOrder(500000000, QStringLiteral("PACK_500MB")),
        PackageOrder(400000000, QStringLiteral("PACK_400MB")),
        PackageOrder(300000000, QStringLiteral("PACK_200MB")),
        PackageOrder(200000000, QStringLiteral("PACK_100MB")),
        // Recordable discs, by the bytes each holds.
        PackageOrder(4700372992LL, QStringLiteral("DVD")),
        PackageOrder(8543666176LL, QStringLiteral("DVD_DL")),
        PackageOrder(25025314816LL, QStringLiteral("BD")),
        PackageOrder(50050629632LL, QStringLiteral("BD_DL")),
    };
    return orders;
}

} // namespace korvo
