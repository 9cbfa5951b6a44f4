#pragma once

#include "ImageFormat.h"

#include <QByteArray>
#include <QVector>

namespace korvo {

// What an image will take, measured from names and sizes alone (no disk
// access), as a bound that the image PackageImage writes never exceeds and
// stays close to. An image is its fixed part plus, for each top-level entry,
// that entry's share; a top-level folder's share is its record in the root
// plus the listing of every folder below it and the content of every file.
//
// ISO 9660 (Joliet, Rock Ridge, no padding): each file in whole 2,048-byte
// blocks (a file of 4 GiB or more in several extents, each with its own
// records); each entry's directory records in the primary tree (Rock Ridge
// names, attributes and times, with a continuation area where they do not
// fit) and in the Joliet tree; each folder's extents rounded to blocks, and
// its entries in the four path tables. ZIP: each entry's local and central
// headers with their extra fields, a file's data at deflate's worst case and
// its data descriptor. With the manifest, each file's manifest line too.
class ImageSpace
{
public:
    // One entry of a folder: its stored name, and a file's size.
    struct Entry
    {
        QByteArray name;
        bool folder = false;
        qint64 size = 0;
    };

    // `withManifest`: the package's SHA-256 manifest goes into the image.
    explicit ImageSpace(ImageFormat format, bool withManifest = true);

    // What every image takes, whatever goes in it.
    qint64 fixedPart() const;
    // A top-level entry's record in the image's root (not its content).
    qint64 rootEntry(const Entry& entry) const;
    // A folder's own listing below the root: its entries' records, its
    // extents and path table entries (ISO), or its own header (ZIP).
    // `relativePath` is the folder's stored path from the image's root.
    qint64 folderListing(const QByteArray& relativePath, const QVector<Entry>& children) const;
    // A file's content (and, for ZIP, its headers), at `relativePath`.
    qint64 fileContent(const QByteArray& relativePath, qint64 size) const;

private:
    ImageFormat format_;
    bool withManifest_;
};

} // namespace korvo
