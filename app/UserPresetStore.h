#pragma once

#include "PackageOrder.h"

#include <QList>
#include <QStringList>

class QSettings;

namespace korvo {

// The user's own package orders and labels as the packaging dialog keeps
// them in its two INI stores ("UserPackageOrderSettings.ini" and
// "UserPackageLabelSettings.ini"). A store read back is input from a
// stranger: a missing or unreadable file, or one that is not what the dialog
// wrote, gives an empty list, and at most MaxEntries entries are taken, so
// that a file edited by hand into something huge cannot stall the dialog.
namespace UserPresetStore {

const int MaxEntries = 1000;
// The largest size the package size editor accepts: 18 decimal digits.
const qint64 MaxOrderSize = 999999999999999999LL;

QList<PackageOrder> readOrders(QSettings* store);
void writeOrders(QSettings* store, const QList<PackageOrder>& orders);

QStringList readLabels(QSettings* store);
void writeLabels(QSettings* store, const QStringList& labels);

} // namespace UserPresetStore
} // namespace korvo
