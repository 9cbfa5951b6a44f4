#pragma once

#include "NativePath.h"

#include <QString>

namespace korvo {

// The image room: a package folder written as one ISO 9660 or ZIP file
// (PackageImage) and the check of such an image against a SHA-256 manifest
// (ImageReader), both through libarchive, streaming each file in blocks.
// A build without libarchive compiles the room all the same: available() is false there and every call fails with
// unavailableReason(). Every call is synchronous on the caller's thread.
enum class ImageFormat {
    None, // no image
    Iso,  // ISO 9660 with Joliet and Rock Ridge: N.iso
    Zip   // ZIP with UTF-8 names, zip64 where needed: N.zip
};

namespace ImageFormats {

// True when this build can write and read images.
bool available();
// Why it cannot: for the error of a refused request.
QString unavailableReason();

// The versions of libarchive and of the zlib it uses, as they run (for the
// library dialog); empty where the build has none.
QString libraryVersion();
QString zlibVersion();

// "iso" or "zip"; empty for None.
QString suffix(ImageFormat format);
// The format named "iso" or "zip" (any case); false for any other text.
bool fromName(const QString& name, ImageFormat* format);
// The format an image file's name ends with, else None.
ImageFormat ofPath(const NativePath& path);

// The image beside a package folder: folder N gives N.iso or N.zip.
NativePath pathBeside(const NativePath& folder, ImageFormat format);

} // namespace ImageFormats
} // namespace korvo
