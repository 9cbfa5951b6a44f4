#pragma once

#include "ChecksumManifest.h"
#include "Exporter.h"
#include "Package.h"
#include "PackageMover.h"

#include <QString>

#include <functional>
#include <QStringList>

namespace korvo {

// The listing and the manifest written beside a moved package's folder, for
// the packaging dialog and korvo-cli move alike. Every call is synchronous,
// on the caller's thread, and reads the tree: nothing may change it
// meanwhile.
namespace PackageListing {

// Writes the XML listing of a package that has moved into `folder` to
// folder.listing: under a temporary name first, synced, then moved to its
// name, which is never replaced; a killed process leaves no partial file
// under it.
// False with the reason when it could not be written. `progress`, when
// given, hears each new percentage of the export as it is written.
bool writeListing(const PackageFolder& folder, const PackagePtr& package, const XmlExporterSettings& settings,
                  QString* errorString, const std::function<void(qreal)>& progress = {});

// Writes the SHA-256 manifest of the moved package's folder to
// folder.manifest, in the same way. False with the reason.
bool writeManifest(const PackageFolder& folder, const ChecksumManifest::Progress& progress, QString* errorString);

} // namespace PackageListing
} // namespace korvo
