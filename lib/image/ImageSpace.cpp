#include "ImageSpace.h"

#include "ChecksumManifest.h"

#include <QString>

#include <algorithm>

namespace korvo {

namespace {

const qint64 Block = 2048;

qint64 blocks(qint64 bytes)
{
    return (bytes + Block - 1) / Block * Block;
}

// The bytes `share` stands for in an area whose sectors each waste at most
// `waste` bytes at their end (a record or entry never crosses a sector).
qint64 inflated(qint64 share, qint64 waste)
{
    return (share * Block + (Block - waste) - 1) / (Block - waste);
}

// ISO 9660 as libarchive writes it with Joliet and Rock Ridge, no padding.
namespace iso {

// An empty image: 16 system sectors, the primary and Joliet descriptors and
// the terminator, one spare sector, four path tables of two sectors, the two
// root folders and the Rock Ridge extension record.
const qint64 EmptyImage = 31 * Block;
// Beyond it: the sector the root folders' rounding may add to each of the
// two root folders and to the root's continuation area, and the root's own
// entries in the four path tables.
const qint64 RootSlack = 3 * Block + 4 * 10;
// A record never crosses a sector: a sector wastes less than the longest
// record (254 bytes in the primary tree, 240 in Joliet's).
const qint64 RecordWaste = 253;
// A continuation area stops short of a sector's end by less than one
// continuation entry and one whole entry after it.
const qint64 ContinuationWaste = 90;
// A file of 4 GiB or more is kept in extents of at most this many bytes,
// each with its own records.
const qint64 ExtentLimit = 0xFFFFF800LL;
// Rock Ridge in every primary record: RR (5), PX (44), TF with the
// modification time (12), and NM (5 + the name's bytes); a continuation
// entry (CE) takes 28 bytes when they do not all fit.
const int RockRidgeFixed = 5 + 5 + 44 + 12;
const int ContinuationEntry = 28;
const int MaxRecord = 254;
// "." and ".." of a folder below the root (".." of a top-level folder
// carries the root's three times: 110 bytes).
const int PrimaryDots = 96 + 110;
const int JolietDots = 34 + 34;

int characters(const QByteArray& name)
{
    return QString::fromUtf8(name).size();
}

// The primary identifier's length: a folder's name in at most 31
// d-characters; a file's with a dot added where it has none, at most 31,
// then ";1".
int primaryIdentifier(const ImageSpace::Entry& entry)
{
    const int length = characters(entry.name);
    return entry.folder ? std::min(length, 31) : std::min(length + 1, 31) + 2;
}

int jolietIdentifier(const QByteArray& name)
{
    return 2 * std::min(characters(name), 103); // UCS-2, up to 103 units
}

struct Record
{
    int length = 0;       // in the folder's extent
    int continuation = 0; // in the folder's continuation area
};

Record primaryRecord(const ImageSpace::Entry& entry)
{
    const int identifier = primaryIdentifier(entry);
    const int base = 33 + identifier + (identifier % 2 == 0 ? 1 : 0);
    const int rockRidge = RockRidgeFixed + entry.name.size();
    if (base + rockRidge <= MaxRecord - ContinuationEntry)
        return {(base + rockRidge + 1) / 2 * 2, 0};
    // The name is split where it does not fit; PX and TF move whole.
    const int kept = MaxRecord - ContinuationEntry - base - 10;
    return {MaxRecord, std::max(44 + 12, rockRidge - kept)};
}

int jolietRecord(const ImageSpace::Entry& entry)
{
    return 34 + jolietIdentifier(entry.name);
}

int extents(const ImageSpace::Entry& entry)
{
    return entry.folder || entry.size <= ExtentLimit ? 1 : int((entry.size + ExtentLimit - 1) / ExtentLimit);
}

// Both trees' path table entries of a folder, each in an L and an M table.
qint64 pathTables(const QByteArray& name)
{
    const int identifier = std::min(characters(name), 31);
    return 2 * (8 + identifier + identifier % 2) + 2 * (8 + jolietIdentifier(name));
}

// Sectors of an area of `bytes` whose sectors each waste less than `waste`.
qint64 area(qint64 bytes, int waste)
{
    if (bytes == 0)
        return 0;
    const qint64 room = Block - waste;
    return (bytes + room - 1) / room * Block;
}

} // namespace iso

// ZIP as libarchive writes it: deflate, a data descriptor after each file,
// an extended time and a Unix owner field in both headers.
namespace zip {

const qint64 End = 22 + 56 + 20; // the end record, and zip64's end record and locator
const qint64 Headers = 30 + 46 + 2 * 24;
const qint64 Descriptor = 16;
const qint64 Zip64Offset = 12;              // an entry's offset past 4 GiB, in its central header
const qint64 Zip64Sizes = 20 + 32 - 12 + 8; // sizes of 4 GiB and more, in both headers and the descriptor

// deflate's worst case for raw deflate with zlib's default parameters.
qint64 deflated(qint64 size)
{
    return size + (size >> 12) + (size >> 14) + (size >> 25) + 7;
}

qint64 entry(qint64 pathLength, qint64 dataSize, bool file)
{
    qint64 bytes = Headers + 2 * pathLength + Zip64Offset;
    if (file) {
        const qint64 data = deflated(dataSize);
        bytes += data + Descriptor + (data >= 0xFFFFFFFFLL || dataSize >= 0xFFFFFFFFLL ? Zip64Sizes : 0);
    }
    return bytes;
}

} // namespace zip

// The manifest's name at the root: the package number (ten digits at most)
// and ".sha256".
const int ManifestName = 10 + 7;

qint64 manifestLine(const QByteArray& relativePath)
{
    return ChecksumManifest::formatLine(QByteArray(32, '\0'), relativePath).size();
}

} // namespace

ImageSpace::ImageSpace(ImageFormat format, bool withManifest) : format_(format), withManifest_(withManifest) {}

qint64 ImageSpace::fixedPart() const
{
    if (format_ == ImageFormat::Zip)
        return zip::End + (withManifest_ ? zip::entry(ManifestName, 0, true) : 0);
    qint64 fixed = iso::EmptyImage + iso::RootSlack;
    if (withManifest_) {
        // Its records at the root, and its last block's rounding.
        const Entry manifest{QByteArray(ManifestName, '0'), false, 0};
        fixed += rootEntry(manifest) + Block;
    }
    return fixed;
}

qint64 ImageSpace::rootEntry(const Entry& entry) const
{
    if (format_ != ImageFormat::Iso)
        return 0; // a ZIP entry's headers go with its content
    const iso::Record primary = iso::primaryRecord(entry);
    const int count = iso::extents(entry);
    return inflated(qint64(count) * (primary.length + iso::jolietRecord(entry)), iso::RecordWaste)
           + inflated(qint64(count) * primary.continuation, iso::ContinuationWaste);
}

qint64 ImageSpace::folderListing(const QByteArray& relativePath, const QVector<Entry>& children) const
{
    if (format_ == ImageFormat::Zip)
        return zip::entry(relativePath.size() + 1, 0, false);
    if (format_ != ImageFormat::Iso)
        return 0;
    qint64 primary = iso::PrimaryDots;
    qint64 joliet = iso::JolietDots;
    qint64 continuation = 0;
    int longestPrimary = 110;
    int longestJoliet = 34;
    for (const Entry& child : children) {
        const iso::Record record = iso::primaryRecord(child);
        const int count = iso::extents(child);
        const int jolietRecord = iso::jolietRecord(child);
        primary += qint64(count) * record.length;
        joliet += qint64(count) * jolietRecord;
        continuation += qint64(count) * record.continuation;
        longestPrimary = std::max(longestPrimary, record.length);
        longestJoliet = std::max(longestJoliet, jolietRecord);
    }
    const int slash = relativePath.lastIndexOf('/');
    const QByteArray name = slash < 0 ? relativePath : relativePath.mid(slash + 1);
    return iso::area(primary, longestPrimary - 1) + iso::area(joliet, longestJoliet - 1)
           + iso::area(continuation, int(iso::ContinuationWaste)) + iso::pathTables(name);
}

qint64 ImageSpace::fileContent(const QByteArray& relativePath, qint64 size) const
{
    size = std::min<qint64>(size, qint64(1) << 60); // a sparse file's claim, kept from overflowing
    const qint64 line = withManifest_ ? manifestLine(relativePath) : 0;
    if (format_ == ImageFormat::Zip)
        return zip::entry(relativePath.size(), size, true) + line + (line >> 11) + 1;
    if (format_ != ImageFormat::Iso)
        return size;
    return blocks(size) + line;
}

} // namespace korvo
