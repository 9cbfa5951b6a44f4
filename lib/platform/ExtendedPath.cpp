#include "ExtendedPath.h"

#include <QStringList>

namespace korvo::platform {

namespace {

const QLatin1String ExtendedPrefix("\\\\?\\");
const QLatin1String DevicePrefix("\\\\.\\");
const QLatin1String UncPrefix("\\\\?\\UNC\\");

bool isDriveLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// The levels below the root, with "." and empty levels left out and ".."
// taking away the one before it (at the root it stays at the root).
QString resolvedLevels(const QStringList& levels)
{
    QStringList kept;
    for (const QString& level : levels) {
        if (level.isEmpty() || level == QLatin1String("."))
            continue;
        if (level == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(level);
    }
    return kept.join(QLatin1Char('\\'));
}

} // namespace

QString extendedLengthPath(const QString& path)
{
    QString text = path;
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    // Already exact: the system takes its names as they are.
    if (text.startsWith(ExtendedPrefix) || text.startsWith(DevicePrefix))
        return text;
    if (text.size() >= 3 && isDriveLetter(text.at(0)) && text.at(1) == QLatin1Char(':')
        && text.at(2) == QLatin1Char('\\')) {
        const QString root = ExtendedPrefix + text.left(2) + QLatin1Char('\\');
        return root + resolvedLevels(text.mid(3).split(QLatin1Char('\\')));
    }
    if (text.startsWith(QLatin1String("\\\\"))) {
        const QStringList levels = text.mid(2).split(QLatin1Char('\\'));
        // A share is its server and its name, neither of them empty nor a
        // "." level.
        if (levels.size() < 2 || levels.at(0).isEmpty() || levels.at(1).isEmpty()
            || levels.at(0) == QLatin1String(".") || levels.at(0) == QLatin1String("..")
            || levels.at(1) == QLatin1String(".") || levels.at(1) == QLatin1String(".."))
            return QString();
        const QString root = UncPrefix + levels.at(0) + QLatin1Char('\\') + levels.at(1);
        const QString below = resolvedLevels(levels.mid(2));
        return below.isEmpty() ? root + QLatin1Char('\\') : root + QLatin1Char('\\') + below;
    }
    return QString();
}

QString fromExtendedLengthPath(const QString& path)
{
    QString text = path;
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (text.startsWith(UncPrefix, Qt::CaseInsensitive))
        text = QLatin1String("\\\\") + text.mid(UncPrefix.size());
    else if (text.startsWith(ExtendedPrefix))
        text = text.mid(ExtendedPrefix.size());
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text;
}

} // namespace korvo::platform
