#include "PackTexts.h"

namespace korvo::PackTexts {

QString countLine(int packageCount, int lowerBound)
{
    if (packageCount <= lowerBound)
        return QStringLiteral("パッケージ数：%1（どのように詰めても最低%1個必要なので、これが最少です。）").arg(packageCount);
    return QStringLiteral("パッケージ数：%1（どのように詰めても最低%2個必要です。）").arg(packageCount).arg(lowerBound);
}

QString packedStatus(int packageCount, int lowerBound)
{
    const QString done = QStringLiteral("パッケージ作成完了。");
    if (packageCount == 0)
        return done;
    return done + countLine(packageCount, lowerBound);
}

} // namespace korvo::PackTexts
