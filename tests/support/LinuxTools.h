#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvo::test {

// The programs of the Linux machine the tests run on (xorriso, isoinfo,
// unzip, sha256sum) read what korvo wrote, whichever build wrote it: the
// Windows build under Wine starts them too, as Wine runs a Linux program
// given by its path on drive Z:.

// The program to start for the tool `name`, or empty when there is none
// (then the test says so and skips).
QString linuxTool(const QString& name);

// A file's path as the tool takes it: the Linux path of a Windows path
// under Wine, the path itself elsewhere.
QString toolPath(const QString& path);

// A run of a tool: its exit code (-1 when it did not end in time or
// crashed) and its standard output as bytes.
struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
};

// Runs the tool `name` (linuxTool) with the arguments (paths in them made
// with toolPath) in `folder`, in the tests' explicit UTF-8 locale (the
// tools read and print names in their locale's character set). Under Wine,
// which neither waits for a Linux program nor hands back its exit code, a
// shell of Linux's runs it, and its output and exit code come back through
// files in a temporary folder.
ToolRun runLinuxTool(const QString& name, const QStringList& arguments, const QString& folder = QString());

} // namespace korvo::test
