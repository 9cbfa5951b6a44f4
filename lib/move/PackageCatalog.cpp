#include "PackageCatalog.h"

#include "ChecksumManifest.h"
#include "Platform.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace korvo::PackageCatalog {

bool makeMatcher(const QString& pattern, bool regularExpression, Matcher* matcher, QString* errorString)
{
    const QString text = regularExpression ? pattern : QRegularExpression::wildcardToRegularExpression(pattern);
    const QRegularExpression expression(text, QRegularExpression::CaseInsensitiveOption);
    if (!expression.isValid() || pattern.isEmpty()) {
        *errorString = pattern.isEmpty() ? QStringLiteral("the pattern is empty")
                                         : QStringLiteral("'%1' is not a valid pattern: %2")
                                               .arg(pattern, expression.errorString());
        return false;
    }
    *matcher = [expression, regularExpression](const QByteArray& relativePath) {
        const QString path = NativePath::fromStoredBytes(relativePath).toText();
        if (regularExpression)
            return expression.match(path).hasMatch();
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        return expression.match(name).hasMatch() || expression.match(path).hasMatch();
    };
    return true;
}

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
class ListingReader
{
public:
    explicit ListingReader(QVector<CatalogEntry>& entries) : entries_(entries) {}

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
        entries_.append(CatalogEntry{NativePath(), 0, path.toUtf8(), file_.size, true});
        file_.open = false;
    }

    struct Fields
    {
        QString name;
        QString path;
        qint64 size = -1;
        bool open = false;
    };

    QVector<CatalogEntry>& entries_;
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

bool readListing(const NativePath& listing, QVector<CatalogEntry>& entries, QString* errorString)
{
    QFile file;
    qint64 code = 0;
    if (platform::openForReading(listing, file, &code) != platform::OpenResult::Opened) {
        *errorString = QStringLiteral("cannot read %1: %2").arg(listing.toText(), platform::errorText(code));
        return false;
    }
    QXmlStreamReader xml(&file);
    QVector<CatalogEntry> found;
    ListingReader reader(found);
    reader.read(xml);
    if (xml.hasError() || !reader.isListing()) {
        *errorString = QStringLiteral("%1 is not a listing of korvo's: %2")
                           .arg(listing.toText(), xml.hasError() ? xml.errorString() : QStringLiteral("no korvo element"));
        return false;
    }
    entries += found;
    return true;
}

namespace {

// The listing or manifest of one package found beside its folder.
struct Source
{
    NativePath folder; // base folder / N
    int number = 0;
    NativePath listing;
    NativePath manifest;
};

// "N.xml" or "N.sha256" with N from 1 on: the number and whether it is a listing.
bool sourceName(const QString& name, int* number, bool* listing)
{
    static const QRegularExpression pattern(QStringLiteral("^([1-9][0-9]{0,9})\\.(xml|sha256)$"));
    const QRegularExpressionMatch match = pattern.match(name);
    bool ok = false;
    *number = match.hasMatch() ? match.captured(1).toInt(&ok) : 0;
    *listing = match.captured(2) == QLatin1String("xml");
    return ok;
}

// Lists one level: its sources, and the folders to enter.
void listLevel(const NativePath& level, QMap<QByteArray, Source>& sources, QVector<NativePath>& next,
               QStringList* problems)
{
    QVector<platform::FolderEntry> entries;
    qint64 code = 0;
    if (!platform::listFolder(level, entries, &code)) {
        *problems << QStringLiteral("cannot list %1: %2").arg(level.toText(), platform::errorText(code));
        return;
    }
    QSet<QString> numbered;
    for (const platform::FolderEntry& entry : qAsConst(entries)) {
        int number = 0;
        bool listing = false;
        if (entry.kind != platform::FolderEntry::File || !sourceName(entry.name.toText(), &number, &listing))
            continue;
        const NativePath folder = level.child(QString::number(number));
        Source& source = sources[folder.storedBytes()];
        source.folder = folder;
        source.number = number;
        (listing ? source.listing : source.manifest) = level.child(entry.name);
        numbered.insert(QString::number(number));
    }
    for (const platform::FolderEntry& entry : qAsConst(entries)) {
        if (entry.kind == platform::FolderEntry::Folder && !numbered.contains(entry.name.toText()))
            next << level.child(entry.name);
    }
}

bool readSource(const Source& source, QVector<CatalogEntry>& entries, QString* errorString)
{
    if (!source.listing.isEmpty())
        return readListing(source.listing, entries, errorString);
    QVector<ChecksumManifest::Entry> lines;
    QVector<ChecksumManifest::BadLine> badLines;
    if (!ChecksumManifest::read(source.manifest, lines, badLines, errorString)) {
        *errorString = QStringLiteral("cannot read %1: %2").arg(source.manifest.toText(), *errorString);
        return false;
    }
    for (const ChecksumManifest::Entry& line : qAsConst(lines))
        entries.append(CatalogEntry{NativePath(), 0, line.relativePath, -1, false});
    return true;
}

} // namespace

QVector<CatalogEntry> search(const QList<NativePath>& folders, const Matcher& matches, QStringList* problems)
{
    QMap<QByteArray, Source> sources;
    QVector<NativePath> levels(folders.cbegin(), folders.cend());
    while (!levels.isEmpty()) {
        QVector<NativePath> next;
        for (const NativePath& level : qAsConst(levels))
            listLevel(level, sources, next, problems);
        levels = next;
    }
    QVector<CatalogEntry> found;
    for (const Source& source : qAsConst(sources)) {
        QVector<CatalogEntry> entries;
        QString reason;
        if (!readSource(source, entries, &reason))
            *problems << reason;
        for (CatalogEntry& entry : entries) {
            if (!matches(entry.relativePath))
                continue;
            entry.packageFolder = source.folder;
            entry.number = source.number;
            found << entry;
        }
    }
    return found;
}

} // namespace korvo::PackageCatalog
