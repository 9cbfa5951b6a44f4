#pragma once

#include <QList>
#include <QString>

namespace korvo {

// A named package size: the most bytes on disk one package may take.
struct PackageOrder
{
    qint64 size = 0;
    QString name;

    PackageOrder() = default;
    PackageOrder(qint64 size, const QString& name) : size(size), name(name) {}

    bool operator==(const PackageOrder& other) const { return size == other.size && name == other.name; }
    bool operator!=(const PackageOrder& other) const { return !(*this == other); }
};

// The built-in orders, in the order the preset list shows them: the five
// first ones, then single- and dual-layer DVD and Blu-ray discs. The names
// are labels only: "PACK_200MB" holds 300,000,000 bytes.
const QList<PackageOrder>& builtInPackageOrders();

} // namespace korvo
