#include "ImageFormat.h"

#ifdef KORVO_HAVE_LIBARCHIVE
#include <archive.h>
#endif

namespace korvo::ImageFormats {

bool available()
{
#ifdef KORVO_HAVE_LIBARCHIVE
    return true;
#else
    return false;
#endif
}

QString unavailableReason()
{
    return QStringLiteral("this build of korvo cannot write or read images: it was built without libarchive");
}

QString libraryVersion()
{
#ifdef KORVO_HAVE_LIBARCHIVE
    // "libarchive 3.6.2": the number alone.
    return QString::fromLatin1(archive_version_string()).section(QLatin1Char(' '), -1);
#else
    return QString();
#endif
}

QString zlibVersion()
{
#ifdef KORVO_HAVE_LIBARCHIVE
    return QString::fromLatin1(archive_zlib_version());
#else
    return QString();
#endif
}

QString suffix(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Iso: return QStringLiteral("iso");
    case ImageFormat::Zip: return QStringLiteral("zip");
    case ImageFormat::None: break;
    }
    return QString();
}

bool fromName(const QString& name, ImageFormat* format)
{
    for (const ImageFormat candidate : {ImageFormat::Iso, ImageFormat::Zip}) {
        if (name.compare(suffix(candidate), Qt::CaseInsensitive) == 0) {
            *format = candidate;
            return true;
        }
    }
    return false;
}

ImageFormat ofPath(const NativePath& path)
{
    const QString name = path.fileName().toText();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    ImageFormat format = ImageFormat::None;
    if (dot < 0 || !fromName(name.mid(dot + 1), &format))
        return ImageFormat::None;
    return format;
}

NativePath pathBeside(const NativePath& folder, ImageFormat format)
{
    QByteArray bytes = folder.storedBytes();
    while (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    return NativePath::fromStoredBytes(bytes + '.' + suffix(format).toLatin1());
}

} // namespace korvo::ImageFormats
