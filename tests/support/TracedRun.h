#pragma once

#include "TestSupport.h"

#include <QString>
#include <QStringList>

namespace korvo::test {

// True when strace can run here (Linux, installed by scripts/setup).
bool straceAvailable();

// Runs korvo-cli with the arguments under strace with the given options
// (following every thread), as runCli does; strace's own output goes to
// `log` when given, else nowhere. A run ended by a signal strace injected
// has exit code -1.
CliRun runCliTraced(const QStringList& straceOptions, const QStringList& arguments, const QString& log = QString());

} // namespace korvo::test
