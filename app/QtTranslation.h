#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace korvo {

// Qt's own texts (the standard buttons OK, Cancel, Close, Yes, No, and
// Qt's dialogs) in Japanese, as the rest of the window speaks: Qt's
// translation "qtbase_ja.qm". The window's own texts are not translated.

// Where it is looked for, in order: "translations" beside the program (the
// Windows packages ship it there), then Qt's translations folder (on
// Debian, the package qttranslations5-l10n).
QStringList qtTranslationFolders();

// Installs the first one found on `application`; false, with the folders
// searched in `errorString`, when there is none: Qt's texts then stay
// English.
bool installQtTranslation(QCoreApplication* application, QString* errorString = nullptr);

} // namespace korvo
