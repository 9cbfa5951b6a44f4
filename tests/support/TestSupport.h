#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace korvo::test {

// Writes a file of `size` bytes (a repeating pattern), making parent folders.
bool writeFile(const QString& path, qint64 size);
// Writes a file with the given content, making parent folders.
bool writeFile(const QString& path, const QByteArray& content);
// The whole content of a file; empty when it cannot be read.
QByteArray readAll(const QString& path);
// Makes a folder and its parents.
bool makeFolder(const QString& path);

// True when the tests run with root's privileges, so that permission
// checks cannot fail.
bool runningAsRoot();

// The outcome of one korvo-cli run.
struct CliRun
{
    int exitCode = -1; // -1 when it crashed or did not end in time
    QString out;
    QString err;
};

// The environment for the other programs a test runs (sha256sum, xorriso,
// isoinfo, unzip...): this process's, with an explicit UTF-8 locale and
// English messages, so that the names they read and print and the words
// they say are the same whatever locale the tests were started in.
QProcessEnvironment toolEnvironment();

// The korvo-cli program of this build.
QString cliProgram();

// Runs korvo-cli (cliProgram()) with the arguments, in the given working
// folder when one is given, and waits up to two minutes.
CliRun runCli(const QStringList& arguments, const QString& workingFolder = QString());

} // namespace korvo::test
