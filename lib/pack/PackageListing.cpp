#include "PackageListing.h"

#include "Packager.h"

namespace korvo::PackageListing {

bool writeListing(const PackageFolder& folder, const PackagePtr& package, const XmlExporterSettings& settings,
                  QString* errorString)
{
    const DirectoryNodePtr node = makePackageNode(folder.path, package);
    QString reason;
    const bool written = createXmlExporter(settings)->exportTo(folder.listing, TargetMode::CreateNew, node, &reason);
    if (!written && reason.isEmpty())
        reason = QStringLiteral("the listing was not written");
    if (errorString)
        *errorString = reason;
    return written;
}

bool writeManifest(const PackageFolder& folder, const ChecksumManifest::Progress& progress, QString* errorString)
{
    return ChecksumManifest::write(folder.path, folder.manifest, progress, errorString);
}

QString movingLine(const PackageFolder& folder)
{
    return QStringLiteral("パッケージ%1を%2へ移動中...").arg(folder.number).arg(folder.text);
}

QString movedLine(const PackageFolder& folder)
{
    return QStringLiteral("パッケージ%1を%2へ移動完了。").arg(folder.number).arg(folder.text);
}

QString failedLine(const QString& number, const QString& folderText, const QString& reason)
{
    return QStringLiteral("パッケージ%1を%2へ移動失敗。\r\n%3").arg(number, folderText, reason);
}

QString savedWord(bool written)
{
    return written ? QStringLiteral("成功しました。") : QStringLiteral("失敗しました。");
}

QString savedReport(const QString& path, bool written, const QString& reason)
{
    return QStringLiteral("\r\n%1\r\n保存に%2\r\n%3").arg(path, savedWord(written), reason);
}

} // namespace korvo::PackageListing
