#pragma once

#include <QString>
#include <QStringList>

namespace korvo {

// Where korvo.ini and the data folder live. Beside the executable where
// korvo may write there (a portable copy unpacked from the ZIP, a build
// folder); for a program installed below Program Files, or in any folder
// a file cannot actually be made in (an installed /usr/bin), in the user's
// own folder: %LOCALAPPDATA%\korvo on Windows, ~/.config/korvo on Linux.
// Settings are then kept instead of silently lost, and an uninstaller that
// removes Program Files\korvo leaves them alone.
QString settingsFolder();

// The choice itself: `programFolder` when a file can be made in it and it
// is not a system folder (below /usr on Linux, which even root should not
// fill with a user's settings) nor below one of `installFolders` (Program
// Files), else `userFolder`.
QString settingsFolderFor(const QString& programFolder, const QString& userFolder,
                          const QStringList& installFolders = QStringList());

// Where programs are installed for every user: on Windows the Program
// Files folders (64-bit and 32-bit) as the environment names them; none
// elsewhere.
QStringList installFolders();

} // namespace korvo
