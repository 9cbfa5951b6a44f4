#include "PackageCatalog.h"

#include "ChecksumManifest.h"
#include "ListingReader.h"
#include "Platform.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QRegularExpression>

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

bool readListing(const NativePath& listing, QVector<CatalogEntry>& entries, QString* errorString)
{
    QVector<ListedFile> files;
    if (!ListingReader::read(listing, files, errorString))
        return false;
    for (const ListedFile& file : qAsConst(files))
        entries.append(CatalogEntry{NativePath(), 0, file.relativePath, file.size, true});
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
