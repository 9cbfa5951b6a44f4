#include "PackagingFixture.h"

#include "Enumerate.h"
#include "PackageTarget.h"
#include "PackagingDialog.h"
#include "TestSupport.h"

#include <QDir>

#include <atomic>

namespace korvo::test {

DirectoryNodePtr scanFolder(const QString& path)
{
    const std::atomic<bool> cancel(false);
    EnumerateProgress progress;
    return enumerateTree(QDir(path), cancel, progress);
}

PackagingFixture::PackagingFixture()
{
    scan = dir.filePath(QStringLiteral("scan"));
    volume = dir.filePath(QStringLiteral("volume"));
    data = dir.filePath(QStringLiteral("data"));
    if (!dir.isValid() || !makeFolder(volume) || !makeFolder(data)) {
        error = QStringLiteral("cannot make the temporary folders");
        return;
    }

    const QString probe = dir.filePath(QStringLiteral("probe"));
    const DirectoryNodePtr probed =
        writeFile(probe + QStringLiteral("/x"), 1) ? scanFolder(probe) : DirectoryNodePtr();
    cluster = probed && probed->fileCount() == 1 ? probed->file(0)->sizeOnDisk() : 0;
    if (cluster <= 100) {
        error = QStringLiteral("the file system of the temporary folder reports no usable cluster size");
        return;
    }

    const bool written = writeFile(scan + QStringLiteral("/Delta/d1.bin"), cluster)
                         && writeFile(scan + QStringLiteral("/Delta/d2.bin"), cluster)
                         && writeFile(scan + QStringLiteral("/alpha.bin"), 3 * cluster)
                         && writeFile(scan + QStringLiteral("/beta.txt"), 100)
                         && writeFile(scan + QStringLiteral("/gamma.dat"), 2 * cluster)
                         && writeFile(scan + QStringLiteral("/huge.bin"), 5 * cluster)
                         && writeFile(data + QStringLiteral("/UserPackageOrderSettings.ini"),
                                      QStringLiteral("[orders]\n1\\name=T4\n1\\size=%1\nsize=1\n")
                                          .arg(4 * cluster)
                                          .toUtf8());
    if (!written) {
        error = QStringLiteral("cannot write the scanned folder");
        return;
    }

    PackagingDialog::setDataFolder(data);
    PackagingDialog::setVolumeRoot(volume);
    PackagingDialog::setUrlOpener([this](const QUrl& url) {
        openedUrls.append(url);
        return true;
    });
}

PackagingFixture::~PackagingFixture()
{
    PackagingDialog::setDataFolder(QString());
    PackagingDialog::setVolumeRoot(QString());
    PackagingDialog::setUrlOpener(PackagingDialog::UrlOpener());
}

QString PackagingFixture::baseFolder(const QString& label, const QString& order) const
{
    return PackageTarget::baseFolder(volume, order, label);
}

QString PackagingFixture::packageFolder(const QString& label, int number, const QString& order) const
{
    return PackageTarget::packageFolder(baseFolder(label, order), number);
}

} // namespace korvo::test
