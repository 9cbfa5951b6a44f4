#pragma once

#include "FileIdentity.h"

#include <utility>
#include <vector>

namespace korvo {

class iPackagable;

// The identities a folder's own entries had when the scan listed them, so
// that a move can tell the scanned item from another entry put in its place
// since. The scan records them for a root's entries only, as its listing
// reads them: those are what packages hold, and the tree's memory stays as
// it is. An entry without one is moved unchecked.
class ChildIdentities
{
public:
    // Pairs of an entry's node and its identity, in any order.
    explicit ChildIdentities(std::vector<std::pair<const iPackagable*, FileIdentity>> identities);

    // The identity recorded for the node; false when none was.
    bool find(const iPackagable* node, FileIdentity* identity) const;

private:
    std::vector<std::pair<const iPackagable*, FileIdentity>> identities_; // sorted by node
};

} // namespace korvo
