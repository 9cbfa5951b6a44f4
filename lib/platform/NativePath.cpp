#include "NativePath.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>

namespace korvo {

namespace {

const char Separator = '/';

} // namespace

#ifdef _WIN32

NativePath NativePath::fromText(const QString& text)
{
    NativePath path;
    path.path_ = text;
    return path;
}

QString NativePath::toText() const
{
    return path_;
}

QByteArray NativePath::storedBytes() const
{
    return path_.toUtf8();
}

NativePath NativePath::fromStoredBytes(const QByteArray& bytes)
{
    return fromText(QString::fromUtf8(bytes));
}

bool NativePath::isAbsolute() const
{
    return QDir::isAbsolutePath(path_);
}

NativePath NativePath::cleaned() const
{
    return fromText(QDir::cleanPath(path_));
}

#else

NativePath NativePath::fromText(const QString& text)
{
    return fromBytes(QFile::encodeName(text));
}

NativePath NativePath::fromBytes(const QByteArray& bytes)
{
    NativePath path;
    path.path_ = bytes;
    return path;
}

QString NativePath::decodeName(const char* bytes, int length)
{
    bool ascii = true;
    for (int i = 0; i < length && ascii; ++i)
        ascii = uchar(bytes[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes, length);
    static const bool utf8 = QTextCodec::codecForLocale()->mibEnum() == 106;
    if (utf8)
        return QString::fromUtf8(bytes, length);
    return QFile::decodeName(QByteArray::fromRawData(bytes, length));
}

QString NativePath::toText() const
{
    return decodeName(path_.constData(), path_.size());
}

QByteArray NativePath::storedBytes() const
{
    return path_;
}

NativePath NativePath::fromStoredBytes(const QByteArray& bytes)
{
    return fromBytes(bytes);
}

bool NativePath::isAbsolute() const
{
    return path_.startsWith('/');
}

NativePath NativePath::cleaned() const
{
    const bool absolute = isAbsolute();
    QList<QByteArray> kept;
    for (const QByteArray& part : path_.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == ".." && !kept.isEmpty() && kept.last() != "..")
            kept.removeLast();
        else if (part != ".." || !absolute) // "/.." is "/"
            kept.append(part);
    }
    NativePath result;
    result.path_ = (absolute ? QByteArray("/") : QByteArray()) + kept.join('/');
    if (result.path_.isEmpty())
        result.path_ = ".";
    return result;
}

#endif

NativePath NativePath::child(const NativePath& name) const
{
    NativePath joined;
    joined.path_.reserve(path_.size() + 1 + name.path_.size());
    joined.path_ += path_;
    joined.append(name);
    return joined;
}

void NativePath::append(const NativePath& name)
{
    if (!path_.isEmpty() && !path_.endsWith(Separator))
        path_ += Separator;
    path_ += name.path_;
}

NativePath NativePath::parent() const
{
    NativePath folder;
    const int last = path_.lastIndexOf(Separator);
    if (last > 0)
        folder.path_ = path_.left(last);
    else if (last == 0)
        folder.path_ = path_.left(1);
    return folder;
}

NativePath NativePath::fileName() const
{
    NativePath name;
    name.path_ = path_.mid(path_.lastIndexOf(Separator) + 1);
    return name;
}

} // namespace korvo
