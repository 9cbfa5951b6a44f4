#pragma once

#include <QtGlobal>

class QProgressBar;

namespace korvo {

// How the packaging dialog's progress bar shows a running move: the share
// of the chosen packages' items moved, the packages started of those
// chosen as its text, and all four counts in its tooltip.
namespace MoveProgressBar {

void show(QProgressBar* bar, int packagesStarted, int packagesChosen, qint64 itemsDone, qint64 itemsChosen);

} // namespace MoveProgressBar
} // namespace korvo
