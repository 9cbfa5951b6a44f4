#pragma once

#include <QString>

namespace korvo {

// Where korvo.ini and the data folder live. Beside the executable where
// that folder can be written (a portable copy, a build folder, Windows
// installs the user owns); where it cannot (an installed /usr/bin, Program
// Files), in the user's configuration folder, so that settings are kept
// instead of silently lost.
QString settingsFolder();

// The choice itself: `programFolder` when it may be written and is not a
// system folder (below /usr on Linux, which even root should not fill with
// a user's settings), else `userFolder`.
QString settingsFolderFor(const QString& programFolder, const QString& userFolder);

} // namespace korvo
