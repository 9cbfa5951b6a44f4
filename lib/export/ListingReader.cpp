#include "ListingReader.h"

#include "Platform.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

namespace korvo::ListingReader {

namespace {

// "1.50 KiB (1,536 バイト)" -> 1536; a bare number is taken too.
qint64 sizeOf(const QString& text)
{
    static const QRegularExpression bytes(QStringLiteral("\\(([0-9,]+)"));
    const QRegularExpressionMatch match = bytes.match(text);
    QString digits = match.hasMatch() ? match.captured(1) : text.trimmed();
    digits.remove(QLatin1Char(','));
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok ? value : -1;
}

// Reads one listing: the files of its tree section with the folders above
// them, or those of its file list with their paths below the root.
class Reader
{
public:
    explicit Reader(QVector<ListedFile>& files) : files_(files) {}

    bool isListing() const { return isListing_; }

    void read(QXmlStreamReader& xml)
    {
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement())
                start(xml);
            else if (xml.isEndElement())
                end(xml);
            else if (xml.isCharacters() && !xml.isWhitespace())
                text_ += xml.text();
        }
    }

private:
    void start(QXmlStreamReader& xml)
    {
        const QStringRef name = xml.name();
        text_.clear();
        if (elements_.isEmpty())
            isListing_ = name == QLatin1String("korvo");
        if (elements_.size() == 1 && (name == QLatin1String("tree") || name == QLatin1String("fileList")))
            section_ = name.toString();
        const bool used = section_ == QLatin1String("tree") || (section_ == QLatin1String("fileList") && !treeSeen_);
        elements_ << name.toString();
        if (!used)
            return;
        if (name == QLatin1String("directory"))
            folders_ << xml.attributes().value(QLatin1String("name")).toString();
        else if (name == QLatin1String("file"))
            file_ = Fields{xml.attributes().value(QLatin1String("name")).toString(),
                           xml.attributes().value(QLatin1String("path")).toString(),
                           sizeOf(xml.attributes().value(QLatin1String("size")).toString()), true};
    }

    void end(QXmlStreamReader& xml)
    {
        const QString name = elements_.takeLast();
        const QString parent = elements_.value(elements_.size() - 1);
        if (elements_.size() == 1 && name == QLatin1String("root"))
            root_ = text_;
        if (elements_.size() == 1 && name == QLatin1String("tree"))
            treeSeen_ = true;
        if (elements_.size() == 1)
            section_.clear();
        if (section_.isEmpty() || (section_ == QLatin1String("fileList") && treeSeen_))
            return;
        if (parent == QLatin1String("directory") && name == QLatin1String("name") && !folders_.isEmpty())
            folders_.last() = text_;
        else if (parent == QLatin1String("file") && file_.open)
            field(name);
        else if (name == QLatin1String("directory") && !folders_.isEmpty())
            folders_.removeLast();
        else if (name == QLatin1String("file"))
            addFile();
        Q_UNUSED(xml)
    }

    void field(const QString& name)
    {
        if (name == QLatin1String("name"))
            file_.name = text_;
        else if (name == QLatin1String("path"))
            file_.path = text_;
        else if (name == QLatin1String("size"))
            file_.size = sizeOf(text_);
    }

    void addFile()
    {
        QString path;
        if (section_ == QLatin1String("tree")) {
            // The first folder is the package folder itself.
            path = folders_.mid(1).join(QLatin1Char('/'));
        } else if (file_.path.startsWith(root_)) {
            path = file_.path.mid(root_.size());
        }
        while (path.startsWith(QLatin1Char('/')))
            path.remove(0, 1);
        path += (path.isEmpty() ? QString() : QStringLiteral("/")) + file_.name;
        files_.append(ListedFile{path.toUtf8(), file_.size});
        file_.open = false;
    }

    struct Fields
    {
        QString name;
        QString path;
        qint64 size = -1;
        bool open = false;
    };

    QVector<ListedFile>& files_;
    QStringList elements_;
    QStringList folders_;
    QString section_;
    QString root_;
    QString text_;
    Fields file_;
    bool treeSeen_ = false;
    bool isListing_ = false;
};

} // namespace

bool read(const NativePath& listing, QVector<ListedFile>& files, QString* errorString)
{
    QFile file;
    qint64 code = 0;
    if (platform::openForReading(listing, file, &code) != platform::OpenResult::Opened) {
        *errorString = QStringLiteral("cannot read %1: %2").arg(listing.toText(), platform::errorText(code));
        return false;
    }
    QXmlStreamReader xml(&file);
    QVector<ListedFile> found;
    Reader reader(found);
    reader.read(xml);
    if (xml.hasError() || !reader.isListing()) {
        *errorString = QStringLiteral("%1 is not a listing of korvo's: %2")
                           .arg(listing.toText(), xml.hasError() ? xml.errorString() : QStringLiteral("no korvo element"));
        return false;
    }
    files += found;
    return true;
}

} // namespace korvo::ListingReader
