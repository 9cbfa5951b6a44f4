#include "ImageReader.h"

#include "ImageFormat.h"
#include "Platform.h"
#include "Sha256.h"
#include "Utf8Names.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>

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

// What was found inside the image.
struct Contents
{
    QHash<QByteArray, QByteArray> digests; // regular file -> digest
    QVector<QByteArray> others;            // links, devices and the like
    QByteArray manifestText;
    bool manifestFound = false;
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
        contents.digests.insert(path, sha.result());
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
#ifdef _WIN32
        const char* name = archive_entry_pathname_utf8(entry);
#else
        const char* name = archive_entry_pathname(entry);
#endif
        const QByteArray path = normalised(QByteArray(name ? name : ""));
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR || path.isEmpty())
            continue;
        if (type != AE_IFREG) {
            contents.others << path;
            continue;
        }
        if (!readData(path, contents))
            return false;
    }
}

void compare(const QVector<ChecksumManifest::Entry>& entries, const Contents& contents, VerifyReport& report)
{
    QSet<QByteArray> listed;
    for (const ChecksumManifest::Entry& entry : entries) {
        listed.insert(entry.relativePath);
        const auto found = contents.digests.constFind(entry.relativePath);
        if (found == contents.digests.constEnd())
            report.findings.append(VerifyFinding{contents.others.contains(entry.relativePath) ? VerifyFinding::Unreadable
                                                                                             : VerifyFinding::Missing,
                                                 entry.relativePath,
                                                 contents.others.contains(entry.relativePath)
                                                     ? QStringLiteral("not a regular file") : QString()});
        else if (found.value() == entry.digest)
            ++report.matched;
        else
            report.findings.append(VerifyFinding{VerifyFinding::Changed, entry.relativePath, QString()});
    }
    QVector<VerifyFinding> unlisted;
    for (auto it = contents.digests.constBegin(); it != contents.digests.constEnd(); ++it) {
        if (!listed.contains(it.key()))
            unlisted.append(VerifyFinding{VerifyFinding::Unlisted, it.key(), QString()});
    }
    for (const QByteArray& other : contents.others) {
        if (!listed.contains(other))
            unlisted.append(VerifyFinding{VerifyFinding::Unlisted, other, QStringLiteral("not a regular file")});
    }
    std::sort(unlisted.begin(), unlisted.end(),
              [](const VerifyFinding& a, const VerifyFinding& b) { return a.relativePath < b.relativePath; });
    report.findings += unlisted;
}

} // namespace

bool verifyImage(const NativePath& image, const ManifestChoice& manifest,
                 const ChecksumManifest::Progress& progress, VerifyReport& report, QString* errorString)
{
    report = VerifyReport();
    Utf8Names utf8;
    QVector<ChecksumManifest::Entry> entries;
    QString reason;
    if (!manifest.path.isEmpty() && !ChecksumManifest::read(manifest.path, entries, report.badLines, &reason)) {
        *errorString = QStringLiteral("cannot read the manifest %1: %2").arg(manifest.shown, reason);
        report.badLines.clear();
        return false;
    }
    ImageScan scan(progress, manifest.inside);
    Contents contents;
    if (!scan.open(image) || !scan.readAll(contents)) {
        *errorString = QStringLiteral("cannot read the image %1: %2").arg(image.toText(), scan.errorString());
        return false;
    }
    if (!manifest.inside.isEmpty()) {
        if (!contents.manifestFound) {
            *errorString = QStringLiteral("no manifest: neither beside the image nor as %1").arg(manifest.shown);
            return false;
        }
        ChecksumManifest::parse(contents.manifestText, entries, report.badLines);
    }
    // The manifest that goes into an image with the package lies at its
    // root under the image's own number; unless the manifest lists a file
    // of that name, it is that one, not a file of the package.
    const QByteArray own = manifestName(image);
    if (std::none_of(entries.cbegin(), entries.cend(),
                     [&own](const ChecksumManifest::Entry& entry) { return entry.relativePath == own; }))
        contents.digests.remove(own);
    report.listed = entries.size();
    compare(entries, contents, report);
    return true;
}

#else

bool verifyImage(const NativePath& image, const ManifestChoice& manifest,
                 const ChecksumManifest::Progress& progress, VerifyReport& report, QString* errorString)
{
    Q_UNUSED(image) Q_UNUSED(manifest) Q_UNUSED(progress)
    report = VerifyReport();
    *errorString = ImageFormats::unavailableReason();
    return false;
}

#endif

} // namespace korvo::ImageReader
