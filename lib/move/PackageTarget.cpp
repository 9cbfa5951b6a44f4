#include "PackageTarget.h"

#include "Platform.h"

#include <QDir>

#include <algorithm>
#include <limits>

namespace korvo::PackageTarget {

namespace {

// True when this user can put package folders under `folder`: it is their
// own folder alone, and korvo_pack is there as such a folder that takes
// new folders, or it is not there and may be made. A korvo_pack that is a
// link, or that another user may write to, is never taken: another user
// could plant or swap the package folders there (a sticky bit only keeps
// them from renaming what is already there).
bool mayHoldPackages(const NativePath& folder)
{
    if (platform::checkFolderLevel(folder, nullptr) != platform::FolderLevel::Folder)
        return false;
    const NativePath pack = folder.child(QStringLiteral("korvo_pack"));
    switch (platform::checkFolderLevel(pack, nullptr)) {
    case platform::FolderLevel::Folder:
        return platform::mayCreateIn(pack);
    case platform::FolderLevel::Missing:
        return platform::mayCreateIn(folder);
    default:
        return false;
    }
}

} // namespace

NativePath volumeRoot(const NativePath& scannedFolder)
{
    // The volume's root first, then down towards the scanned folder; the
    // scanned folder itself only when it is the volume's root, so that a
    // move reports why it cannot start there.
    const QVector<NativePath> chain = platform::foldersUpToVolumeRoot(scannedFolder);
    for (int i = chain.size() - 1; i >= 1; --i) {
        if (mayHoldPackages(chain.at(i)))
            return chain.at(i);
    }
    return chain.last();
}

NativePath baseFolderPath(const NativePath& volumeRoot, const QString& orderName, const QString& label)
{
    const NativePath orderFolder = volumeRoot.child(QStringLiteral("korvo_pack")).child(orderName);
    return label.isEmpty() ? orderFolder : orderFolder.child(label);
}

QString baseFolder(const QString& volumeRoot, const QString& orderName, const QString& label)
{
    const QString separator = QDir::separator();
    // The volume root as an absolute path in the system's own form, so that
    // on Windows no path shown mixes the two separators. A root ("/", "C:/")
    // keeps its separator rather than becoming empty, which would make the
    // base folder relative.
    QString text = QDir::toNativeSeparators(QDir::cleanPath(QDir(volumeRoot).absolutePath()));
    if (!text.endsWith(separator))
        text += separator;
    text += QStringLiteral("korvo_pack") + separator;
    text += orderName + separator;
    text += label + separator;
    return text;
}

QString packageFolder(const QString& baseFolder, int number)
{
    return baseFolder + QString::number(number) + QDir::separator();
}

QString listingPath(const QString& baseFolder, int number)
{
    return QDir::toNativeSeparators(QDir(baseFolder).absoluteFilePath(QString::number(number) + QStringLiteral(".xml")));
}

int entryNumber(const QString& name)
{
    bool ok = false;
    const int number = name.left(name.indexOf(QLatin1Char('.'))).toInt(&ok, 10);
    return ok ? number : -1;
}

int folderNumber(int base, int index)
{
    const qint64 number = qint64(base) + qint64(index) + 1;
    if (number < 1 || number > std::numeric_limits<int>::max())
        return -1;
    return int(number);
}

bool isSingleFolderName(const QString& text, QString* errorString)
{
    QString reason;
    if (text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('\\')))
        reason = QStringLiteral("it contains a path separator");
    else if (text == QLatin1String(".") || text == QLatin1String(".."))
        reason = QStringLiteral("it names a folder level, not a folder");
    else if (text.contains(QChar(0)))
        reason = QStringLiteral("it contains a NUL character");
#ifdef _WIN32
    // Windows drops trailing blanks and dots (".. " would name the parent)
    // and gives ":" and the like special meanings.
    else if (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('.')))
        reason = QStringLiteral("it ends with a blank or a dot");
    else if (std::any_of(text.cbegin(), text.cend(), [](QChar c) {
                 return c.unicode() < 0x20 || QStringLiteral("<>:\"|?*").contains(c);
             }))
        reason = QStringLiteral("it contains a character Windows does not allow in a name");
#endif
    if (reason.isEmpty())
        return true;
    if (errorString)
        *errorString = QStringLiteral("\"%1\" is not a single folder name: %2.").arg(text, reason);
    return false;
}

} // namespace korvo::PackageTarget
