#include "ImageReader.h"

#include "FileList.h"
#include "ImageFormat.h"
#include "ListedPaths.h"
#include "Platform.h"
#include "Sha256.h"
#include "Utf8Names.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#ifdef KORVO_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace korvo::ImageReader {

namespace {

// "1.iso" -> "1.sha256": the manifest's name beside the image or inside it.
QByteArray manifestName(const NativePath& image)
{
    QByteArray name = image.fileName().storedBytes();
    const int dot = name.lastIndexOf('.');
    if (dot > 0)
        name.truncate(dot);
    return name + ".sha256";
}

} // namespace

ManifestChoice chooseManifest(const NativePath& image, const NativePath& given)
{
    ManifestChoice choice;
    if (!given.isEmpty()) {
        choice.path = given;
        choice.shown = given.toText();
        return choice;
    }
    const QByteArray name = manifestName(image);
    const NativePath beside = image.parent().child(NativePath::fromStoredBytes(name));
    bool isFolder = false;
    if (platform::entryExists(beside, &isFolder) && !isFolder) {
        choice.path = beside;
        choice.shown = beside.toText();
        return choice;
    }
    choice.inside = name;
    choice.shown = QStringLiteral("%1 in %2").arg(QString::fromUtf8(name), image.toText());
    return choice;
}

#ifdef KORVO_HAVE_LIBARCHIVE

namespace {

const int BlockSize = 1 << 20;

// The image file as libarchive reads it: blocks, skips and seeks.
struct Source
{
    QFile file;
    QByteArray block{BlockSize, Qt::Uninitialized};
};

la_ssize_t readBlock(struct archive* archive, void* data, const void** buffer)
{
    Source* source = static_cast<Source*>(data);
    *buffer = source->block.constData();
    const qint64 length = source->file.read(source->block.data(), BlockSize);
    if (length < 0)
        archive_set_error(archive, EIO, "%s", source->file.errorString().toUtf8().constData());
    return la_ssize_t(length);
}

la_int64_t seekTo(struct archive*, void* data, la_int64_t offset, int whence)
{
    QFile& file = static_cast<Source*>(data)->file;
    const qint64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file.pos() : file.size();
    return file.seek(base + offset) ? la_int64_t(file.pos()) : ARCHIVE_FATAL;
}

la_int64_t skipOver(struct archive* archive, void* data, la_int64_t length)
{
    return seekTo(archive, data, length, SEEK_CUR) < 0 ? 0 : length;
}

// A path as a manifest holds it: no leading "./" or "/", no trailing "/".
QByteArray normalised(QByteArray path)
{
    while (path.startsWith("./") || path.startsWith('/'))
        path.remove(0, path.startsWith('/') ? 1 : 2);
    while (path.endsWith('/'))
        path.chop(1);
    return path;
}

// What was found inside the image: its files (regular ones with their
// digests, 32 bytes each, back to back; others with none) in image order.
struct Contents
{
    FileList files;
    std::vector<char> digests;
    QByteArray manifestText;
    bool manifestFound = false;
    // The reader gives names back in Unicode's composed form (NFC): ZIP's
    // does, whatever form they went in with.
    bool composedNames = false;

    void add(const QByteArray& path, const QByteArray& digest)
    {
        files.append(path, 0, !digest.isEmpty());
        digests.insert(digests.end(), digest.cbegin(), digest.cend());
        digests.resize(size_t(files.count()) * 32);
    }
    bool matches(int index, const QByteArray& digest) const
    {
        return digest.size() == 32 && std::equal(digest.cbegin(), digest.cend(), digests.cbegin() + qint64(index) * 32);
    }
};

class ImageScan
{
public:
    ImageScan(const ChecksumManifest::Progress& progress, const QByteArray& insideManifest)
        : progress_(progress), inside_(insideManifest)
    {
    }
    ~ImageScan() { archive_read_free(archive_); }

    bool open(const NativePath& image);
    bool readAll(Contents& contents);
    QString errorString() const { return error_; }

private:
    bool fail(const QString& what);
    bool readData(const QByteArray& path, Contents& contents);
    void reportProgress();

    ChecksumManifest::Progress progress_;
    QByteArray inside_;
    Source source_;
    struct archive* archive_ = archive_read_new();
    qint64 reported_ = 0;
    QString error_;
};

bool ImageScan::fail(const QString& what)
{
    error_ = QStringLiteral("%1: %2").arg(what, QString::fromUtf8(archive_error_string(archive_)));
    return false;
}

bool ImageScan::open(const NativePath& image)
{
    qint64 code = 0;
    const platform::OpenResult opened = platform::openForReading(image, source_.file, &code);
    if (opened != platform::OpenResult::Opened) {
        error_ = opened == platform::OpenResult::Failed ? platform::errorText(code)
                 : opened == platform::OpenResult::Missing ? QStringLiteral("no such file")
                                                           : QStringLiteral("not a regular file");
        return false;
    }
    // Rock Ridge names are the exact ones; Joliet's may be shortened.
    archive_read_support_format_iso9660(archive_);
    archive_read_support_format_zip(archive_);
    archive_read_set_options(archive_, "iso9660:!joliet");
    archive_read_set_callback_data(archive_, &source_);
    archive_read_set_read_callback(archive_, readBlock);
    archive_read_set_seek_callback(archive_, seekTo);
    archive_read_set_skip_callback(archive_, skipOver);
    if (archive_read_open1(archive_) != ARCHIVE_OK)
        return fail(QStringLiteral("not an ISO or ZIP image"));
    return true;
}

void ImageScan::reportProgress()
{
    const qint64 now = qMax<qint64>(0, archive_filter_bytes(archive_, -1));
    if (progress_ && now > reported_)
        progress_(now - reported_, source_.file.size());
    reported_ = qMax(reported_, now);
}

bool ImageScan::readData(const QByteArray& path, Contents& contents)
{
    const bool manifest = !inside_.isEmpty() && path == inside_;
    Sha256 sha;
    const void* buffer = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int result = archive_read_data_block(archive_, &buffer, &length, &offset);
        if (result == ARCHIVE_EOF)
            break;
        if (result < ARCHIVE_WARN)
            return fail(QStringLiteral("cannot read %1 in the image").arg(QString::fromUtf8(path)));
        if (manifest && contents.manifestText.size() + qint64(length) > ChecksumManifest::MaxSize) {
            error_ = QStringLiteral("the manifest in the image is larger than 1 GiB");
            return false;
        }
        // Blocks of a sparse entry may skip ahead; none of ours do, and a
        // gap reads as zeros as it would when extracted.
        sha.addData(static_cast<const char*>(buffer), qint64(length));
        if (manifest)
            contents.manifestText.append(static_cast<const char*>(buffer), int(length));
        reportProgress();
    }
    if (manifest)
        contents.manifestFound = true;
    else
        contents.add(path, sha.result());
    return true;
}

bool ImageScan::readAll(Contents& contents)
{
    struct archive_entry* entry = nullptr;
    for (;;) {
        const int result = archive_read_next_header(archive_, &entry);
        if (result == ARCHIVE_EOF)
            return true;
        if (result < ARCHIVE_WARN)
            return fail(QStringLiteral("cannot read the image"));
        contents.composedNames = (archive_format(archive_) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP;
        // UTF-8 on every system (the kit's libarchive takes its character
        // set as UTF-8 on Windows).
        const char* name = archive_entry_pathname(entry);
        const QByteArray path = normalised(QByteArray(name ? name : ""));
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR || path.isEmpty())
            continue;
        if (type != AE_IFREG) {
            contents.add(path, QByteArray());
            continue;
        }
        if (!readData(path, contents))
            return false;
    }
}

// A manifest's path as the image's reader gives that name back: composed
// (NFC) where the reader composes names, when the path is UTF-8 at all.
QByteArray asReadBack(const QByteArray& path, bool composed)
{
    if (!composed)
        return path;
    const QString text = QString::fromUtf8(path);
    if (text.toUtf8() != path)
        return path;
    return text.normalized(QString::NormalizationForm_C).toUtf8();
}

// Compares a manifest's lines, one at a time, with the image's files. A
// path listed before is a bad line: a file of the image is marked as
// listed, a path not in the image is kept as its key.
class ImageCheck : public ChecksumManifest::LineHandler
{
public:
    ImageCheck(const Contents& contents, VerifyTally& tally)
        : contents_(contents), tally_(tally), listed_(contents.files)
    {
    }

    void entry(ChecksumManifest::Entry& entry) override
    {
        int index = -1;
        if (!listed_.mark(asReadBack(entry.relativePath, contents_.composedNames), &index)) {
            tally_.badLine(ChecksumManifest::BadLine{entry.line, ChecksumManifest::listedTwice()});
            return;
        }
        ++tally_.report().listed;
        if (index < 0)
            tally_.find(VerifyFinding::Missing, entry.relativePath);
        else if (!contents_.files.regular(index))
            tally_.find(VerifyFinding::Unreadable, entry.relativePath, QStringLiteral("not a regular file"));
        else if (contents_.matches(index, entry.digest))
            ++tally_.report().matched;
        else
            tally_.find(VerifyFinding::Changed, entry.relativePath);
    }
    void badLine(const ChecksumManifest::BadLine& bad) override { tally_.badLine(bad); }

    // The files no line listed, sorted by their paths' bytes; the manifest
    // that goes into an image with its package (at the root, under the
    // image's own number) is not one of the package's files.
    void tellUnlisted(const QByteArray& ownManifest)
    {
        const FileList& files = contents_.files;
        std::vector<int> unlisted;
        for (int i = 0; i < files.count(); ++i) {
            if (!listed_.isListed(i) && !(files.regular(i) && files.relativePath(i) == ownManifest))
                unlisted.push_back(i);
        }
        std::stable_sort(unlisted.begin(), unlisted.end(),
                         [&files](int a, int b) { return files.relativePath(a) < files.relativePath(b); });
        for (const int i : unlisted)
            tally_.find(VerifyFinding::Unlisted, files.relativePath(i),
                        files.regular(i) ? QString() : QStringLiteral("not a regular file"));
    }

private:
    const Contents& contents_;
    VerifyTally& tally_;
    ListedPaths listed_;
};

} // namespace

bool verifyImage(const NativePath& image, const ManifestChoice& manifest, const ChecksumManifest::Progress& progress,
                 VerifySink& sink, VerifyReport& report, QString* errorString)
{
    report = VerifyReport();
    Utf8Names utf8;
    QFile file;
    QString reason;
    if (!manifest.path.isEmpty() && !ChecksumManifest::open(manifest.path, file, &reason)) {
        *errorString = QStringLiteral("cannot read the manifest %1: %2").arg(manifest.shown, reason);
        return false;
    }
    ImageScan scan(progress, manifest.inside);
    Contents contents;
    if (!scan.open(image) || !scan.readAll(contents)) {
        *errorString = QStringLiteral("cannot read the image %1: %2").arg(image.toText(), scan.errorString());
        return false;
    }
    contents.files.finish();
    if (!manifest.inside.isEmpty() && !contents.manifestFound) {
        *errorString = QStringLiteral("no manifest: neither beside the image nor as %1").arg(manifest.shown);
        return false;
    }
    VerifyTally tally(sink, report);
    ImageCheck check(contents, tally);
    if (manifest.inside.isEmpty()) {
        if (!ChecksumManifest::forEachLine(file, check, &reason)) {
            *errorString = QStringLiteral("cannot read the manifest %1 to its end: %2").arg(manifest.shown, reason);
            return false;
        }
    } else {
        ChecksumManifest::forEachLine(contents.manifestText, check);
    }
    check.tellUnlisted(manifestName(image));
    return true;
}

#else

bool verifyImage(const NativePath& image, const ManifestChoice& manifest,
                 const ChecksumManifest::Progress& progress, VerifySink& sink, VerifyReport& report,
                 QString* errorString)
{
    Q_UNUSED(image) Q_UNUSED(manifest) Q_UNUSED(progress) Q_UNUSED(sink)
    report = VerifyReport();
    *errorString = ImageFormats::unavailableReason();
    return false;
}

#endif

} // namespace korvo::ImageReader
