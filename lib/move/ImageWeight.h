#pragma once

#include "ImageFormat.h"
#include "FolderPath.h"
#include "ImageSpace.h"
#include "Packer.h"
#include "iPackagable.h"

namespace korvo {

// Packing for images: each top-level item weighs what it will take in its
// package's image (ImageSpace), measured from the scanned tree in memory.
namespace ImageWeight {

// The packer's measure for packages that become images of `format`, with
// the package's manifest inside; None packs by size on disk. Items lie at
// their paths below `scannedFolder` (at the image's root when it is null).
// It remembers each item's weight, so it serves one tree on one thread at a
// time.
PackMeasure measure(ImageFormat format, const FolderPath& scannedFolder = FolderPath());

// What `item` (a file, or a folder with everything below it) takes in an
// image, at its path below `scannedFolder` (at the root when that is null or
// the item lies in it).
qint64 share(const ImageSpace& space, const iPackagable& item, const FolderPath& scannedFolder = FolderPath());

} // namespace ImageWeight
} // namespace korvo
