#pragma once

#include "ImageFormat.h"
#include "NativePath.h"
#include "PackageImage.h"
#include "PackageMover.h"

#include <QString>

namespace korvo {

// The image beside a package folder (N.iso or N.zip), written as listings
// and manifests are: under its temporary name (.N.iso.korvo-part), synced,
// then moved to its name, which is never replaced. A killed process leaves
// only the temporary file, which the package's journal names, so that
// 'korvo-cli recover' removes it. Synchronous, on the caller's thread.
namespace ImageBeside {

struct Request
{
    PackageFolder folder;
    ImageFormat format = ImageFormat::Iso;
    QString label;             // of the volume id: the label, else the order name
    bool withManifest = false; // put N.sha256 (beside the folder) inside too
};

// Writes the image of a package that has just moved, inside its move (its
// journal names the image). False with the reason; then nothing of it is
// left behind.
bool write(const Request& request, const PackageImage::Progress& progress, qint64* size, QString* errorString);

// What became of the image of a package moved before.
struct Outcome
{
    NativePath image;
    qint64 size = 0;
    bool manifestInside = false;
};

// Writes the image of a package folder moved before (korvo-cli image): its
// name must be its number N, and N.sha256 beside it, if there is one, goes
// inside. A journal of its own (.N.korvo-move, naming only the image's
// names) is written first and removed once the image is in place, so that
// a move of that package still unfinished refuses it and 'korvo-cli
// recover' removes what a killed one left. False with the reason.
bool writeForPackage(const NativePath& packageFolder, ImageFormat format, const PackageImage::Progress& progress,
                     Outcome* outcome, QString* errorString);

} // namespace ImageBeside
} // namespace korvo
