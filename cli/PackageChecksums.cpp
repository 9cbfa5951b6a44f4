#include "PackageChecksums.h"

#include "ChecksumManifest.h"
#include "ChecksumProgress.h"

#include <QDir>
#include <QTextStream>

namespace korvo::cli {

namespace {

// The package folder text ends with a separator, and on Windows holds
// backslashes: the clean form with "/".
NativePath packagePath(const QString& packageFolder)
{
    return NativePath::fromText(QDir::cleanPath(QDir::fromNativeSeparators(packageFolder)));
}

} // namespace

QString packageManifestText(const QString& packageFolder)
{
    return QDir::toNativeSeparators(ChecksumManifest::pathBeside(packagePath(packageFolder)).toText());
}

bool writePackageChecksums(const QString& packageFolder, QTextStream* out, QString& errors)
{
    const NativePath folder = packagePath(packageFolder);
    const NativePath manifest = ChecksumManifest::pathBeside(folder);
    if (out)
        out->flush(); // the lines before it, ahead of the progress line
    QString reason;
    bool written = false;
    {
        ChecksumProgress progress(QStringLiteral("sha256 ") + manifest.fileName().toText());
        written = ChecksumManifest::write(folder, manifest, progress.callback(), &reason);
    }
    const QString shown = QDir::toNativeSeparators(manifest.toText());
    if (out) {
        if (written)
            *out << "    " << shown << QStringLiteral(" 保存に成功しました。") << "\n";
        else
            *out << "    " << shown << QStringLiteral(" 保存に失敗しました。 ") << reason
                 << " (the package itself has moved)\n";
        out->flush();
    }
    if (!written)
        errors += (errors.isEmpty() ? QString() : QStringLiteral("\n")) + reason;
    return written;
}

} // namespace korvo::cli
