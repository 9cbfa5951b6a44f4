#include "ImageBeside.h"
#include "PackageFiles.h"

#include "BaseFolder.h"
#include "ChecksumManifest.h"
#include "MoveTexts.h"
#include "MoveJournal.h"
#include "PackageListing.h"
#include "Platform.h"


namespace korvo::ImageBeside {

using MoveTexts::shown;

bool write(const Request& request, const PackageImage::Progress& progress, qint64* size, QString* errorString)
{
    if (!ImageFormats::available()) {
        *errorString = ImageFormats::unavailableReason();
        return false;
    }
    ImageRequest image;
    image.folder = request.folder.path;
    image.format = request.format;
    image.volumeId = PackageImage::volumeId(request.label, request.folder.number);
    if (request.withManifest)
        image.extraFile = request.folder.manifest;
    const NativePath path = ImageFormats::pathBeside(request.folder.path, request.format);
    image.target = PackageFiles::temporaryFor(path);
    return PackageImage::write(image, progress, size, errorString)
           && PackageFiles::putInPlace(image.target, path, errorString);
}

namespace {

// The package folder's number, from its name; false with the reason.
bool packageNumber(const NativePath& folder, int* number, QString* errorString)
{
    const QString name = folder.fileName().toText();
    bool ok = false;
    *number = name.toInt(&ok, 10);
    if (ok && *number > 0 && name == QString::number(*number))
        return true;
    *errorString = QStringLiteral("%1 is not a package folder: its name is not a package number").arg(shown(folder));
    return false;
}

// Opens and locks the base folder that holds the package folder, and checks
// the package folder itself; false with the reason.
bool openBase(const NativePath& packageFolder, BaseFolder* base, QString* errorString)
{
    const NativePath basePath = packageFolder.parent();
    if (!base->open(basePath.parent(), {basePath.fileName()}, false, errorString) || !base->lock(errorString)) {
        *errorString = errorString->trimmed();
        return false;
    }
    platform::FolderHandle folder;
    qint64 code = 0;
    const platform::FolderLevel level = base->handle().openLevel(packageFolder.fileName(), false, &folder, &code);
    if (level == platform::FolderLevel::Folder || level == platform::FolderLevel::Shared)
        return true;
    *errorString = level == platform::FolderLevel::Link ? QStringLiteral("%1 is a link; it is never followed").arg(shown(packageFolder))
                   : level == platform::FolderLevel::OtherOwner
                       ? QStringLiteral("%1 belongs to another user").arg(shown(packageFolder))
                       : QStringLiteral("%1 is not a folder").arg(shown(packageFolder));
    return false;
}

bool isFree(const NativePath& path, QString* errorString)
{
    qint64 code = 0;
    if (!platform::identityOf(path, nullptr, nullptr, nullptr, &code) && platform::isNotFound(code))
        return true;
    *errorString = code == 0 ? QStringLiteral("%1 exists already; it is never replaced").arg(shown(path))
                             : QStringLiteral("cannot look up %1: %2").arg(shown(path), platform::errorText(code));
    return false;
}

MoveJournal imageJournal(int number, const NativePath& image)
{
    MoveJournal journal;
    journal.number = number;
    journal.outputs << image.fileName() << PackageFiles::temporaryFor(image.fileName());
    return journal;
}

} // namespace

bool writeForPackage(const NativePath& packageFolder, ImageFormat format, const PackageImage::Progress& progress,
                     Outcome* outcome, QString* errorString)
{
    Request request;
    request.format = format;
    request.folder.path = packageFolder.cleaned();
    request.folder.manifest = ChecksumManifest::pathBeside(request.folder.path);
    request.label = request.folder.path.parent().fileName().toText();
    outcome->image = ImageFormats::pathBeside(request.folder.path, format);
    BaseFolder base;
    if (!packageNumber(request.folder.path, &request.folder.number, errorString)
        || !openBase(request.folder.path, &base, errorString) || !isFree(outcome->image, errorString))
        return false;
    bool isFolder = false;
    request.withManifest = platform::entryExists(request.folder.manifest, &isFolder) && !isFolder;
    outcome->manifestInside = request.withManifest;
    const MoveJournal journal = imageJournal(request.folder.number, outcome->image);
    QString reason;
    if (!journal.write(base.handle(), &reason)) {
        *errorString = reason.trimmed()
                       + QStringLiteral(" (is a move or image of this package unfinished? 'korvo-cli recover' undoes it)");
        return false;
    }
    if (!write(request, progress, &outcome->size, errorString)) {
        // The image removed its own files: the journal goes too, unless it
        // cannot, which 'korvo-cli recover' then finishes.
        if (!journal.remove(base.handle(), &reason))
            *errorString += QStringLiteral("; ") + reason.trimmed();
        return false;
    }
    // The image's name lasts before the journal goes; else the journal
    // stays, and 'korvo-cli recover' removes the image again.
    qint64 code = 0;
    if (!base.handle().sync(&code)) {
        *errorString = QStringLiteral("cannot sync %1: %2; 'korvo-cli recover' removes the image")
                           .arg(shown(base.path()), platform::errorText(code));
        return false;
    }
    if (!journal.remove(base.handle(), &reason)) {
        *errorString = reason.trimmed();
        return false;
    }
    return true;
}

} // namespace korvo::ImageBeside
