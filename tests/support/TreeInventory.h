#pragma once

#include <QString>
#include <QStringList>

namespace korvo::test {

// Every entry below a folder (hidden and system ones included, links not
// followed), one sorted line each: relative path, kind, size and a SHA-256 of
// the content (or a link's target); a FIFO or device is only named, never
// opened. Two inventories compare equal exactly when the trees hold the same
// names with the same bytes.
QStringList treeInventory(const QString& folder);

// The inventory of the entries below `folder` whose relative path starts
// with one of the given top-level names, as if `folder` held only those.
QStringList treeInventory(const QString& folder, const QStringList& topLevelNames);

} // namespace korvo::test
