#pragma once

#include "PackingStrategies.h"

#include <functional>
#include <vector>

// The fewest packages: a search for a packing of fewer packages than best
// fit gives. Used by Packer for the sort mode Fewest.
namespace korvo::packing {

// How long the search may run, and how it learns that it should stop early.
struct SearchLimits
{
    qint64 milliseconds = 10000;
    std::function<bool()> stopRequested; // asked every few thousand steps; empty: never
};

// A packing of items into numbered bins: bin[i] is the bin (from 0) of item i.
struct BinPacking
{
    std::vector<int> bin;
    int binCount = 0;
    bool proven = false; // no packing has fewer bins
};

// The packing of `sizes` (each at most `limit`) into the fewest bins found
// within the limits: `seed`, a valid packing, unless the search finds one
// with fewer bins. The search completes bins one at a time, each around the
// largest item left, and prunes by a lower bound and the room it may waste.
BinPacking fewestBins(const std::vector<qint64>& sizes, qint64 limit, const BinPacking& seed,
                      const SearchLimits& limits);

// Places the candidates into the fewest packages found: best fit's packing
// unless the search finds one of fewer packages, whose packages then hold
// their items in listed order and follow the order of their first items.
// The search stops after the default time, or early when the thread it runs
// on is asked to (QThread::requestInterruption), keeping the best found.
void placeFewest(const std::vector<Candidate>& candidates, const Sources& sources, qint64 limit,
                 PackageBuilder& builder);

} // namespace korvo::packing
