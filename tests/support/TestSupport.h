#pragma once

#include <QByteArray>
#include <QString>

namespace korvo::test {

// Writes a file of `size` bytes (a repeating pattern), making parent folders.
bool writeFile(const QString& path, qint64 size);
// Writes a file with the given content, making parent folders.
bool writeFile(const QString& path, const QByteArray& content);
// Makes a folder and its parents.
bool makeFolder(const QString& path);

// True when the tests run with root's privileges, so that permission
// checks cannot fail.
bool runningAsRoot();

} // namespace korvo::test
