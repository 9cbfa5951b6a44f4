#pragma once

#include "DirectoryNode.h"
#include "NativePath.h"
#include "Package.h"

namespace korvo {

// A root node describing a package in its new folder (given by its exact
// path), for its XML listing: the package's items as its children, with the
// package's totals.
DirectoryNodePtr makePackageNode(const NativePath& targetFolder, const PackagePtr& package);

} // namespace korvo
