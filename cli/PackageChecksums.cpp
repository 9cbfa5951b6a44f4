#include "PackageChecksums.h"

#include "ChecksumProgress.h"
#include "PackageListing.h"

#include <QTextStream>

namespace korvo::cli {

bool writePackageChecksums(const PackageFolder& folder, QTextStream* out, QString& errors)
{
    if (out)
        out->flush(); // the lines before it, ahead of the progress line
    QString reason;
    bool written = false;
    {
        ChecksumProgress progress(QStringLiteral("sha256 ") + folder.manifest.fileName().toText());
        written = PackageListing::writeManifest(folder, progress.callback(), &reason);
    }
    if (out) {
        *out << "    " << folder.manifestText << QStringLiteral(" 保存に") << PackageListing::savedWord(written);
        if (!written)
            *out << " " << reason << " (the package itself has moved)";
        *out << "\n";
        out->flush();
    }
    if (!written)
        errors += (errors.isEmpty() ? QString() : QStringLiteral("\n")) + reason;
    return written;
}

} // namespace korvo::cli
