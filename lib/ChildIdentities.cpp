#include "ChildIdentities.h"

#include "DirectoryNode.h"
#include "Platform.h"

#include <algorithm>
#include <memory>

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

void recordChildIdentities(DirectoryNode& folder)
{
    std::vector<std::pair<const iPackagable*, FileIdentity>> identities;
    identities.reserve(size_t(folder.fileCount()) + size_t(folder.subdirectoryCount()));
    auto record = [&identities](const iPackagable& entry) {
        FileIdentity identity;
        if (platform::identityOf(entry.nativeFilePath(), &identity, nullptr, nullptr, nullptr))
            identities.emplace_back(&entry, identity);
    };
    for (const FileNodePtr& file : folder.files())
        record(*file);
    for (const DirectoryNodePtr& subfolder : folder.subdirectories())
        record(*subfolder);
    folder.setChildIdentities(std::make_unique<const ChildIdentities>(std::move(identities)));
}

} // namespace korvo
