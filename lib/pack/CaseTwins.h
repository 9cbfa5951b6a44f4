#pragma once

#include "Package.h"
#include "Packer.h"

#include <QList>

namespace korvo::packing {

// Keeps items whose names differ only in case (caseFoldedName) out of one
// package, for a target folder that takes such names for one: of each such
// pair in a package, the later item moves to the first other package it
// fits in (its weight by `measure` within `limit`, the order's size) that
// holds no twin of it, else to a new package at the end. Other items keep
// their packages and order.
void separateCaseTwins(QList<PackagePtr>& packages, qint64 limit, const PackMeasure& measure);

} // namespace korvo::packing
