#include "PackageListing.h"

#include "PackageFiles.h"
#include "PackageNode.h"

namespace korvo::PackageListing {

bool writeListing(const PackageFolder& folder, const PackagePtr& package, const XmlExporterSettings& settings,
                  QString* errorString, const std::function<void(qreal)>& progress)
{
    const DirectoryNodePtr node = makePackageNode(folder.path, package);
    const NativePath temporary = PackageFiles::temporaryFor(folder.listing);
    QString reason;
    const ExporterPtr exporter = createXmlExporter(settings);
    if (progress)
        observeProgress(exporter, progress);
    const bool written = exporter->exportTo(temporary, TargetMode::CreateNew, node, &reason);
    if (!written) {
        if (reason.isEmpty())
            reason = QStringLiteral("the listing was not written");
        if (errorString)
            *errorString = reason;
        return false;
    }
    return PackageFiles::putInPlace(temporary, folder.listing, errorString);
}

bool writeManifest(const PackageFolder& folder, const ChecksumManifest::Progress& progress, QString* errorString)
{
    const NativePath temporary = PackageFiles::temporaryFor(folder.manifest);
    return ChecksumManifest::write(folder.path, temporary, progress, errorString)
           && PackageFiles::putInPlace(temporary, folder.manifest, errorString);
}

} // namespace korvo::PackageListing
