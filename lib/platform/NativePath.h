#pragma once

#include <QByteArray>
#include <QString>

namespace korvo {

// A path (or a single name) exactly as the system's file functions take it.
// A Linux name is bytes that need not be valid UTF-8, so no QString holds
// every name exactly: there the path is kept as its bytes. A Windows name is
// UTF-16 text, which a QString holds as it is. Every file-system operation
// on a scanned entry goes through this form; the QString form is for showing.
class NativePath
{
public:
    NativePath() = default;

    // The path of a text, as Qt would hand it to the system (QFile's name
    // encoding on Linux). Exact for every text a user can type or Qt lists.
    static NativePath fromText(const QString& text);
#ifdef _WIN32
    static NativePath fromUtf16(const QString& units) { return fromText(units); }
    const wchar_t* wide() const { return reinterpret_cast<const wchar_t*>(path_.utf16()); }
#else
    static NativePath fromBytes(const QByteArray& bytes);
    // The text shown for a name given as bytes, as Qt decodes file names:
    // the valid parts kept, U+FFFD for the rest.
    static QString decodeName(const char* bytes, int length);
    const QByteArray& bytes() const { return path_; }
    const char* constData() const { return path_.constData(); }
#endif

    // The text shown for the path: bytes that are not valid in the file
    // name encoding become U+FFFD.
    QString toText() const;

    // The path as a file that lists names stores it (a checksum manifest):
    // the exact bytes on Linux, UTF-8 on Windows. fromStoredBytes reads it
    // back exactly.
    QByteArray storedBytes() const;
    static NativePath fromStoredBytes(const QByteArray& bytes);

    bool isEmpty() const { return path_.isEmpty(); }
    bool isAbsolute() const;
    // The path without "." levels, doubled separators, and with each ".."
    // taking away the level before it, as QDir::cleanPath does: by the text
    // of the path alone, without asking the file system.
    NativePath cleaned() const;
    // The path of `name` inside this folder, joined by one separator.
    NativePath child(const NativePath& name) const;
    NativePath child(const QString& name) const { return child(fromText(name)); }
    // Makes this the path of `name` inside it, in place.
    void append(const NativePath& name);
    // The folder that holds this entry (everything before the last
    // separator); "/" for an entry of the root folder.
    NativePath parent() const;
    // The last component.
    NativePath fileName() const;

    bool operator==(const NativePath& other) const { return path_ == other.path_; }
    bool operator!=(const NativePath& other) const { return path_ != other.path_; }
    bool operator<(const NativePath& other) const { return path_ < other.path_; }

private:
#ifdef _WIN32
    QString path_;
#else
    QByteArray path_;
#endif
};

} // namespace korvo
