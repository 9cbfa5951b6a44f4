#include "MoveTexts.h"

#include "Platform.h"

#include <QDir>

namespace korvo::MoveTexts {

QString shown(const NativePath& path)
{
    return QDir::toNativeSeparators(path.toText());
}

QString failure(const char* step, const NativePath& path, qint64 errorCode)
{
    // One arg() call: a path holding "%1" stays as it is.
    return QStringLiteral("%1 failed. path:%2 winError:%3 (%4).")
        .arg(QLatin1String(step), shown(path), QString::number(errorCode), platform::errorText(errorCode));
}

} // namespace korvo::MoveTexts
