#pragma once

#include "PackageMover.h"

#include <QString>

class QTextStream;

namespace korvo::cli {

// After a package has moved: writes its checksum manifest beside its folder,
// with a progress line on a terminal, and prints the outcome line to `out`
// (none when it is null). False when it failed; the reason is then added to
// `errors` (on a line of its own when that holds text already).
bool writePackageChecksums(const PackageFolder& folder, QTextStream* out, QString& errors);

} // namespace korvo::cli
