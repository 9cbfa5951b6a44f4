#pragma once

#include <QString>

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

} // namespace korvo::test
