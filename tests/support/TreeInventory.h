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

// The same for a folder given by its exact path, names that are not valid
// UTF-8 included: each name is written percent-encoded (so "r\xff" reads
// "r%FF"). Linux only; elsewhere the inventory above.
QStringList exactTreeInventory(const QByteArray& folder);

// The inventory `before` of a folder as it must read after the top-level
// entries `names` of its subfolder `from` have moved into its subfolder `to`
// (relative paths), with a "dir" line for each level of `to` that was not
// there before.
QStringList movedInventory(const QStringList& before, const QString& from, const QStringList& names,
                           const QString& to);

} // namespace korvo::test
