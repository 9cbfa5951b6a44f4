#include "PackageImage.h"

#include "ImageTree.h"
#include "Platform.h"
#include "Utf8Names.h"

#include <QDateTime>

#include <cerrno>
#include <QFile>
#include <QFileInfo>

#ifdef KORVO_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace korvo::PackageImage {

QString volumeId(const QString& label, int number)
{
    const QString suffix = QLatin1Char('_') + QString::number(number);
    QString id;
    for (const QChar c : label.toUpper()) {
        const bool kept = (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (kept)
            id += c;
        else if (!id.isEmpty() && !id.endsWith(QLatin1Char('_')))
            id += QLatin1Char('_');
    }
    while (id.endsWith(QLatin1Char('_')))
        id.chop(1);
    if (id.isEmpty())
        id = QStringLiteral("KORVO");
    return id.left(32 - suffix.size()) + suffix;
}

#ifdef KORVO_HAVE_LIBARCHIVE

namespace {

const int BlockSize = 1 << 20;

// Names are stored bytes: Linux's own bytes (read as UTF-8 under
// Utf8Names), Windows' names as UTF-8, which the kit's libarchive takes as
// its character set there. Set as they are, never converted on the way in.
void setName(struct archive_entry* entry, const QByteArray& name)
{
    archive_entry_set_pathname(entry, name.constData());
}

// libarchive's reason, or a word when it gives none (a bare warning, or
// Rock Ridge names of some 240 bytes and more, refused when the image is
// finished).
QString libraryError(struct archive* archive)
{
    const char* text = archive_error_string(archive);
    return text && *text ? QString::fromUtf8(text) : QStringLiteral("the image library gave no reason");
}

la_ssize_t writeBlock(struct archive* archive, void* data, const void* buffer, size_t length)
{
    // A short write is tried again, so that a full disk says so.
    QFile* file = static_cast<QFile*>(data);
    const char* bytes = static_cast<const char*>(buffer);
    for (qint64 done = 0; done < qint64(length);) {
        const qint64 written = file->write(bytes + done, qint64(length) - done);
        if (written <= 0) {
            archive_set_error(archive, EIO, "%s", file->errorString().toUtf8().constData());
            return -1;
        }
        done += written;
    }
    return la_ssize_t(length);
}

// One archive being written to an open file.
class ImageWriter
{
public:
    ImageWriter(const ImageRequest& request, QFile& file, const Progress& progress, qint64 total)
        : request_(request), file_(file), progress_(progress), total_(total), buffer_(BlockSize, Qt::Uninitialized)
    {
    }
    ~ImageWriter() { archive_write_free(archive_); }

    bool open();
    bool addFolder(const QByteArray& relativePath);
    bool addFile(const QByteArray& name, const NativePath& path, const QByteArray& relativePath);
    bool close();
    QString errorString() const { return error_; }

private:
    bool setOptions();
    bool header(struct archive_entry* entry, const QByteArray& name);
    bool copyData(QFile& source, qint64 size, const QByteArray& name);
    bool fail(const QString& reason);

    const ImageRequest& request_;
    QFile& file_;
    Progress progress_;
    qint64 total_;
    QByteArray buffer_;
    struct archive* archive_ = archive_write_new();
    QString error_;
};

bool ImageWriter::fail(const QString& reason)
{
    error_ = reason;
    return false;
}

bool ImageWriter::setOptions()
{
    // ZIP names in UTF-8 with the flag that says so, on every system:
    // without it a name outside the system's DOS code page is stored as
    // "?" with only a warning.
    if (request_.format == ImageFormat::Zip)
        return archive_write_set_format_zip(archive_) == ARCHIVE_OK
               && archive_write_set_options(archive_, "zip:hdrcharset=UTF-8") == ARCHIVE_OK;
    if (archive_write_set_format_iso9660(archive_) != ARCHIVE_OK)
        return false;
    // Level 3 takes files of 4 GiB and more; long Joliet names keep up to
    // 103 characters; Rock Ridge keeps every name whole, at any depth. No
    // padding: its 300 KiB served old drives' read-ahead, which burning
    // programs pad for themselves; packages are sized without it
    // (ImageSpace).
    const QByteArray options = "volume-id=" + request_.volumeId.toLatin1() +
                               ",joliet=long,rockridge=useful,iso-level=3,!limit-depth,!limit-dirs,!pad";
    return archive_write_set_options(archive_, options.constData()) == ARCHIVE_OK;
}

bool ImageWriter::open()
{
    if (!archive_ || !setOptions())
        return fail(QStringLiteral("cannot set up the image: %1")
                        .arg(QString::fromUtf8(archive_ ? archive_error_string(archive_) : "out of memory")));
    // Whole sectors for ISO; no padding beyond them.
    archive_write_set_bytes_per_block(archive_, 64 * 1024);
    archive_write_set_bytes_in_last_block(archive_, 1);
    if (archive_write_open(archive_, &file_, nullptr, writeBlock, nullptr) != ARCHIVE_OK)
        return fail(QStringLiteral("cannot start the image: %1").arg(QString::fromUtf8(archive_error_string(archive_))));
    return true;
}

bool ImageWriter::header(struct archive_entry* entry, const QByteArray& name)
{
    // A warning is a failure too: it means a name (or something else of
    // the entry) went in other than it is, and an image that does not give
    // back what went in is no copy of the package.
    const int result = archive_write_header(archive_, entry);
    archive_entry_free(entry);
    if (result == ARCHIVE_OK)
        return true;
    return fail(QStringLiteral("cannot add %1 to the image: %2")
                    .arg(NativePath::fromStoredBytes(name).toText(), libraryError(archive_)));
}

bool ImageWriter::addFolder(const QByteArray& relativePath)
{
    struct archive_entry* entry = archive_entry_new();
    setName(entry, relativePath);
    archive_entry_set_filetype(entry, AE_IFDIR);
    archive_entry_set_perm(entry, 0755);
    const QFileInfo info(request_.folder.child(NativePath::fromStoredBytes(relativePath)).toText());
    archive_entry_set_mtime(entry, info.lastModified().toSecsSinceEpoch(), 0);
    return header(entry, relativePath);
}

bool ImageWriter::copyData(QFile& source, qint64 size, const QByteArray& name)
{
    for (qint64 left = size; left > 0;) {
        const qint64 length = source.read(buffer_.data(), qMin<qint64>(left, BlockSize));
        if (length <= 0)
            return fail(QStringLiteral("cannot read %1: %2")
                            .arg(NativePath::fromStoredBytes(name).toText(),
                                 length < 0 ? source.errorString() : QStringLiteral("it became shorter")));
        if (archive_write_data(archive_, buffer_.constData(), size_t(length)) != length)
            return fail(QStringLiteral("cannot write the image: %1").arg(QString::fromUtf8(archive_error_string(archive_))));
        left -= length;
        if (progress_)
            progress_(length, total_);
    }
    return true;
}

bool ImageWriter::addFile(const QByteArray& name, const NativePath& path, const QByteArray& relativePath)
{
    QFile source;
    qint64 code = 0;
    const platform::OpenResult opened = relativePath.isEmpty()
                                            ? platform::openForReading(path, source, &code)
                                            : platform::openBelow(request_.folder, relativePath, source, &code);
    if (opened != platform::OpenResult::Opened)
        return fail(QStringLiteral("cannot read %1: %2")
                        .arg(path.toText(), opened == platform::OpenResult::Failed ? platform::errorText(code)
                                                                                    : QStringLiteral("it is no longer a regular file")));
    // Size and time of the file opened, not of whatever the name leads to.
    const qint64 size = source.size();
    struct archive_entry* entry = archive_entry_new();
    setName(entry, name);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, (source.permissions() & QFileDevice::ExeOwner) ? 0755 : 0644);
    archive_entry_set_size(entry, size);
    archive_entry_set_mtime(entry, source.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch(), 0);
    return header(entry, name) && copyData(source, size, name);
}

bool ImageWriter::close()
{
    if (archive_write_close(archive_) != ARCHIVE_OK)
        return fail(QStringLiteral("cannot finish the image: %1").arg(libraryError(archive_)));
    return true;
}

qint64 totalSize(const QVector<ImageTreeEntry>& entries)
{
    qint64 total = 0;
    for (const ImageTreeEntry& entry : entries)
        total += entry.size;
    return total;
}

// The extra file's name at the image root, unless the folder holds one.
bool extraName(const ImageRequest& request, const QVector<ImageTreeEntry>& entries, QByteArray* name,
               QString* errorString)
{
    if (request.extraFile.isEmpty())
        return true;
    *name = request.extraFile.fileName().storedBytes();
    for (const ImageTreeEntry& entry : entries) {
        if (entry.relativePath == *name) {
            *errorString = QStringLiteral("the package holds %1 itself; the manifest cannot go beside it in the image")
                               .arg(QString::fromUtf8(*name));
            return false;
        }
    }
    return true;
}

// ZIP names are UTF-8 (or an old DOS code page): a name whose bytes are not
// UTF-8 cannot come back out of one as it went in. ISO's Rock Ridge keeps it.
bool zipCanHold(const ImageRequest& request, const QVector<ImageTreeEntry>& entries, QString* errorString)
{
    for (const ImageTreeEntry& entry : entries) {
        if (QString::fromUtf8(entry.relativePath).toUtf8() == entry.relativePath)
            continue;
        *errorString = QStringLiteral("the name of %1 is not UTF-8, which a ZIP cannot hold exactly; an ISO image can")
                           .arg(request.folder.child(NativePath::fromStoredBytes(entry.relativePath)).toText());
        return false;
    }
    return true;
}

bool writeEntries(const ImageRequest& request, QFile& file, const Progress& progress, QString* errorString)
{
    QVector<ImageTreeEntry> entries;
    QByteArray extra;
    if (!listImageTree(request.folder, entries, errorString) || !extraName(request, entries, &extra, errorString))
        return false;
    if (request.format == ImageFormat::Zip && !zipCanHold(request, entries, errorString))
        return false;
    ImageWriter writer(request, file, progress, totalSize(entries));
    bool ok = writer.open();
    for (int i = 0; ok && i < entries.size(); ++i) {
        const ImageTreeEntry& entry = entries.at(i);
        ok = entry.folder ? writer.addFolder(entry.relativePath)
                          : writer.addFile(entry.relativePath,
                                           request.folder.child(NativePath::fromStoredBytes(entry.relativePath)),
                                           entry.relativePath);
    }
    ok = ok && (extra.isEmpty() || writer.addFile(extra, request.extraFile, QByteArray())) && writer.close();
    if (!ok)
        *errorString = writer.errorString();
    return ok;
}

} // namespace

bool write(const ImageRequest& request, const Progress& progress, qint64* size, QString* errorString)
{
    Utf8Names utf8;
    QFile file;
    qint64 code = 0;
    if (!platform::createNewFile(request.target, file, &code)) {
        *errorString = QStringLiteral("cannot create %1: %2").arg(request.target.toText(), platform::errorText(code));
        return false;
    }
    QString reason;
    if (writeEntries(request, file, progress, &reason) && !file.flush())
        reason = QStringLiteral("cannot write %1: %2").arg(request.target.toText(), file.errorString());
    if (reason.isEmpty() && !platform::syncFile(file, &code))
        reason = QStringLiteral("cannot write %1 to disk: %2").arg(request.target.toText(), platform::errorText(code));
    if (!reason.isEmpty()) {
        platform::removeCreatedFile(request.target, file, nullptr);
        *errorString = reason;
        return false;
    }
    *size = file.size();
    file.close();
    return true;
}

#else

bool write(const ImageRequest& request, const Progress& progress, qint64* size, QString* errorString)
{
    Q_UNUSED(request) Q_UNUSED(progress) Q_UNUSED(size)
    *errorString = ImageFormats::unavailableReason();
    return false;
}

#endif

} // namespace korvo::PackageImage
