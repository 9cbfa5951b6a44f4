#pragma once

#include "ImageFormat.h"
#include "NativePath.h"

#include <QString>

#include <functional>

namespace korvo {

// What one image is made of and where it goes.
struct ImageRequest
{
    NativePath folder;    // the package folder; its content is the image's root
    NativePath target;    // the file to create (a temporary name); never replaced
    ImageFormat format = ImageFormat::Iso;
    QString volumeId;     // the ISO volume id, from PackageImage::volumeId()
    NativePath extraFile; // a file put at the image's root too (the manifest); empty for none
};

// Writes a package folder as an ISO 9660 image (Joliet for Windows readers,
// Rock Ridge keeping the exact name bytes and names up to 255 bytes) or a
// ZIP (UTF-8 names, zip64 where a file or the whole needs it), through
// libarchive. Every file is opened below the folder without following a
// link and streamed in blocks, never held whole in memory.
namespace PackageImage {

// Called with the bytes read since the last call and the total to read.
using Progress = std::function<void(qint64 bytes, qint64 total)>;

// The volume id of package `number` under `label`: ISO's d-characters
// (A-Z, 0-9, "_") at most 32 of them, the label's letters and digits in
// upper case, then "_" and the number; "KORVO_N" when the label has none.
QString volumeId(const QString& label, int number);

// Creates request.target (failing when anything has that name), writes the
// image and syncs it to disk; `size` receives its length. False with the
// reason when anything could not be listed, read or written: the target is
// then removed again.
bool write(const ImageRequest& request, const Progress& progress, qint64* size, QString* errorString);

} // namespace PackageImage
} // namespace korvo
