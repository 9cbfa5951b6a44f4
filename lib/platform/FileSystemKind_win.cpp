#include "FileSystemKind.h"

#include "WinEntries_win.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace korvo::platform {

bool isUncPath(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\?\\UNC\\"), Qt::CaseInsensitive))
        return true;
    if (native.startsWith(QLatin1String("\\\\?\\")) || native.startsWith(QLatin1String("\\\\.\\")))
        return false;
    return native.startsWith(QLatin1String("\\\\")) && native.size() > 2;
}

FileSystemKind fileSystemKindOfDrive(unsigned driveType, bool unc)
{
    return unc || driveType == DRIVE_REMOTE ? FileSystemKind::Remote : FileSystemKind::Local;
}

FileSystemKind fileSystemKind(const NativePath& absoluteFolderPath)
{
    const QString path = QDir::toNativeSeparators(QFileInfo(absoluteFolderPath.toText()).absoluteFilePath());
    if (isUncPath(path))
        return FileSystemKind::Remote;
    // The volume that holds the folder: its drive root, or a volume mounted
    // in a folder of another drive. A mapped network drive is remote.
    const QString volume = QDir::toNativeSeparators(volumePathOf(absoluteFolderPath));
    if (volume.isEmpty())
        return FileSystemKind::Local;
    return fileSystemKindOfDrive(GetDriveTypeW(reinterpret_cast<const wchar_t*>(volume.utf16())), isUncPath(volume));
}

} // namespace korvo::platform
