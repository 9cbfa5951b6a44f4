#include "QtTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace korvo {

QStringList qtTranslationFolders()
{
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
            QLibraryInfo::location(QLibraryInfo::TranslationsPath)};
}

bool installQtTranslation(QCoreApplication* application, QString* errorString)
{
    auto* translator = new QTranslator(application);
    for (const QString& folder : qtTranslationFolders()) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder) && application->installTranslator(translator))
            return true;
    }
    delete translator;
    if (errorString)
        *errorString = QStringLiteral("qtbase_ja.qm is in none of %1")
                           .arg(QDir::toNativeSeparators(qtTranslationFolders().join(QStringLiteral(", "))));
    return false;
}

} // namespace korvo
