#pragma once

#include "ChecksumVerifier.h"
#include "NativePath.h"

#include <QString>

namespace korvo {

// Checks the files inside an ISO or ZIP image against a SHA-256 manifest
// exactly as verifyFolder checks a folder, reading the image once from start
// to end through libarchive, without mounting or extracting it.
namespace ImageReader {

// Which manifest a check used.
struct ManifestChoice
{
    NativePath path;   // a manifest file (given, or beside the image)
    QByteArray inside; // else the name of the one at the image's root
    QString shown;     // for messages: its path, or "NAME in IMAGE"
};

// The manifest to check `image` against: `given` when not empty, else
// N.sha256 beside image N.iso or N.zip when there is one, else N.sha256 at
// the image's root (looked for while the image is read).
ManifestChoice chooseManifest(const NativePath& image, const NativePath& given);

// Reads every entry of the image; each regular file is hashed, and then
// compared with the manifest's line for its path, line by line as the
// manifest is read. Listed files that are not in the image are missing,
// changed ones changed; files the manifest does not list are unlisted (the
// manifest inside the image excepted), as are entries that are neither
// files nor folders (as not regular files), and a second entry of one path.
// What is found goes to `sink` as verifyFolder() tells it. Memory grows
// with the image's files (some 45 bytes each beside their paths) and with
// a manifest inside the image, which is kept while the image is read.
// False, with `errorString`, when the image or the manifest cannot be read
// at all (an image damaged part way is an error too: what follows cannot be
// checked). `progress` is told the image's bytes read against its size.
bool verifyImage(const NativePath& image, const ManifestChoice& manifest,
                 const ChecksumManifest::Progress& progress, VerifySink& sink, VerifyReport& report,
                 QString* errorString);

} // namespace ImageReader
} // namespace korvo
