#include "NameCase.h"

namespace korvo::platform {

bool namesIgnoreCase()
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

QString caseFoldedName(const QString& name)
{
    QString folded = name;
    for (QChar& unit : folded) {
        if (!unit.isSurrogate())
            unit = QChar(QChar::toUpper(unit.unicode()));
    }
    return folded;
}

QString nameKey(const QString& name)
{
    return namesIgnoreCase() ? caseFoldedName(name) : name;
}

} // namespace korvo::platform
