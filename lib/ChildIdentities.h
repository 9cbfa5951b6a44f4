#pragma once

#include "FileIdentity.h"

#include <utility>
#include <vector>

namespace korvo {

class DirectoryNode;
class iPackagable;

// The identities a folder's own entries had when the scan listed them, so
// that a move can tell the scanned item from another entry put in its place
// since. Kept for a root's entries only: those are what packages hold, and
// the tree's memory stays as it is.
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

// Records the identity of each of the folder's own files and subfolders, as
// they are on disk now, with the folder. An entry that cannot be read gets
// none (and is then moved unchecked).
void recordChildIdentities(DirectoryNode& folder);

} // namespace korvo
