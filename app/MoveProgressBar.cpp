#include "MoveProgressBar.h"

#include <QProgressBar>

#include <climits>

namespace korvo::MoveProgressBar {

void show(QProgressBar* bar, int packagesStarted, int packagesChosen, qint64 itemsDone, qint64 itemsChosen)
{
    bar->setRange(0, int(qMin<qint64>(itemsChosen, INT_MAX)));
    bar->setValue(int(qMin<qint64>(itemsDone, bar->maximum())));
    bar->setFormat(QStringLiteral("%1/%2").arg(packagesStarted).arg(packagesChosen));
    bar->setToolTip(QStringLiteral("パッケージ %1/%2、項目 %3/%4")
                        .arg(packagesStarted)
                        .arg(packagesChosen)
                        .arg(itemsDone)
                        .arg(itemsChosen));
}

} // namespace korvo::MoveProgressBar
