#include "ChildIdentities.h"

#include <algorithm>

namespace korvo {

namespace {

bool nodeLess(const std::pair<const iPackagable*, FileIdentity>& a,
              const std::pair<const iPackagable*, FileIdentity>& b)
{
    return std::less<const iPackagable*>()(a.first, b.first);
}

} // namespace

ChildIdentities::ChildIdentities(std::vector<std::pair<const iPackagable*, FileIdentity>> identities)
    : identities_(std::move(identities))
{
    // Nodes made one after the other often lie in rising addresses already.
    if (!std::is_sorted(identities_.begin(), identities_.end(), nodeLess))
        std::sort(identities_.begin(), identities_.end(), nodeLess);
}

bool ChildIdentities::find(const iPackagable* node, FileIdentity* identity) const
{
    const auto found = std::lower_bound(identities_.begin(), identities_.end(), std::make_pair(node, FileIdentity()),
                                        nodeLess);
    if (found == identities_.end() || found->first != node)
        return false;
    *identity = found->second;
    return true;
}

} // namespace korvo
