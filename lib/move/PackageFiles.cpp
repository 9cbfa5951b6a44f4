#include "PackageFiles.h"

#include "ChecksumManifest.h"
#include "ImageFormat.h"
#include "MoveTexts.h"
#include "Platform.h"

#include <QRegularExpression>

namespace korvo::PackageFiles {

namespace {

const QString TemporarySuffix = QStringLiteral(".korvo-part");

} // namespace

const QList<Kind>& kinds()
{
    static const QList<Kind> all{Kind::Listing, Kind::Manifest, Kind::IsoImage, Kind::ZipImage};
    return all;
}

NativePath beside(const NativePath& packageFolder, Kind kind)
{
    // The manifest's and the images' names are their rooms' own, which
    // verify and the image command find them by.
    switch (kind) {
    case Kind::Manifest:
        return ChecksumManifest::pathBeside(packageFolder);
    case Kind::IsoImage:
        return ImageFormats::pathBeside(packageFolder, ImageFormat::Iso);
    case Kind::ZipImage:
        return ImageFormats::pathBeside(packageFolder, ImageFormat::Zip);
    case Kind::Listing:
        break;
    }
    QByteArray bytes = packageFolder.storedBytes();
    while (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    return NativePath::fromStoredBytes(bytes + ".xml");
}

QStringList besideNames(int number)
{
    QStringList names;
    const NativePath folder = NativePath::fromText(QString::number(number));
    for (const Kind kind : kinds())
        names << beside(folder, kind).fileName().toText();
    return names;
}

QString helpList()
{
    QStringList names;
    for (const Kind kind : kinds())
        names << beside(NativePath::fromText(QStringLiteral("N")), kind).fileName().toText();
    return names.join(QStringLiteral(", "));
}

NativePath temporaryFor(const NativePath& file)
{
    const QString name = QLatin1Char('.') + file.fileName().toText() + TemporarySuffix;
    return file.fileName() == file ? NativePath::fromText(name) : file.parent().child(name);
}

bool isTemporaryName(const QString& name)
{
    return name.startsWith(QLatin1Char('.')) && name.endsWith(TemporarySuffix);
}

NativePath journalName(int number)
{
    return NativePath::fromText(QStringLiteral(".%1.korvo-move").arg(number));
}

bool isJournalName(const QString& name, int* number)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.([1-9][0-9]{0,9})\\.korvo-move$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const int value = match.captured(1).toInt(&ok);
    if (number)
        *number = value;
    return ok;
}

bool isUnfinishedJournalName(const QString& name, int* number)
{
    return isTemporaryName(name)
           && isJournalName(name.mid(1, name.size() - 1 - TemporarySuffix.size()), number);
}

NativePath lockName()
{
    return NativePath::fromText(QStringLiteral(".korvo-lock"));
}

// A file written under its temporary name goes to disk, then takes its real
// name, which must still be free: a killed process never leaves a partial
// file under the real name. The temporary file is removed on failure. The
// new name is made lasting by the sync of the base folder that ends the
// package (PackageMover::finishPackage), once for the listing and manifest.
bool putInPlace(const NativePath& temporary, const NativePath& path, QString* errorString)
{
    qint64 code = 0;
    const char* step = "Sync file";
    if (platform::syncWritten(temporary, &code)) {
        step = "Move file";
        if (platform::moveWithoutReplacing(temporary, path, &code))
            return true;
    }
    platform::removeFile(temporary);
    if (errorString)
        *errorString = MoveTexts::failure(step, path, code);
    return false;
}

} // namespace korvo::PackageFiles
